#include "python/src/Arrays.h"

#include <memory>
#include <vector>

namespace plymark::python {
namespace py = pybind11;

py::array ArrayOf(const Image& image) {
  const int perPixel = BytesPerPixel(image.Format);
  const bool wide = image.Format == PixelFormat::Gray16 || image.Format == PixelFormat::Rgba16;
  const py::ssize_t sample = wide ? 2 : 1;
  const py::ssize_t channels = perPixel / sample;
  const py::dtype type = wide ? py::dtype::of<std::uint16_t>() : py::dtype::of<std::uint8_t>();
  std::vector<py::ssize_t> shape = {image.Height, image.Width};
  std::vector<py::ssize_t> strides = {static_cast<py::ssize_t>(image.RowBytes), perPixel};
  if (channels > 1) {
    shape.push_back(channels);
    strides.push_back(sample);
  }
  if (!image.Pixels) {
    shape[0] = shape[1] = 0;
    return py::array(type, shape);
  }
  // The capsule holds a share of the pixels for as long as the array lives.
  auto* share = new std::shared_ptr<std::uint8_t[]>(image.Pixels);
  const py::capsule owner(
      share, [](void* pointer) { delete static_cast<std::shared_ptr<std::uint8_t[]>*>(pointer); });
  return py::array(type, shape, strides, image.Pixels.get(), owner);
}

}  // namespace plymark::python
