#!/usr/bin/env bash
# Installs a build into a temporary prefix and checks what the desktop reads with
# the desktop's own validators, and the thumbnailer entry, which none knows, by
# hand. Exits 77 (skipped) without them. Usage: install_test.sh BUILD THUMBNAILER
set -uo pipefail
aliases=/usr/share/mime/aliases
for needed in desktop-file-validate appstreamcli "$aliases"; do
  command -v "$needed" >/dev/null || [ -f "$needed" ] ||
    { echo "Skipped: $needed is missing (desktop-file-utils, appstream, shared-mime-info)"; exit 77; }
done
prefix="$(mktemp -d)"
trap 'rm -rf "$prefix"' EXIT
cmake --install "$1" --prefix "$prefix" >/dev/null || exit 1

failed=0
check() { "${@:2}" || { echo "FAIL: $1"; failed=1; }; }
value() { sed -n "s/^$2=//p" "$1"; }
id=io.github.plymark.Plymark
desktop="$prefix/share/applications/$id.desktop"
types="$(value "$desktop" MimeType)"

programs=(plymark plymark-export)
[ "$2" = ON ] && programs+=(plymark-thumbnail)
for program in "${programs[@]}"; do check "bin/$program is installed" test -x "$prefix/bin/$program"; done
check "desktop-file-validate accepts the desktop entry" desktop-file-validate "$desktop"
check "appstreamcli accepts the metainfo" \
  appstreamcli validate --no-net "$prefix/share/metainfo/$id.metainfo.xml"
check "appstreamcli accepts the installed tree" appstreamcli validate-tree --no-net "$prefix"
check "Icon= names the installed icon" \
  test -f "$prefix/share/icons/hicolor/scalable/apps/$(value "$desktop" Icon).svg"
check "the thumbnailer entry runs plymark-thumbnail for the desktop entry's types" \
  test "$(grep -v '^#' "$prefix/share/thumbnailers/plymark.thumbnailer")" = "[Thumbnailer Entry]
TryExec=plymark-thumbnail
Exec=plymark-thumbnail -s %s %i %o
MimeType=$types"
check "MimeType starts with PSD's type" test "${types%%;*}" = image/vnd.adobe.photoshop
IFS=';' read -ra listed <<<"${types#*;}"
for type in "${listed[@]}"; do
  check "$type is an alias of PSD's type in $aliases" grep -qx "$type image/vnd.adobe.photoshop" "$aliases"
done
exit "$failed"
