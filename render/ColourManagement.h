#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>

#include "psd/DocumentState.h"

namespace plymark {

class CmykTable;

// Where Debian's libgs-common puts Ghostscript's default press profile
// ("Artifex CMYK SWOP"), used for CMYK documents without a profile of their own.
inline constexpr const char* kDefaultCmykProfilePath =
    "/usr/share/color/icc/ghostscript/default_cmyk.icc";

// A document's conversion of its stored colours to sRGB through Little CMS:
// relative colorimetric with black point compensation. Made once per Open;
// its conversions may run on several threads at once.
class DocumentColour {
 public:
  ~DocumentColour();
  DocumentColour(const DocumentColour&) = delete;
  DocumentColour& operator=(const DocumentColour&) = delete;

  // Turns decoded samples into sRGB red, green and blue (0..255), in place.
  // `pixels` hold channels 0 to 2 in Red, Green and Blue, `black` CMYK's K
  // in its Red components (missing: stored 0); samples of a 16-bit document
  // are kept whole, as the bits of an unsigned 16-bit value. Large buffers
  // are shared between two threads.
  void Convert(std::span<PixelRecord> pixels, std::span<const PixelRecord> black) const;

  // As Convert, into sRGB of 0..65535 (the bits of unsigned 16-bit values),
  // for 16-bit pictures. CMYK goes through the exact conversion, never the
  // table. The conversion to 16 bits is made on first use.
  void Convert16(std::span<PixelRecord> pixels, std::span<const PixelRecord> black) const;

  // Bits per sample that Convert expects: 8 or 16.
  int InputDepth() const { return inputDepth_; }

 private:
  friend struct DocumentColourMaker;
  DocumentColour(void* transform, void* profile, std::int16_t colorMode, int inputDepth,
                 bool sampled);
  void ConvertRange(PixelRecord* pixels, const PixelRecord* black, std::size_t count,
                    const CmykTable* table) const;
  void ConvertRange16(PixelRecord* pixels, const PixelRecord* black, std::size_t count) const;
  void ConvertInksExactly(PixelRecord* pixels, const PixelRecord* black, std::size_t count,
                          bool wide) const;
  // Runs `convert` over the pixels from `first` with count pixels, large
  // spans shared with a second thread.
  template <typename Range>
  void Share(std::span<PixelRecord> pixels, std::span<const PixelRecord> black,
             const Range& convert) const;

  /// The Little CMS transform (cmsHTRANSFORM): stored samples to 8-bit sRGB,
  /// or, when `sampled_`, the exact 16-bit conversion the table is sampled from.
  void* transform_;
  /// The document's profile (cmsHPROFILE), kept for the 16-bit conversion;
  /// null when `sampled_`.
  void* profile_;
  mutable std::once_flag wideMade_;
  mutable void* wideTransform_ = nullptr;  ///< stored samples to 16-bit sRGB, made on first use
  std::int16_t colorMode_;
  int inputDepth_;
  bool sampled_;  ///< CMYK: converted exactly, then through a table of our own
  mutable std::once_flag tableMade_;
  mutable std::unique_ptr<const CmykTable> table_;   ///< made once exactPixels_ run out
  mutable std::atomic<std::size_t> exactPixels_{0};  ///< converted without the table so far
};

// What an Open decides about a document's colours.
struct ColourSetup {
  /// The conversion to apply; null when the stored values are shown as today
  /// (no profile in RGB and grey, an sRGB profile, 32-bit samples, a profile
  /// that cannot be used, other colour modes).
  std::shared_ptr<const DocumentColour> Conversion;
  /// The embedded profile's description; none without an embedded profile
  /// (or when the document asks to be shown untagged).
  std::optional<std::string> ProfileDescription;
  /// The one message of this Open about colour, or empty.
  std::string Message;
};

// Chooses and makes the conversion for a document of `colorMode` and
// `depth` from its embedded `profile` (untrusted bytes; empty for none).
// `untagged` (resource 1041) has the profile ignored. A CMYK document without
// a profile goes through the profile at `defaultCmykPath`; when that cannot be
// read it keeps the ink formula and says so.
ColourSetup SetUpDocumentColour(std::int16_t colorMode, std::int16_t depth,
                                std::span<const std::uint8_t> profile, bool untagged,
                                const char* defaultCmykPath = kDefaultCmykProfilePath);

}  // namespace plymark
