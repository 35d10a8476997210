#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "plymark/Api.h"
#include "plymark/Drawing.h"
#include "plymark/Image.h"
#include "plymark/Layer.h"
#include "plymark/Settings.h"

namespace plymark {
inline namespace v0 {

// Takes every layer's painted picture while a document is opened, in file
// order, each as soon as it is decoded: the way to read all layers once with
// the least memory (plymark-export's). Called on the opening thread.
class PLYMARK_API LayerReceiver {
 public:
  virtual ~LayerReceiver();
  // Layer `layer` is about to be painted at width x height pixels (both
  // above 0): a receiver that counts memory may wait here until there is
  // room. Called before the picture's memory is taken.
  virtual void Sizing(const Layer& layer, int width, int height);
  // The painted layer: an opaque Argb32 picture of its colours in sRGB, now
  // the receiver's to keep. layer.Transparency() may be read here.
  virtual void Painted(const Layer& layer, Image picture) = 0;
};

// How much of a file Open reads.
enum class Reading {
  Everything,       ///< the header, resources, layer records and merged image
  MergedImageOnly,  ///< the header and resources and what the merged image needs; no layers
};

struct OpenOptions {
  Reading Read = Reading::Everything;
  /// Hears the notices the viewer shows in boxes (a profile that cannot be
  /// used, layers left out, ...), on the opening thread, as they arise. They
  /// are kept in Notices() as well.
  std::function<void(const std::string& notice)> OnNotice;
  /// With a receiver every layer is decoded and handed over while the file is
  /// opened; a damaged layer then fails the Open, as it fails the export.
  LayerReceiver* Layers = nullptr;
};

// The merged image, or why there is none.
struct Composite {
  std::optional<Image> Picture;  ///< none when the merged image is missing or damaged
  bool HasAlpha = false;         ///< the merged image has a transparency channel
  std::string Problem;           ///< why there is no picture; empty with one
};

// The JPEG thumbnail that the file's image resources hold.
struct StoredThumbnail {
  std::vector<std::uint8_t> Jpeg;
  bool BlueFirst = false;  ///< the older resource (1033): its colours are stored blue first
};

// A PSD or PSB file, opened read-only. The file is never written; its layers
// are decoded when they are asked for. A Document is a handle: copies share
// the open file.
//
// Threads: different documents may be read on different threads at once. One
// document may be read from several threads too, but its reads take turns;
// read different documents to decode in parallel. Large layers are decoded
// on two threads of the library's own.
class PLYMARK_API Document {
 public:
  // Opens the file at `path`. Throws Error when it cannot be opened or is
  // damaged before its layers (what plymark-export reports as a failure).
  // Reading::MergedImageOnly throws only when the file cannot be opened:
  // damage before the merged image is then MergedImage()'s Problem, and
  // Thumbnail() gives what the resources read before it hold.
  static Document Open(const std::string& path, const OpenOptions& options = {});
  // Opens a file held in memory; `name` stands for its path in FileName.
  static Document FromMemory(std::vector<std::uint8_t> bytes, const OpenOptions& options = {},
                             const std::string& name = "<memory>");

  std::string FileName() const;
  // The file header's facts.
  std::string Signature() const;  ///< "8BPS"
  int Version() const;            ///< 1 PSD, 2 PSB
  int Channels() const;           ///< channels of the merged image
  int Width() const;              ///< columns
  int Height() const;             ///< rows
  int Depth() const;              ///< bits per channel: 1, 8, 16 or 32
  int ColorMode() const;          ///< 0 bitmap, 1 grey, 2 indexed, 3 RGB, 4 CMYK, 7, 8, 9 Lab
  /// The embedded colour profile's description; none without one.
  std::optional<std::string> ColorProfile() const;
  /// The layers' colours are converted through a profile (layers.json's
  /// "colorManaged").
  bool ColorManaged() const;
  /// The six lines of the window's summary list (the export's summary.txt).
  std::vector<std::string> Summary() const;
  /// The notices of the Open, in order.
  std::vector<std::string> Notices() const;

  // Every layer record in file order: index i is record i, groups' records
  // and their end markers included.
  int LayerCount() const;
  Layer LayerAt(int index) const;  ///< throws std::out_of_range outside 0..LayerCount()-1
  std::vector<Layer> Layers() const;

  // The merged image of the image data section, its colours in sRGB as the
  // export's composite.png (un-blended from the white they are stored over).
  // A merged image that is damaged, cut short or was never saved is no
  // failure: Problem says why there is none.
  Composite MergedImage(CompositeLayout layout = CompositeLayout::Bytes) const;

  // The thumbnail of the image resources, when the file holds a JPEG one.
  std::optional<StoredThumbnail> Thumbnail() const;

  // The document drawn from its layers, as the maker merges them, colour by
  // colour as MergedImage() converts the merged image (the export's
  // rendered.png), band by band with bounded memory; a document without
  // layer records draws its merged image. A document opened with
  // Reading::MergedImageOnly reads its layers first (ReadLayers). Throws
  // Error when it cannot be drawn (damaged channel data, a document beyond
  // the drawing's budgets); what is left out is named in Omissions.
  Drawing Render(const DrawOptions& options = {}) const;
  // The same, each row handed to `rows` as it is drawn; the Drawing has no
  // picture.
  Drawing Render(RowReceiver& rows, CompositeLayout layout = CompositeLayout::Bytes) const;

  // For a document opened with Reading::MergedImageOnly: reads its layer
  // records and their channel blocks, after which its layers are those of a
  // document opened whole. Does nothing for one opened whole, nor where
  // damage before the merged image left no layers to read (MergedImage()
  // says what). Throws Error, each time it is called, when the records are
  // damaged.
  void ReadLayers() const;

  // Image resource 1005, the print resolution; none without one.
  std::optional<PrintResolution> Resolution() const;
  // Image resource 1060, the XMP metadata packet as stored; none without one.
  // Throws Error when it cannot be read.
  std::optional<std::string> Xmp() const;

 private:
  friend class Layer;
  explicit Document(std::shared_ptr<detail::DocumentData> data);
  std::shared_ptr<detail::DocumentData> data_;
};

}  // namespace v0
}  // namespace plymark
