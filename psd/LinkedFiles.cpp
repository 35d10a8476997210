#include "psd/LinkedFiles.h"

#include <algorithm>

#include "psd/BlockCursor.h"
#include "psd/PsdError.h"

namespace plymark {
namespace {

// The head of an entry (ids, names and descriptors before the file's bytes)
// is read whole; real heads take a few kilobytes.
constexpr std::uint64_t kLargestEntryHead = std::uint64_t{1} << 20;
// Real documents embed or link a few dozen files.
constexpr std::size_t kMostLinkedFiles = 10000;

bool IsLinkedFilesKey(const std::string& key) {
  return key == "lnk2" || key == "lnk3" || key == "lnkD" || key == "lnkE";
}

// Reads the head of one entry, whose bytes start at `fileOffset` and whose
// length (without its own 8 bytes) is `length`.
LinkedFile ReadEntry(const FileView& file, const std::string& block, std::int64_t fileOffset,
                     std::uint64_t length, SettingsBudget& budget) {
  std::vector<std::uint8_t> head(static_cast<std::size_t>(std::min(length, kLargestEntryHead)));
  budget.TakeBytes(fileOffset, "linked file in the '" + block + "' block", head.size());
  file.ReadInto(fileOffset, head, "linked file in the '" + block + "' block");
  BlockCursor cursor(head, fileOffset, "a linked file of the '" + block + "' block");
  LinkedFile linked;
  linked.Block = block;
  linked.Type = cursor.FourCharacters("type");
  if (linked.Type != "liFD" && linked.Type != "liFE" && linked.Type != "liFA") {
    BlockCursor(head, fileOffset, cursor.Context()).Fail("type", "is not liFD, liFE or liFA");
  }
  linked.Version = cursor.UInt32("version");
  linked.UniqueId = cursor.PascalString("unique id");
  linked.FileName = cursor.UnicodeString("file name");
  linked.FileType = cursor.FourCharacters("file type");
  linked.FileCreator = cursor.FourCharacters("file creator");
  const std::uint64_t dataLength = cursor.UInt64("data length");
  if (cursor.UInt8("file open descriptor flag") != 0) ReadVersionedDescriptor(cursor, budget);
  if (linked.Type == "liFE") linked.Link = ReadVersionedDescriptor(cursor, budget);
  if (linked.Type != "liFD") return linked;
  // The file's bytes, which must fit the entry.
  if (dataLength > length - cursor.Offset()) {
    cursor.Fail("embedded file",
                "is " + std::to_string(dataLength) + " bytes long, more than its entry holds");
  }
  linked.DataOffset = cursor.FileOffset();
  linked.DataLength = static_cast<std::int64_t>(dataLength);
  return linked;
}

}  // namespace

LinkedFiles ReadLinkedFiles(const FileView& file, const std::vector<TaggedBlockRef>& blocks) {
  LinkedFiles linked;
  SettingsBudget budget;
  for (const TaggedBlockRef& block : blocks) {
    if (!IsLinkedFilesKey(block.Key)) continue;
    const std::int64_t end = block.Offset + block.Length;
    std::int64_t at = block.Offset;
    try {
      while (end - at >= 8) {
        const auto lengthBytes = file.Bytes(at, 8, "linked file length");
        std::uint64_t length = 0;
        for (const std::uint8_t byte : lengthBytes) length = (length << 8) | byte;
        if (length > static_cast<std::uint64_t>(end - at - 8)) {
          throw PsdError::Damaged(at, "linked file length in the '" + block.Key + "' block",
                                  "is " + std::to_string(length) + ", more than the block holds");
        }
        if (linked.Files.size() == kMostLinkedFiles) {
          throw PsdError::Damaged(
              at, "linked file in the '" + block.Key + "' block",
              "is one more than the " + std::to_string(kMostLinkedFiles) + " a document may list");
        }
        linked.Files.push_back(ReadEntry(file, block.Key, at + 8, length, budget));
        at += 8 + static_cast<std::int64_t>(length);
        at = block.Offset + (at - block.Offset + 3) / 4 * 4;
      }
    } catch (const PsdError& error) {
      linked.Problems.push_back(block.Key + ": " + error.what());
    }
  }
  return linked;
}

std::string ReadSmartObjectId(std::string_view key, std::span<const std::uint8_t> data,
                              std::int64_t fileOffset, const std::string& context) {
  BlockCursor cursor(data, fileOffset, context);
  if (key == "PlLd") {
    cursor.Skip(8, "type and version");  // 'plcL' and 3
    return cursor.PascalString("unique id");
  }
  cursor.Skip(8, "identifier and version");  // 'soLD' and 4 or 5
  const Descriptor settings = ReadVersionedDescriptor(cursor);
  const std::string* id = settings.String("Idnt");
  if (id == nullptr) cursor.Fail("descriptor", "names no linked file ('Idnt')");
  return *id;
}

}  // namespace plymark
