#pragma once

// What libplymark exports: the library is built with hidden symbols, and only
// what carries PLYMARK_API is seen by the programs that link it.
#define PLYMARK_API __attribute__((visibility("default")))

// The library's version. A release that changes the binary interface gives a
// new major number, a new soname (libplymark.so.<major>) and a new inline
// namespace (v<major>) for every symbol.
#define PLYMARK_VERSION_MAJOR 0
#define PLYMARK_VERSION_MINOR 1
#define PLYMARK_VERSION_PATCH 0
