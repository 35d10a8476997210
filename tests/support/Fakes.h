#pragma once

// Fake seams: files from memory, boxes recorded instead of shown, a dialog
// that answers from a script.

#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/FileChooser.h"
#include "platform/FileSource.h"
#include "platform/MessageSink.h"

namespace plymark::test {

class FakeFileSource final : public FileSource {
 public:
  void Add(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    files_[path] = bytes;
  }
  OpenedFile Open(const std::string& path) override {
    opened.push_back(path);
    const auto found = files_.find(path);
    if (found == files_.end()) return {nullptr, "No such file or directory"};
    return {std::make_shared<MemoryFile>(found->second), {}};
  }
  std::vector<std::string> opened;

 private:
  std::map<std::string, std::vector<std::uint8_t>> files_;
};

class FakeMessageSink final : public MessageSink {
 public:
  void ShowMessage(std::string_view text) override { messages.emplace_back(text); }
  void ShowOpenError(std::string_view text) override { errors.emplace_back(text); }
  std::vector<std::string> messages;
  std::vector<std::string> errors;
};

class FakeFileChooser final : public FileChooser {
 public:
  // Each call to ChooseFile takes the next answer; nullopt is a cancel.
  void Answer(std::optional<std::string> path) { answers_.push_back(std::move(path)); }
  std::optional<std::string> ChooseFile() override {
    ++shown;
    if (answers_.empty()) return std::nullopt;
    auto answer = answers_.front();
    answers_.pop_front();
    return answer;
  }
  int shown = 0;

 private:
  std::deque<std::optional<std::string>> answers_;
};

}  // namespace plymark::test
