#include "app/frmMain.h"

#include <QMouseEvent>

#include "app/OpenWorkflow.h"
#include "platform/qt/QtTileSurface.h"

namespace plymark {
namespace {

constexpr int kClientWidth = 643;
constexpr int kClientHeight = 348;

// Tile i lies in column i / 3 and row i % 3, right of the list.
QPoint TileGridPosition(int index) {
  return {160 + 120 * (index / 3), 8 + 112 * (index % 3)};
}

}  // namespace

frmMain::frmMain(FileSource& files, MessageSink& messages, FileChooser& chooser, TileSurface* tiles)
    : files_(files), messages_(messages), chooser_(chooser) {
  setWindowTitle(QStringLiteral("Plymark"));
  resize(kClientWidth, kClientHeight);

  // Children made later lie in front: the list at the back, then the button,
  // then the tiles from 0 (back) to 11 (front).
  List1_ = new QListWidget(this);
  List1_->setObjectName(QStringLiteral("List1"));
  List1_->setGeometry(0, 8, 153, 329);

  cmdOpen_ = new QPushButton(QStringLiteral("Open"), this);
  cmdOpen_->setObjectName(QStringLiteral("cmdOpen"));
  cmdOpen_->setGeometry(24, 304, 105, 25);
  connect(cmdOpen_, &QPushButton::clicked, this, [this] { cmdOpen_Click(); });

  std::vector<TileWidget*> surfaceTiles;
  for (int i = 0; i < kTileCount; ++i) {
    auto* tile = new TileWidget(this);
    tile->setObjectName(QStringLiteral("picTmp(%1)").arg(i));
    tile->move(TileGridPosition(i));
    tile->installEventFilter(this);
    picTmp_[static_cast<std::size_t>(i)] = tile;
    surfaceTiles.push_back(tile);
  }

  setTabOrder(cmdOpen_, List1_);
  QWidget* previous = List1_;
  for (TileWidget* tile : picTmp_) {
    setTabOrder(previous, tile);
    previous = tile;
  }
  cmdOpen_->setFocus();

  if (tiles == nullptr) {
    ownTiles_ = std::make_unique<QtTileSurface>(std::move(surfaceTiles));
    tiles = ownTiles_.get();
  }
  tiles_ = tiles;
}

frmMain::~frmMain() = default;

void frmMain::cmdOpen_Click() {
  const std::optional<std::string> path = chooser_.ChooseFile();
  if (!path) return;  // a cancelled dialog reads nothing
  OpenPath(*path);
}

void frmMain::OpenPath(const std::string& path) {
  if (const auto failure = OpenDocument(path, state_, files_, messages_, *tiles_)) {
    messages_.ShowOpenError(OpenErrorText(path, *failure));
    return;
  }
  for (const std::string& item : SummaryItems(state_)) {
    List1_->addItem(QString::fromStdString(item));
  }
}

int frmMain::TileIndexOf(const QObject* object) const {
  for (int i = 0; i < kTileCount; ++i) {
    if (picTmp_[static_cast<std::size_t>(i)] == object) return i;
  }
  return -1;
}

bool frmMain::eventFilter(QObject* watched, QEvent* event) {
  const int index = TileIndexOf(watched);
  if (index < 0) return QWidget::eventFilter(watched, event);
  switch (event->type()) {
    case QEvent::MouseButtonPress: {
      const auto* mouse = static_cast<QMouseEvent*>(event);
      picTmp_MouseDown(index, mouse->button(), mouse->globalPosition().toPoint());
      return true;
    }
    case QEvent::MouseMove: {
      const auto* mouse = static_cast<QMouseEvent*>(event);
      if (drag_.Active() && (mouse->buttons() & Qt::LeftButton)) {
        drag_.Follow(mouse->globalPosition().toPoint());
        return true;
      }
      return false;
    }
    case QEvent::MouseButtonRelease: {
      const auto* mouse = static_cast<QMouseEvent*>(event);
      if (mouse->button() == Qt::LeftButton && drag_.Active()) {
        drag_.Follow(mouse->globalPosition().toPoint());
        drag_.End();
        return true;
      }
      return false;
    }
    default:
      return QWidget::eventFilter(watched, event);
  }
}

void frmMain::picTmp_MouseDown(int index, Qt::MouseButton button, QPoint globalPointer) {
  if (button != Qt::LeftButton) return;  // only the left button drags; modifiers do not matter
  drag_.Begin(picTmp(index), globalPointer);
}

}  // namespace plymark
