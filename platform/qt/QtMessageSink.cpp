#include "platform/qt/QtMessageSink.h"

#include <QMessageBox>

namespace plymark {
namespace {

void ShowBox(QWidget* parent, QMessageBox::Icon icon, std::string_view text) {
  QMessageBox box(icon, QStringLiteral("Plymark"),
                  QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())),
                  QMessageBox::Ok, parent);
  box.exec();
}

}  // namespace

void QtMessageSink::ShowMessage(std::string_view text) {
  ShowBox(parent_, QMessageBox::NoIcon, text);
}

void QtMessageSink::ShowOpenError(std::string_view text) {
  ShowBox(parent_, QMessageBox::Critical, text);
}

}  // namespace plymark
