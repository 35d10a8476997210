#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "psd/Descriptor.h"
#include "psd/DocumentState.h"

namespace plymark {

// One file that the document's smart objects show, from the global 'lnk2',
// 'lnk3', 'lnkD' or 'lnkE' blocks. Smart object layers name it by UniqueId.
struct LinkedFile {
  std::string Block;  ///< the key of the block that lists it
  std::string Type;   ///< "liFD" embedded (its bytes follow), "liFE" external, "liFA" alias
  std::uint32_t Version = 0;
  std::string UniqueId;
  std::string FileName;         ///< the original file's name, UTF-8
  std::string FileType;         ///< four characters as stored ("JPEG", "png "); often four 0 bytes
  std::string FileCreator;      ///< four characters as stored
  std::int64_t DataOffset = 0;  ///< an embedded file: the file offset of its first byte
  std::int64_t DataLength = 0;  ///< an embedded file: its size in bytes; 0 otherwise
  /// An external file: where it lives ('fullPath', 'relPath', 'originalPath', ...).
  std::optional<Descriptor> Link;
};

struct LinkedFiles {
  std::vector<LinkedFile> Files;
  std::vector<std::string> Problems;  ///< one per block that could not be read to its end
};

// Reads the linked files of every 'lnk2', 'lnk3', 'lnkD' and 'lnkE' block of
// `blocks` (the document's global tagged blocks). Each block holds entries of
// an 8-byte length and that many bytes, each padded to a multiple of 4. A
// damaged entry ends its block's list with a problem; the entries before it
// are kept. The embedded files' bytes are not read.
LinkedFiles ReadLinkedFiles(const FileView& file, const std::vector<TaggedBlockRef>& blocks);

// The unique id of the linked file that a smart object layer shows: the
// 'Idnt' item of a 'SoLd' or 'SoLE' block's descriptor, or the id a 'PlLd'
// block stores. Throws PsdError when the block is damaged.
std::string ReadSmartObjectId(std::string_view key, std::span<const std::uint8_t> data,
                              std::int64_t fileOffset, const std::string& context);

}  // namespace plymark
