# Shared by the project's scripts: installs missing Debian packages and builds.

PLYMARK_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
PLYMARK_PACKAGES=(cmake g++ ninja-build qt6-base-dev libgtest-dev zlib1g-dev libdeflate-dev liblcms2-dev
  libgs-common xvfb xauth
  desktop-file-utils appstream shared-mime-info)
# For the Debian package: CPack finds the libraries' packages with dpkg-shlibdeps.
PLYMARK_PACKAGE_PACKAGES=(dpkg-dev file)
# For the measuring scripts (render-agreement, thumbnail-choice): Debian's Python with
# numpy and Pillow.
PLYMARK_MEASURE_PACKAGES=(python3-numpy python3-pil)
# For the library's install test (pkg-config) and the Python module: its
# build, its virtual environment, its tests and its Dask example.
PLYMARK_LIBRARY_PACKAGES=(pkg-config pybind11-dev python3-dev python3-venv python3-pip
  python3-setuptools python3-wheel python3-numpy python3-pytest python3-pil python3-dask
  python3-distributed)
# For the fuzz targets (libFuzzer comes with clang's runtime libraries).
PLYMARK_FUZZ_PACKAGES=(clang libclang-rt-14-dev)

# Installs whichever of the given Debian packages are missing (as root, with
# one apt-get update first); without root it says what to install.
plymark_install() {
  local missing=()
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
      missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "Missing Debian packages: ${missing[*]}" >&2
    echo "Install them with: sudo apt-get install ${missing[*]}" >&2
    return 1
  fi
  echo "Installing ${missing[*]}" >&2
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q >&2
  apt-get install -y -q --no-install-recommends "${missing[@]}" >&2
}

# Configures (once) and builds a build folder; extra arguments go to cmake.
plymark_build() {
  local folder="$1"
  shift
  if [ ! -f "$folder/CMakeCache.txt" ]; then
    cmake -S "$PLYMARK_ROOT" -B "$folder" -G Ninja "$@"
  fi
  cmake --build "$folder" --parallel "$(nproc)"
}
