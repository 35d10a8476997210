#pragma once

#include <QFile>
#include <QString>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "tools/PngBands.h"

namespace plymark {

// Writes an 8-bit PNG file whose rows are handed in order, as a renderer
// makes them: each band of rows (about a megabyte) is filtered and deflated
// on worker threads as its own deflate stream, as WritePng does, while the
// next band is filled. At most a few bands per thread are held, waiting or
// being deflated, whatever the image's size: NextRow waits while they fill
// the queue.
class PngRowStream {
 public:
  // Opens `path` for an image of `width` x `height` pixels of `channels`
  // channels (1 grey, 2 grey and alpha, 3 RGB, 4 RGBA), deflated by `threads`
  // threads (0: one per core). A file that cannot be opened, or a size that
  // cannot be written, is reported by Finish.
  PngRowStream(const QString& path, int width, int height, int channels, int threads = 0);
  ~PngRowStream();  // stops the threads; an unfinished file is left as it is
  PngRowStream(const PngRowStream&) = delete;
  PngRowStream& operator=(const PngRowStream&) = delete;

  // Room for the next row's Width * Channels bytes, to be filled before the
  // next call; null once the stream has failed or every row has come.
  std::uint8_t* NextRow();

  // After the last row: waits for every band, ends the file and closes it.
  // Returns an error text (also when fewer rows than the height came), empty
  // on success.
  QString Finish();

 private:
  struct Pending {
    int Index = 0;
    png::Bytes Rows;
  };
  void Submit();
  void Work();
  void Fail(const QString& error);  // called with the lock held

  QFile file_;
  const int width_;
  const int height_;
  const int channels_;
  const std::size_t rowBytes_;
  const int bandRows_;
  int window_ = 2;
  png::Bytes filling_;  ///< the band being filled, row after row
  int filledRows_ = 0;
  int handedRows_ = 0;
  int nextBand_ = 0;

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Pending> waiting_;
  std::vector<png::Bytes> spare_;  ///< band buffers to fill again
  std::unique_ptr<png::BandOrder> order_;
  QString error_;
  bool stopping_ = false;
  std::vector<std::thread> workers_;
};

}  // namespace plymark
