#pragma once

#include <memory>

#include "lib/DocumentData.h"
#include "platform/TileSurface.h"
#include "plymark/Document.h"

namespace plymark {
inline namespace v0 {

// The tiles of an Open with a LayerReceiver: tile i is layer i, painted into
// a fresh picture that is handed to the receiver as soon as it is shown.
class ReceiverSurface final : public TileSurface {
 public:
  ReceiverSurface(std::shared_ptr<detail::DocumentData> data, LayerReceiver& receiver)
      : data_(std::move(data)), receiver_(receiver) {}

  int TileCount() const override;
  void ResizeTile(int tile, int width, int height) override;
  std::uint32_t* ImageRow(int tile, int y) override;
  void ShowImage(int tile) override;
  void DescribeTile(int, std::string_view) override {}
  void ResetTilesFrom(int) override {}

 private:
  std::shared_ptr<detail::DocumentData> data_;
  LayerReceiver& receiver_;
  Image picture_;
};

// A picture of width x height pixels of `format` whose memory is taken but
// not filled.
Image NewImage(int width, int height, PixelFormat format);

}  // namespace v0
}  // namespace plymark
