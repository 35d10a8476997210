#include "platform/qt/TileWidget.h"

#include <QPainter>

#include <new>

namespace plymark {

TileWidget::TileWidget(QWidget* parent) : QWidget(parent) {
  setFocusPolicy(Qt::TabFocus);
  resize(kStartWidth, kStartHeight);
}

void TileWidget::MakeImage(int width, int height) {
  showsImage_ = false;
  // Not filled: the painting writes every pixel before the image is shown.
  // An image of the same size is used again, as its memory is at hand.
  if (image_.isNull() || image_.width() != width || image_.height() != height) {
    image_ = QImage();  // the previous picture goes before the next one is made
    if (width > 0 && height > 0) {
      image_ = QImage(width, height, QImage::Format_RGB32);
      // Qt answers a failed allocation with a null image, which has no rows.
      if (image_.isNull()) throw std::bad_alloc();
    }
  }
  update();
}

void TileWidget::ShowImage() {
  showsImage_ = !image_.isNull();
  update();
}

void TileWidget::ResetToStart() {
  image_ = QImage();
  showsImage_ = false;
  setToolTip(QString());
  resize(kStartWidth, kStartHeight);
  update();
}

void TileWidget::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (showsImage_) {
    painter.drawImage(0, 0, image_);
    return;
  }
  painter.fillRect(rect(), palette().color(QPalette::Window));
  // An empty tile shows its outline, so that it can be found and dragged.
  painter.setPen(palette().color(QPalette::Mid));
  painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

}  // namespace plymark
