#pragma once

#include <cstddef>

namespace plymark {

// Has the system supply the memory of a fresh, untouched buffer at once, half
// of it on a second thread. The first touch of new memory costs more than
// anything the decoder does with it (the kernel zeroes every page, and under
// a hypervisor the host may have to back it first), so large buffers share
// that cost between two cores. The bytes are left zero.
void PrefaultInParallel(void* data, std::size_t bytes);

}  // namespace plymark
