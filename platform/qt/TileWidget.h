#pragma once

#include <QImage>
#include <QWidget>

namespace plymark {

// A layer tile: a plain box that, once a layer is painted into it, keeps a
// persistent image of its client area and shows it whenever it is drawn.
class TileWidget final : public QWidget {
 public:
  static constexpr int kStartWidth = 113;
  static constexpr int kStartHeight = 105;

  explicit TileWidget(QWidget* parent = nullptr);

  // The persistent image; null until a layer is sized into the tile.
  QImage& Image() { return image_; }
  const QImage& Image() const { return image_; }
  bool ShowsImage() const { return showsImage_; }

  // A persistent image of width x height for a new picture (none when either
  // is 0; the present one when it has that size), not shown until ShowImage.
  void MakeImage(int width, int height);
  void ShowImage();
  // Back to the start state: start size, no image, no tool tip. The position
  // stays.
  void ResetToStart();

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QImage image_;
  bool showsImage_ = false;
};

}  // namespace plymark
