#include "tools/CompositeImage.h"

#include <QDir>
#include <QImage>

#include "app/ReadMergedImage.h"
#include "tools/PngWriter.h"

namespace plymark {

QString WriteComposite(const DocumentState& state, const QString& folder, CompositeExport& result) {
  result = {};
  const MergedImageResult merged = ReadMergedImage(state);
  if (!merged.Image) {
    result.Problem = QString::fromStdString(merged.Problem);
    return {};
  }
  const MergedImage& image = *merged.Image;
  if (image.Width <= 0 || image.Height <= 0) {
    result.Problem = QStringLiteral("the merged image has no pixels");
    return {};
  }
  // The words are 0xAARRGGBB, as Qt's 32-bit formats keep them; the image
  // views the decoded pixels while it is written.
  const QImage picture(reinterpret_cast<const uchar*>(image.Pixels.data()), image.Width,
                       image.Height, static_cast<qsizetype>(image.Width) * 4,
                       image.HasAlpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
  const QString name = QStringLiteral("composite.png");
  const QString path = QDir(folder).filePath(name);
  if (QString error = WritePng(path, picture); !error.isEmpty()) return error;
  result.Image = name;
  return {};
}

}  // namespace plymark
