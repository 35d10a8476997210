#!/usr/bin/env bash
# Installs a build into a temporary prefix, moves the installed tree elsewhere
# (every installed path is relative to the prefix), then builds a tiny program
# against it with pkg-config and with CMake's find_package(Plymark), and runs
# both on a PSD file. Every public header compiles alone.
# Usage: library_install_test.sh BUILD PSD
set -euo pipefail
build="$1"
psd="$2"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cmake --install "$build" --prefix "$work/installed" >/dev/null
mv "$work/installed" "$work/prefix"
prefix="$work/prefix"
library="$(find "$prefix" -name 'libplymark.so.*.*.*')"
libdir="$(dirname "$library")"
soname="$(readelf -d "$library" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')"
[ "$soname" = libplymark.so.0 ] || { echo "FAIL: soname is '$soname'"; exit 1; }
[ "$(readlink "$libdir/libplymark.so")" = libplymark.so.0 ] || { echo "FAIL: no development link"; exit 1; }

for header in "$prefix"/include/plymark/*.h; do
  echo "#include <plymark/$(basename "$header")>" |
    c++ -std=c++20 -fsyntax-only -Wall -Wextra -Werror -I"$prefix/include" -x c++ - ||
    { echo "FAIL: $header does not compile alone"; exit 1; }
done

cat >"$work/count.cpp" <<'CPP'
#include <plymark/plymark.h>

#include <iostream>

int main(int, char** argv) {
  try {
    const plymark::Document document = plymark::Document::Open(argv[1]);
    std::cout << document.LayerCount() << " layers, the first "
              << document.LayerAt(0).Pixels().Width << " pixels wide\n";
  } catch (const plymark::Error& error) {
    std::cerr << error.what() << "\n";
    return 1;
  }
}
CPP
cat >"$work/CMakeLists.txt" <<'CMAKE'
cmake_minimum_required(VERSION 3.20)
project(count CXX)
find_package(Plymark 0.1 REQUIRED)
add_executable(by-cmake count.cpp)
target_link_libraries(by-cmake PRIVATE Plymark::plymark)
CMAKE

export PKG_CONFIG_PATH="$libdir/pkgconfig"
# shellcheck disable=SC2046 # pkg-config gives several words
c++ "$work/count.cpp" -o "$work/by-pkg-config" $(pkg-config --cflags --libs plymark) \
  -Wl,-rpath,"$libdir"
cmake -S "$work" -B "$work/build" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/build" >/dev/null

expected="$("$work/by-pkg-config" "$psd")"
[ "$("$work/build/by-cmake" "$psd")" = "$expected" ] || { echo "FAIL: the programs differ"; exit 1; }
echo "$expected"
