#pragma once

#include <QListWidget>
#include <QPushButton>
#include <QWidget>
#include <array>
#include <memory>
#include <string>

#include "app/TileDrag.h"
#include "platform/FileChooser.h"
#include "platform/FileSource.h"
#include "platform/MessageSink.h"
#include "platform/TileSurface.h"
#include "platform/qt/TileWidget.h"
#include "psd/DocumentState.h"

namespace plymark {

// The one window: the Open button, the summary list and twelve layer tiles.
// It owns the document state and wires the controls to the Open workflow.
class frmMain final : public QWidget {
 public:
  static constexpr int kTileCount = 12;

  // The seams to the system. `tiles` replaces the window's own tiles as the
  // renderer's surface; by default the renderer paints into picTmp(0..11).
  frmMain(FileSource& files, MessageSink& messages, FileChooser& chooser,
          TileSurface* tiles = nullptr);
  ~frmMain() override;

  QPushButton* cmdOpen() const { return cmdOpen_; }
  QListWidget* List1() const { return List1_; }
  TileWidget* picTmp(int index) const { return picTmp_.at(static_cast<std::size_t>(index)); }
  const DocumentState& State() const { return state_; }

  // The Open workflow: choose a file, then open it as OpenPath does.
  void cmdOpen_Click();
  // Reads and paints the file at `path` (in the file system's encoding) and
  // appends its summary, or shows why it cannot; the dialog's and the command
  // line's way in.
  void OpenPath(const std::string& path);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // A mouse button went down on tile `index`: the left one starts a drag.
  void picTmp_MouseDown(int index, Qt::MouseButton button, QPoint globalPointer);
  int TileIndexOf(const QObject* object) const;

  FileSource& files_;
  MessageSink& messages_;
  FileChooser& chooser_;
  QListWidget* List1_;
  QPushButton* cmdOpen_;
  std::array<TileWidget*, kTileCount> picTmp_{};
  std::unique_ptr<TileSurface> ownTiles_;
  TileSurface* tiles_;
  TileDrag drag_;
  DocumentState state_;
};

}  // namespace plymark
