#pragma once

#include <pybind11/numpy.h>

#include "plymark/Image.h"

namespace plymark::python {

// The picture as a numpy array over its own pixels, without a copy: H x W for
// grey, H x W x 3 or 4 for colour; the array keeps the pixels alive. A
// picture without pixels gives an empty array of the same rank.
pybind11::array ArrayOf(const Image& image);

}  // namespace plymark::python
