#pragma once

#include <QPoint>
#include <QPointer>
#include <QWidget>

namespace plymark {

// Moves one tile with the pointer while the left button is held, the way a
// window follows its caption. It never changes the stacking order.
class TileDrag {
 public:
  void Begin(QWidget* tile, QPoint globalPointer);
  void Follow(QPoint globalPointer);
  void End();
  bool Active() const { return !tile_.isNull(); }

 private:
  QPointer<QWidget> tile_;
  QPoint grabOffset_;  ///< pointer position within the tile when it was grabbed
};

}  // namespace plymark
