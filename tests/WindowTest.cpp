#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMouseEvent>

#include "app/CommandLine.h"
#include "app/frmMain.h"
#include "tests/support/Fakes.h"
#include "tests/support/PsdWriter.h"

namespace plymark {
namespace {

using test::SolidLayer;
using test::TestDocument;

class WindowTest : public ::testing::Test {
 protected:
  WindowTest() : window(files, messages, chooser) { window.show(); }

  // Answers the dialog with `path` and clicks Open.
  void OpenThrough(const std::string& path) {
    chooser.Answer(path);
    window.cmdOpen()->click();
  }

  static QStringList ItemsOf(const frmMain& shown) {
    QStringList items;
    for (int i = 0; i < shown.List1()->count(); ++i) items << shown.List1()->item(i)->text();
    return items;
  }
  QStringList Items() const { return ItemsOf(window); }

  void Mouse(QWidget* tile, QEvent::Type type, QPoint local, Qt::MouseButton button,
             Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QMouseEvent event(type, QPointF(local), QPointF(tile->mapToGlobal(local)), button, buttons,
                      modifiers);
    QApplication::sendEvent(tile, &event);
  }

  // Presses `button` at (10, 10) of the tile, moves the pointer by `by`, and releases.
  void Drag(QWidget* tile, Qt::MouseButton button, QPoint by,
            Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    const QPoint start(10, 10);
    Mouse(tile, QEvent::MouseButtonPress, start, button, button, modifiers);
    Mouse(tile, QEvent::MouseMove, start + by, Qt::NoButton, button, modifiers);
    // After the move the pointer lies at `start` of the tile if it followed.
    const QPoint end = tile->mapFromGlobal(tile->mapToGlobal(start));
    Mouse(tile, QEvent::MouseButtonRelease, end, button, Qt::NoButton, modifiers);
  }

