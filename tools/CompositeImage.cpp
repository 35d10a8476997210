#include "tools/CompositeImage.h"

#include <QDir>

#include "tools/ImageViews.h"
#include "tools/PngWriter.h"

namespace plymark {

QString WriteComposite(const Document& document, const QString& folder, CompositeExport& result) {
  result = {};
  const Composite merged = document.MergedImage(CompositeLayout::Words);
  if (!merged.Picture) {
    result.Problem = QString::fromStdString(merged.Problem);
    return {};
  }
  const QString name = QStringLiteral("composite.png");
  const QString path = QDir(folder).filePath(name);
  if (QString error = WritePng(path, ImageView(*merged.Picture, merged.HasAlpha));
      !error.isEmpty()) {
    return error;
  }
  result.Image = name;
  return {};
}

}  // namespace plymark
