#pragma once

#include <QWidget>

#include "platform/MessageSink.h"

namespace plymark {

// Modal Qt message boxes with the caption "Plymark" and an OK button only.
class QtMessageSink final : public MessageSink {
 public:
  explicit QtMessageSink(QWidget* parent = nullptr) : parent_(parent) {}
  void ShowMessage(std::string_view text) override;
  void ShowOpenError(std::string_view text) override;

 private:
  QWidget* parent_;
};

}  // namespace plymark
