#include "app/TileDrag.h"

namespace plymark {

void TileDrag::Begin(QWidget* tile, QPoint globalPointer) {
  tile_ = tile;
  grabOffset_ = globalPointer - tile->mapToGlobal(QPoint(0, 0));
}

void TileDrag::Follow(QPoint globalPointer) {
  if (tile_.isNull()) return;
  QWidget* parent = tile_->parentWidget();
  const QPoint topLeft = globalPointer - grabOffset_;
  tile_->move(parent != nullptr ? parent->mapFromGlobal(topLeft) : topLeft);
}

void TileDrag::End() {
  tile_.clear();
}

}  // namespace plymark
