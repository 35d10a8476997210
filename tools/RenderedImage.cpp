#include "tools/RenderedImage.h"

#include <QDir>
#include <QFile>
#include <memory>
#include <new>
#include <stdexcept>

#include "tools/PngRowStream.h"

namespace plymark {
namespace {

// Hands the drawn rows to a PNG file, which deflates them on other threads.
class PngRows final : public RowReceiver {
 public:
  PngRows(QString path, int threads) : path_(std::move(path)), threads_(threads) {}

  void Start(int width, int height, PixelFormat format) override {
    stream_ = std::make_unique<PngRowStream>(path_, width, height, BytesPerPixel(format), threads_);
  }
  // Null once the file has failed; Finish says why.
  std::uint8_t* Row(int) override { return stream_->NextRow(); }

  QString Finish() {
    return stream_ ? stream_->Finish() : QStringLiteral("the drawing gave no rows");
  }

 private:
  QString path_;
  int threads_;
  std::unique_ptr<PngRowStream> stream_;
};

}  // namespace

void WriteRendered(const Document& document, const QString& folder, RenderExport& result,
                   int threads) {
  result = {};
  result.Asked = true;
  const QString name = QStringLiteral("rendered.png");
  const QString path = QDir(folder).filePath(name);
  try {
    PngRows rows(path, threads);
    const Drawing drawn = document.Render(rows);
    result.Problem = rows.Finish();
    if (result.Problem.isEmpty()) {
      result.Image = name;
      for (const std::string& omission : drawn.Omissions) {
        result.Omissions.append(QString::fromStdString(omission));
      }
    }
  } catch (const std::bad_alloc&) {
    result.Problem = QStringLiteral("there is not enough memory to draw the document");
  } catch (const std::exception& error) {
    // The library's errors, and what the PNG stream throws.
    result.Problem = QString::fromUtf8(error.what());
  }
  if (result.Image.isEmpty()) QFile::remove(path);
}

}  // namespace plymark
