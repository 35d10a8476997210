#!/usr/bin/env bash
# Installs a build into a temporary prefix and checks what the desktop reads:
# the desktop entry and the metainfo with the desktop's own validators, the
# thumbnailer entry (which no validator knows) key by key. Exits 77, which
# CTest counts as skipped, when a validator is missing.
# Usage: install_test.sh BUILD VERSION THUMBNAILER(ON|OFF)
set -euo pipefail
build="$1" version="$2" thumbnailer_built="$3"
id=io.github.plymark.Plymark

for tool in desktop-file-validate:desktop-file-utils appstreamcli:appstream; do
  if ! command -v "${tool%%:*}" >/dev/null; then
    echo "Skipped: ${tool%%:*} is missing (Debian package ${tool#*:}; scripts/test installs it)"
    exit 77
  fi
done

prefix="$(mktemp -d)"
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
# The value of KEY in an entry file, empty when it is missing.
value() { sed -n "s/^$2=//p" "$1"; }

desktop="$prefix/share/applications/$id.desktop"
metainfo="$prefix/share/metainfo/$id.metainfo.xml"
thumbnailer="$prefix/share/thumbnailers/plymark.thumbnailer"
programs=(plymark plymark-export)
[ "$thumbnailer_built" = ON ] && programs+=(plymark-thumbnail)
for program in "${programs[@]}"; do
  [ -x "$prefix/bin/$program" ] || fail "bin/$program is not installed"
done
for file in "$desktop" "$metainfo" "$thumbnailer" \
  "$prefix/share/icons/hicolor/scalable/apps/$id.svg"; do
  [ -f "$file" ] || fail "${file#"$prefix"/} is not installed"
done
[ "$failures" -eq 0 ] || exit 1

# The installed viewer answers without a display.
[ "$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$prefix/bin/plymark" --version)" = \
  "plymark $version" ] || fail "plymark --version does not print plymark $version"

desktop-file-validate "$desktop" || fail "desktop-file-validate rejects the desktop entry"
appstreamcli validate-tree --no-net "$prefix" || fail "appstreamcli rejects the installed metainfo"
[ "$(value "$desktop" Icon)" = "$id" ] || fail "Icon= does not name the installed icon"
[ "$(value "$desktop" Exec)" = "plymark %f" ] || fail "Exec= does not pass one file"

# The thumbnailer entry: one group of three keys, for the viewer's types.
[ "$(grep -v '^#' "$thumbnailer" | grep -c '^\[')" -eq 1 ] &&
  [ "$(grep -v '^#' "$thumbnailer" | head -n 1)" = "[Thumbnailer Entry]" ] ||
  fail "the thumbnailer entry is not one [Thumbnailer Entry] group"
[ "$(grep -c '=' "$thumbnailer")" -eq 3 ] || fail "the thumbnailer entry has other keys"
[ "$(value "$thumbnailer" TryExec)" = plymark-thumbnail ] || fail "TryExec= is wrong"
[ "$(value "$thumbnailer" Exec)" = "plymark-thumbnail -s %s %i %o" ] || fail "Exec= is wrong"
types="$(value "$thumbnailer" MimeType)"
[ "$types" = "$(value "$desktop" MimeType)" ] ||
  fail "the thumbnailer and the desktop entry name different types"

# Every type is PSD's own type or one of its aliases in the MIME database.
mime=/usr/share/mime
if [ -f "$mime/aliases" ]; then
  [[ "$types" == image/vnd.adobe.photoshop\;* ]] || fail "MimeType does not start with PSD's type"
  IFS=';' read -ra listed <<<"$types"
  for type in "${listed[@]:1}"; do
    grep -qx "$type image/vnd.adobe.photoshop" "$mime/aliases" ||
      fail "$type is no alias of image/vnd.adobe.photoshop in $mime/aliases"
  done
else
  echo "Note: $mime/aliases is missing (shared-mime-info); the types were not looked up"
fi

[ "$failures" -eq 0 ] && echo "The installed desktop files validate."
[ "$failures" -eq 0 ]