  test::FakeFileSource files;
  test::FakeMessageSink messages;
  test::FakeFileChooser chooser;
  frmMain window;
};

TEST_F(WindowTest, ControlsStandWhereTheLayoutPutsThem) {
  EXPECT_EQ(window.windowTitle(), "Plymark");
  EXPECT_EQ(window.size(), QSize(643, 348));
  EXPECT_EQ(window.List1()->geometry(), QRect(0, 8, 153, 329));
  EXPECT_EQ(window.List1()->count(), 0);
  EXPECT_EQ(window.cmdOpen()->text(), "Open");
  EXPECT_EQ(window.cmdOpen()->geometry(), QRect(24, 304, 105, 25));
  for (int i = 0; i < 12; ++i) {
    EXPECT_EQ(window.picTmp(i)->geometry(), QRect(160 + 120 * (i / 3), 8 + 112 * (i % 3), 113, 105))
        << "tile " << i;
    EXPECT_FALSE(window.picTmp(i)->ShowsImage());
  }
}

TEST_F(WindowTest, StackingAndTabOrderFollowTheLayout) {
  // Qt draws later siblings in front: list at the back, then the button,
  // then tiles 0 to 11.
  QList<QWidget*> backToFront;
  for (QObject* child : window.children()) {
    if (auto* widget = qobject_cast<QWidget*>(child)) backToFront << widget;
  }
  ASSERT_EQ(backToFront.size(), 14);
  EXPECT_EQ(backToFront[0], window.List1());
  EXPECT_EQ(backToFront[1], window.cmdOpen());
  for (int i = 0; i < 12; ++i) EXPECT_EQ(backToFront[2 + i], window.picTmp(i));

  EXPECT_EQ(window.focusWidget(), window.cmdOpen());
  // The focus chain holds the controls' inner widgets too; keep the controls.
  QList<QWidget*> controls = {window.cmdOpen(), window.List1()};
  for (int i = 0; i < 12; ++i) controls << window.picTmp(i);
  QList<QWidget*> tabOrder;
  QWidget* widget = window.cmdOpen();
  do {
    if (controls.contains(widget)) tabOrder << widget;
    widget = widget->nextInFocusChain();
  } while (widget != window.cmdOpen());
  EXPECT_EQ(tabOrder, controls);
}

TEST_F(WindowTest, EachOpenAppendsSixItemsAndTheListIsNeverCleared) {
  TestDocument first;
  first.Rows = 600;
  first.Columns = 800;
  first.Layers = {SolidLayer(0, 0, 2, 2, 1, 2, 3), SolidLayer(0, 0, 2, 2, 1, 2, 3)};
  TestDocument second;
  second.Channels = -2;
  files.Add("/tmp/first.psd", test::BuildPsd(first));
  files.Add("/tmp/second.psd", test::BuildPsd(second));

  OpenThrough("/tmp/first.psd");
  EXPECT_EQ(Items(), (QStringList{"8BPS", "Channels3", "Depth   8", "Rows    600", "Columns 800",
                                  "Layers  2"}));
  OpenThrough("/tmp/second.psd");
  ASSERT_EQ(Items().size(), 12);
  EXPECT_EQ(Items()[7], "Channels-2");
  EXPECT_EQ(Items()[11], "Layers  0");
  EXPECT_TRUE(messages.errors.empty());
}

TEST_F(WindowTest, ACancelledDialogReadsNothing) {
  files.Add("/tmp/a.psd", test::BuildPsd(TestDocument{}));
  chooser.Answer(std::nullopt);
  window.cmdOpen()->click();
  EXPECT_EQ(chooser.shown, 1);
  EXPECT_TRUE(files.opened.empty());

  OpenThrough("/tmp/a.psd");
  chooser.Answer(std::nullopt);
  window.cmdOpen()->click();
  EXPECT_EQ(files.opened.size(), 1u);
  EXPECT_EQ(Items().size(), 6);
}

TEST_F(WindowTest, ADamagedFileShowsAnErrorBoxAndTheWindowGoesOn) {
  test::Bytes damaged = test::BuildHeader(TestDocument{});
  damaged.push_back(0);
  files.Add("/tmp/damaged.psd", damaged);
  files.Add("/tmp/good.psd", test::BuildPsd(TestDocument{}));

  OpenThrough("/tmp/damaged.psd");
  ASSERT_EQ(messages.errors.size(), 1u);
  EXPECT_EQ(messages.errors[0],
            "Plymark cannot open \"/tmp/damaged.psd\": the file ends at byte 27 while reading "
            "the colour-mode data length.");
  EXPECT_EQ(window.List1()->count(), 0);

  OpenThrough("/tmp/missing.psd");
  ASSERT_EQ(messages.errors.size(), 2u);
  EXPECT_NE(messages.errors[1].find("cannot be opened: No such file or directory"),
            std::string::npos);

  OpenThrough("/tmp/good.psd");
  EXPECT_EQ(window.List1()->count(), 6);
  EXPECT_TRUE(window.cmdOpen()->isEnabled());
}

TEST_F(WindowTest, LayersArePaintedIntoTheirTilesAtTheirSizes) {
  TestDocument document;
  document.Layers = {SolidLayer(0, 0, 30, 40, 255, 0, 0), SolidLayer(5, 5, 25, 65, 0, 255, 0),
                     SolidLayer(0, 0, 90, 10, 0, 0, 255)};
  files.Add("/tmp/three.psd", test::BuildPsd(document));
  OpenThrough("/tmp/three.psd");
  const QList<QSize> sizes = {{40, 30}, {60, 20}, {10, 90}};
  const QList<QColor> colours = {Qt::red, Qt::green, Qt::blue};
  for (int i = 0; i < 3; ++i) {
    TileWidget* tile = window.picTmp(i);
    EXPECT_EQ(tile->size(), sizes[i]);
    EXPECT_TRUE(tile->ShowsImage());
    EXPECT_EQ(tile->Image().pixelColor(sizes[i].width() - 1, sizes[i].height() - 1), colours[i]);
    // What the tile draws on screen is its image.
    EXPECT_EQ(tile->grab().toImage().pixelColor(0, 0), colours[i]);
  }
  EXPECT_FALSE(window.picTmp(3)->ShowsImage());
}

TEST_F(WindowTest, TilesThatTheNextFileDoesNotReachGoBackToTheirStartState) {
  TestDocument five;
  for (int i = 0; i < 5; ++i) five.Layers.push_back(SolidLayer(0, 0, 3, 4, 9, 9, 9));
  TestDocument two;
  two.Layers = {SolidLayer(0, 0, 3, 4, 1, 1, 1), SolidLayer(0, 0, 3, 4, 1, 1, 1)};
  files.Add("/tmp/five.psd", test::BuildPsd(five));
  files.Add("/tmp/two.psd", test::BuildPsd(two));
  OpenThrough("/tmp/five.psd");
  OpenThrough("/tmp/two.psd");
  EXPECT_TRUE(window.picTmp(1)->ShowsImage());
  for (int i = 2; i < 5; ++i) {
    EXPECT_FALSE(window.picTmp(i)->ShowsImage()) << "tile " << i;
    EXPECT_EQ(window.picTmp(i)->size(), QSize(113, 105)) << "tile " << i;
  }
}

TEST_F(WindowTest, OnlyTheLeftButtonDragsATileWhateverTheModifiers) {
  TileWidget* tile = window.picTmp(4);
  const QPoint start = tile->pos();

  Drag(tile, Qt::RightButton, {50, 30});
  EXPECT_EQ(tile->pos(), start);
  Drag(tile, Qt::MiddleButton, {50, 30});
  EXPECT_EQ(tile->pos(), start);

  Drag(tile, Qt::LeftButton, {50, 30});
  EXPECT_EQ(tile->pos(), start + QPoint(50, 30));
  Drag(tile, Qt::LeftButton, {-20, 5}, Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
  EXPECT_EQ(tile->pos(), start + QPoint(30, 35));

  // A move without a press moves nothing.
  Mouse(tile, QEvent::MouseMove, {40, 40}, Qt::NoButton, Qt::LeftButton);
  EXPECT_EQ(tile->pos(), start + QPoint(30, 35));
}

TEST_F(WindowTest, DraggingNeverChangesTheStackingOrder) {
  const QObjectList before = window.children();
  Drag(window.picTmp(0), Qt::LeftButton, {300, 0});
  EXPECT_EQ(window.children(), before);
}

TEST_F(WindowTest, ATileDraggedBeforeAnOpenIsPaintedWhereItLies) {
  TileWidget* tile = window.picTmp(0);
  Drag(tile, Qt::LeftButton, {-150, 200});  // partly over the list and the button
  const QPoint dropped = tile->pos();
  TestDocument document;
  document.Layers = {SolidLayer(0, 0, 20, 20, 12, 34, 56)};
  files.Add("/tmp/one.psd", test::BuildPsd(document));
  OpenThrough("/tmp/one.psd");
  EXPECT_EQ(tile->pos(), dropped);
  EXPECT_EQ(tile->Image().pixelColor(5, 5), QColor(12, 34, 56));
}

TEST_F(WindowTest, EachPaintedTileShowsItsLayersNameAsAToolTip) {
  TestDocument named;
  named.Layers = {SolidLayer(2, 3, 12, 23, 1, 1, 1), SolidLayer(0, 0, 3, 4, 1, 1, 1)};
  named.Layers[0].Extra = test::NamedExtra("Sky?", u"Sky \u2601");
  named.Layers[1].Extra = test::NamedExtra("Ground");
  TestDocument one;
  one.Layers = {SolidLayer(0, 0, 1, 1, 1, 1, 1)};
  files.Add("/tmp/named.psd", test::BuildPsd(named));
  files.Add("/tmp/one.psd", test::BuildPsd(one));
  OpenThrough("/tmp/named.psd");
  EXPECT_EQ(window.picTmp(0)->toolTip(),
            QString::fromUtf8("Sky \u2601\n20 \u00d7 10 pixels at (3, 2)"));
  EXPECT_TRUE(window.picTmp(1)->toolTip().startsWith("Ground\n"));
  EXPECT_TRUE(window.picTmp(2)->toolTip().isEmpty());
  // A tile that the next file does not reach loses its text with its picture.
  OpenThrough("/tmp/one.psd");
  EXPECT_TRUE(window.picTmp(0)->toolTip().startsWith("(no name)\n"));
  EXPECT_TRUE(window.picTmp(1)->toolTip().isEmpty());
}

TEST_F(WindowTest, AFileGivenAtStartOpensOnceShownAsThroughTheDialog) {
  TestDocument good;
  good.Layers = {SolidLayer(0, 0, 2, 2, 1, 2, 3)};
  test::Bytes damaged = test::BuildHeader(TestDocument{});
  damaged.push_back(0);
  const std::string here = QFile::encodeName(QDir::currentPath()).toStdString();
  struct Case {
    QString argument;
    std::string path;  // what the dialog gives for the same file
    std::optional<test::Bytes> bytes;
  };
  const std::vector<Case> cases = {
      {QString::fromUtf8("some dir/\u00e4.psd"), here + "/some dir/\u00e4.psd",
       test::BuildPsd(good)},
      {"damaged.psd", here + "/damaged.psd", damaged},
      {"missing.psd", here + "/missing.psd", std::nullopt},
  };
  for (const Case& file : cases) {
    if (file.bytes) files.Add(file.path, *file.bytes);
  }
  test::FakeMessageSink startMessages;
  frmMain started(files, startMessages, chooser);
  started.show();
  for (const Case& file : cases) {
    SCOPED_TRACE(file.path);
    OpenThrough(file.path);
    const std::size_t opened = files.opened.size();
    OpenWhenShown(started, CommandLineFilePath(file.argument));
    EXPECT_EQ(files.opened.size(), opened);  // nothing is read before the window is up
    QCoreApplication::processEvents();
    EXPECT_EQ(ItemsOf(started), Items());
    EXPECT_EQ(startMessages.errors, messages.errors);
    EXPECT_EQ(startMessages.messages, messages.messages);
  }
  EXPECT_EQ(Items().size(), 6);
  EXPECT_EQ(messages.errors.size(), 2u);
}

}  // namespace
}  // namespace plymark

int main(int argc, char** argv) {
  // The window is tested headless; no test may need a display.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
