// The document drawn from its layers, through the Document handle.

#include <exception>
#include <new>
#include <stdexcept>

#include "compose/ReducedRender.h"
#include "compose/RenderDocument.h"
#include "compose/RenderedRows.h"
#include "lib/DocumentData.h"
#include "lib/PixelLayouts.h"
#include "lib/ReceiverSurface.h"
#include "plymark/Document.h"

namespace plymark {
inline namespace v0 {
namespace {

// Carries an exception of the receiver's own through the drawing.
struct ReceiverStopped {
  std::exception_ptr Failure;
};

// Converts each band to sRGB rows as it comes, straight into the receiver's
// rows.
class ReceiverSink final : public RenderSink {
 public:
  ReceiverSink(const DocumentState& state, RowReceiver& receiver, CompositeLayout layout)
      : rows_(state),
        receiver_(receiver),
        words_(layout == CompositeLayout::Words),
        width_(state.Header.Columns) {}

  PixelFormat Format() const {
    if (words_) return PixelFormat::Argb32;
    return rows_.HasAlpha() ? PixelFormat::Rgba8 : PixelFormat::Rgb8;
  }
  bool HasAlpha() const { return rows_.HasAlpha(); }
  std::int32_t RowsTaken() const { return nextRow_; }

  // Calls the receiver; what it throws is kept and the drawing stopped.
  template <typename Call>
  auto Receive(const Call& call) {
    try {
      return call();
    } catch (...) {
      throw ReceiverStopped{std::current_exception()};
    }
  }

  void TakeBand(const RenderedBand& band) override {
    if (band.Width != width_ || band.Top != nextRow_) {
      throw std::runtime_error("the drawn rows came out of order");
    }
    nextRow_ += band.Rows;
    for (std::int32_t r = 0; r < band.Rows; ++r) {
      std::uint8_t* out = Receive([&] { return receiver_.Row(band.Top + r); });
      if (out == nullptr) continue;
      if (words_) {
        rows_.Words(band, r, reinterpret_cast<std::uint32_t*>(out));
      } else {
        rows_.Bytes(band, r, out);
      }
    }
  }

 private:
  RenderedRows rows_;
  RowReceiver& receiver_;
  bool words_;
  std::int32_t width_;
  std::int32_t nextRow_ = 0;
};

// Keeps every row in one picture.
class PictureReceiver final : public RowReceiver {
 public:
  void Start(int width, int height, PixelFormat format) override {
    picture = NewImage(width, height, format);
  }
  std::uint8_t* Row(int y) override { return picture.Pixels ? picture.Row(y) : nullptr; }

  Image picture;
};

// Runs `draw` on the document's state, its reads taking turns, with the
// library's errors for what the drawing throws; what a receiver threw leaves
// as it was thrown.
template <typename Draw>
Drawing DrawWith(detail::DocumentData& data, const Draw& draw) {
  const std::lock_guard lock(data.Lock);
  // An Open of the merged image alone that met damage before it has no
  // layers to draw, and no merged image either.
  if (data.MergedImageProblem) throw Error(*data.MergedImageProblem);
  detail::ReadLayersOf(data);
  try {
    return draw(data.State);
  } catch (const ReceiverStopped& stopped) {
    std::rethrow_exception(stopped.Failure);
  } catch (const PsdError& error) {
    throw ErrorOf(error);
  } catch (const std::bad_alloc&) {
    throw Error("there is not enough memory to draw the document");
  } catch (const std::exception& error) {
    throw Error(error.what());
  }
}

// Draws through `sink` into `receiver`.
Drawing DrawThrough(DocumentState& state, ReceiverSink& sink, RowReceiver& receiver) {
  Drawing drawing;
  drawing.HasAlpha = sink.HasAlpha();
  sink.Receive([&] {
    receiver.Start(state.Header.Columns, state.Header.Rows, sink.Format());
    return 0;
  });
  drawing.Omissions = RenderDocument(state, sink).Omissions;
  return drawing;
}

}  // namespace

RowReceiver::~RowReceiver() = default;

Drawing Document::Render(RowReceiver& rows, CompositeLayout layout) const {
  return DrawWith(*data_, [&](DocumentState& state) {
    ReceiverSink sink(state, rows, layout);
    return DrawThrough(state, sink, rows);
  });
}

Drawing Document::Render(const DrawOptions& options) const {
  return DrawWith(*data_, [&](DocumentState& state) {
    Drawing drawing;
    if (options.ReduceTo > 0) {
      ReducedRender reduced(state, options.ReduceTo);
      drawing.Omissions = RenderDocument(state, reduced).Omissions;
      SrgbPicture picture = reduced.TakePicture();
      drawing.HasAlpha = picture.HasAlpha;
      drawing.Picture = WordPicture(std::move(picture));
      if (options.Layout == CompositeLayout::Bytes) {
        WordsToBytes(drawing.Picture, drawing.HasAlpha);
      }
      return drawing;
    }
    PictureReceiver receiver;
    ReceiverSink sink(state, receiver, options.Layout);
    drawing = DrawThrough(state, sink, receiver);
    // Every byte handed out has been drawn.
    if (sink.RowsTaken() != state.Header.Rows) {
      throw Error("the drawing ended at row " + std::to_string(sink.RowsTaken()) + " of " +
                  std::to_string(state.Header.Rows));
    }
    drawing.Picture = std::move(receiver.picture);
    return drawing;
  });
}

}  // namespace v0
}  // namespace plymark
