#include "tools/RenderedImage.h"

#include <QDir>
#include <QFile>
#include <new>
#include <stdexcept>

#include "compose/RenderDocument.h"
#include "compose/RenderedRows.h"
#include "psd/PsdError.h"
#include "tools/PngRowStream.h"

namespace plymark {
namespace {

// Converts each band to sRGB rows as it comes and hands them to the PNG
// file, which deflates them on other threads.
class PngSink final : public RenderSink {
 public:
  PngSink(const DocumentState& state, PngRowStream& stream)
      : rows_(state), stream_(stream), width_(state.Header.Columns) {}

  void TakeBand(const RenderedBand& band) override {
    if (band.Width != width_ || band.Top != nextRow_) {
      throw std::runtime_error("the drawn rows came out of order");
    }
    nextRow_ += band.Rows;
    for (std::int32_t r = 0; r < band.Rows; ++r) {
      std::uint8_t* out = stream_.NextRow();
      if (out == nullptr) return;  // the file failed; Finish says why
      rows_.Bytes(band, r, out);
    }
  }

  int Channels() const { return rows_.Channels(); }

 private:
  RenderedRows rows_;
  PngRowStream& stream_;
  std::int32_t width_;
  std::int32_t nextRow_ = 0;
};

}  // namespace

void WriteRendered(DocumentState& state, const QString& folder, RenderExport& result, int threads) {
  result = {};
  result.Asked = true;
  const QString name = QStringLiteral("rendered.png");
  const QString path = QDir(folder).filePath(name);
  try {
    const RenderedRows format(state);
    PngRowStream stream(path, state.Header.Columns, state.Header.Rows, format.Channels(), threads);
    PngSink sink(state, stream);
    const RenderResult drawn = RenderDocument(state, sink);
    result.Problem = stream.Finish();
    if (result.Problem.isEmpty()) {
      result.Image = name;
      for (const std::string& omission : drawn.Omissions) {
        result.Omissions.append(QString::fromStdString(omission));
      }
    }
  } catch (const PsdError& error) {
    result.Problem = QString::fromUtf8(error.what());
  } catch (const std::bad_alloc&) {
    result.Problem = QStringLiteral("there is not enough memory to draw the document");
  } catch (const std::exception& error) {
    result.Problem = QString::fromUtf8(error.what());
  }
  if (result.Image.isEmpty()) QFile::remove(path);
}

}  // namespace plymark
