#include <QApplication>

#include "app/frmMain.h"
#include "platform/SystemFileSource.h"
#include "platform/qt/QtFileChooser.h"
#include "platform/qt/QtMessageSink.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  plymark::SystemFileSource files;
  plymark::QtMessageSink messages;
  plymark::QtFileChooser chooser;
  plymark::frmMain window(files, messages, chooser);
  window.show();
  return QApplication::exec();
}
