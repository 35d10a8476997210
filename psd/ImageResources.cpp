#include "psd/ImageResources.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace plymark {
namespace {

constexpr std::int16_t kResolution = 1005;
constexpr std::int16_t kThumbnailOld = 1033;
constexpr std::int16_t kThumbnail = 1036;
constexpr std::int16_t kGlobalAngle = 1037;
constexpr std::int16_t kIccProfile = 1039;
constexpr std::int16_t kIccUntagged = 1041;
constexpr std::int16_t kGlobalAltitude = 1049;
constexpr std::int16_t kAlphaIdentifiers = 1053;
constexpr std::int16_t kVersionInfo = 1057;
constexpr std::int16_t kXmp = 1060;

// Format, width, height, width bytes, total size, compressed size (4 bytes
// each), bits per pixel and planes (2 bytes each).
constexpr std::size_t kThumbnailHead = 28;
constexpr std::int32_t kJpegThumbnail = 1;

// "8BIM" and the signatures some other programs write.
bool IsResourceSignature(const std::uint8_t* bytes) {
  static constexpr std::array<const char*, 5> kSignatures = {"8BIM", "MeSa", "AgHg", "PHUT",
                                                             "DCSR"};
  return std::any_of(kSignatures.begin(), kSignatures.end(), [bytes](const char* signature) {
    return std::memcmp(bytes, signature, 4) == 0;
  });
}

std::uint32_t BigEndian32(const std::uint8_t* bytes) {
  return (static_cast<std::uint32_t>(bytes[0]) << 24) |
         (static_cast<std::uint32_t>(bytes[1]) << 16) |
         (static_cast<std::uint32_t>(bytes[2]) << 8) | bytes[3];
}

std::int32_t SignedBigEndian32(const std::uint8_t* bytes) {
  return static_cast<std::int32_t>(BigEndian32(bytes));
}

std::int16_t SignedBigEndian16(const std::uint8_t* bytes) {
  return static_cast<std::int16_t>((bytes[0] << 8) | bytes[1]);
}

// Resolution, its unit and the unit of the side, horizontal then vertical.
ResolutionInfo ReadResolution(std::span<const std::uint8_t> data) {
  ResolutionInfo resolution;
  const std::uint8_t* bytes = data.data();
  resolution.Horizontal = SignedBigEndian32(bytes) / 65536.0;
  resolution.HorizontalUnit = SignedBigEndian16(bytes + 4);
  resolution.WidthUnit = SignedBigEndian16(bytes + 6);
  resolution.Vertical = SignedBigEndian32(bytes + 8) / 65536.0;
  resolution.VerticalUnit = SignedBigEndian16(bytes + 12);
  resolution.HeightUnit = SignedBigEndian16(bytes + 14);
  return resolution;
}

ThumbnailResource ReadThumbnail(std::int16_t id, std::span<const std::uint8_t> data,
                                std::int64_t dataOffset) {
  ThumbnailResource thumbnail;
  thumbnail.Id = id;
  thumbnail.Data = {dataOffset, static_cast<std::int64_t>(data.size())};
  if (data.size() < kThumbnailHead) return thumbnail;
  thumbnail.Format = SignedBigEndian32(data.data());
  thumbnail.Width = SignedBigEndian32(data.data() + 4);
  thumbnail.Height = SignedBigEndian32(data.data() + 8);
  if (thumbnail.Format == kJpegThumbnail) {
    thumbnail.Jpeg = {dataOffset + static_cast<std::int64_t>(kThumbnailHead),
                      static_cast<std::int64_t>(data.size() - kThumbnailHead)};
  }
  return thumbnail;
}

void KeepResource(std::int16_t id, std::span<const std::uint8_t> data, std::int64_t dataOffset,
                  ImageResources& resources) {
  switch (id) {
    case kAlphaIdentifiers: {
      std::vector<std::int32_t> identifiers;
      for (std::size_t k = 0; k + 4 <= data.size(); k += 4) {
        identifiers.push_back(SignedBigEndian32(data.data() + k));
      }
      resources.AlphaIdentifiers = std::move(identifiers);
      break;
    }
    case kVersionInfo:
      if (data.size() >= 5) resources.HasRealMergedData = data[4] != 0;
      break;
    case kIccProfile:
      resources.IccProfile = ResourceData{dataOffset, static_cast<std::int64_t>(data.size())};
      break;
    case kResolution:
      if (data.size() >= 16) resources.Resolution = ReadResolution(data);
      break;
    case kXmp:
      resources.Xmp = ResourceData{dataOffset, static_cast<std::int64_t>(data.size())};
      break;
    case kGlobalAngle:
      if (data.size() >= 4) resources.GlobalAngle = SignedBigEndian32(data.data());
      break;
    case kGlobalAltitude:
      if (data.size() >= 4) resources.GlobalAltitude = SignedBigEndian32(data.data());
      break;
    case kIccUntagged:
      resources.IccUntagged = !data.empty() && data[0] == 1;
      break;
    case kThumbnail:
    case kThumbnailOld:
      // The newer resource wins whichever comes first.
      if (id == kThumbnail || !resources.Thumbnail || resources.Thumbnail->Id != kThumbnail) {
        resources.Thumbnail = ReadThumbnail(id, data, dataOffset);
      }
      break;
    default:
      break;
  }
}

}  // namespace

ImageResources ReadImageResources(std::span<const std::uint8_t> section,
                                  std::int64_t sectionOffset) {
  ImageResources resources;
  const std::uint8_t* const bytes = section.data();
  const std::size_t size = section.size();
  std::size_t p = 0;
  // Signature, id and the name's length byte.
  while (size - p >= 7) {
    if (!IsResourceSignature(bytes + p)) break;
    const auto id = static_cast<std::int16_t>((bytes[p + 4] << 8) | bytes[p + 5]);
    // The Pascal name: length byte and characters, padded to an even size.
    std::size_t nameField = 1 + static_cast<std::size_t>(bytes[p + 6]);
    nameField += nameField % 2;
    if (size - p - 6 < nameField + 4) break;
    const std::size_t sizeAt = p + 6 + nameField;
    const std::size_t dataSize = BigEndian32(bytes + sizeAt);
    const std::size_t dataAt = sizeAt + 4;
    if (size - dataAt < dataSize) break;
    KeepResource(id, section.subspan(dataAt, dataSize),
                 sectionOffset + static_cast<std::int64_t>(dataAt), resources);
    // The data is padded to an even size; the last block's pad may be missing.
    p = dataAt + dataSize;
    p += std::min(dataSize % 2, size - p);
  }
  return resources;
}

}  // namespace plymark
