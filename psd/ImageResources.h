#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace plymark {

// Where a resource's data lies in the file.
struct ResourceData {
  std::int64_t Offset = 0;  ///< byte offset of the data's first byte in the file
  std::int64_t Length = 0;  ///< the stored data size, without the pad byte
};

// A thumbnail resource (1036, or the older 1033): its data and what its
// 28-byte head says.
struct ThumbnailResource {
  std::int16_t Id = 0;      ///< 1036, or 1033 (whose raw pixels are stored BGR)
  ResourceData Data;        ///< the whole data, head included
  std::int32_t Format = 0;  ///< 1 JPEG, 0 raw pixels
  std::int32_t Width = 0;   ///< in pixels
  std::int32_t Height = 0;  ///< in pixels
  ResourceData Jpeg;        ///< the bytes behind the head; empty when the head does not fit
};

// 1005: the resolution the document is printed at. Resolutions are 16.16
// fixed point in the file.
struct ResolutionInfo {
  double Horizontal = 0;            ///< pixels per inch or per centimetre
  std::int16_t HorizontalUnit = 0;  ///< 1 pixels per inch, 2 pixels per centimetre
  std::int16_t WidthUnit = 0;       ///< 1 inches, 2 cm, 3 points, 4 picas, 5 columns
  double Vertical = 0;
  std::int16_t VerticalUnit = 0;
  std::int16_t HeightUnit = 0;
};

// What the image-resources section says about the merged image. Every member
// stays empty when its resource is missing or too short.
struct ImageResources {
  /// 1053: one identifier per extra channel of the merged image; an
  /// identifier 0 marks the transparency.
  std::optional<std::vector<std::int32_t>> AlphaIdentifiers;
  /// 1057: false when the file was saved without a full merged image (the
  /// image data section then holds a flattened stand-in, often white).
  std::optional<bool> HasRealMergedData;
  std::optional<ResourceData> IccProfile;      ///< 1039: the embedded colour profile
  bool IccUntagged = false;                    ///< 1041: the document asks to be shown untagged
  std::optional<ThumbnailResource> Thumbnail;  ///< 1036, else 1033
  std::optional<ResolutionInfo> Resolution;    ///< 1005: 16 bytes or more
  std::optional<ResourceData> Xmp;             ///< 1060: the XMP metadata packet
  /// 1037 and 1049: the document's light for layer effects that use it, in
  /// degrees (the angle of the light, its altitude above the plane).
  std::optional<std::int32_t> GlobalAngle;
  std::optional<std::int32_t> GlobalAltitude;
};

// Walks the blocks of the image-resources section: `section` holds the bytes
// behind its 4-byte length and starts at byte `sectionOffset` of the file.
// Resources are only looked into, never required: a block whose signature is
// not one of the resource signatures, or which does not fit the section, ends
// the walk with what was found before it. Never reads outside `section`.
ImageResources ReadImageResources(std::span<const std::uint8_t> section,
                                  std::int64_t sectionOffset);

}  // namespace plymark
