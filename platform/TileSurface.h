#pragma once

#include <cstdint>
#include <string_view>

namespace plymark {

// The layer tiles as the renderer sees them: each tile has an outer size and a
// persistent image of that size that the renderer writes row by row and then
// shows. Pixels are 0xffRRGGBB words.
class TileSurface {
 public:
  virtual ~TileSurface() = default;

  // Number of tiles that can show a layer; layers at or beyond it are decoded
  // but not shown.
  virtual int TileCount() const = 0;

  // Sets the tile's outer size and gives it a fresh persistent image of that
  // size. A size of 0 in either direction leaves the tile empty.
  virtual void ResizeTile(int tile, int width, int height) = 0;

  // Row y of the tile's persistent image: width writable pixels.
  virtual std::uint32_t* ImageRow(int tile, int y) = 0;

  // Makes the tile show its persistent image.
  virtual void ShowImage(int tile) = 0;

  // Sets the text (UTF-8, lines split by '\n') that the tile shows when the
  // pointer rests on it; an empty text shows none.
  virtual void DescribeTile(int tile, std::string_view text) = 0;

  // Puts every tile from `first` on back to its start state, without a text.
  virtual void ResetTilesFrom(int first) = 0;
};

}  // namespace plymark
