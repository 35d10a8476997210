#!/usr/bin/env bash
# Writes the ImageMagick part of the PSD interoperability corpus.
# Usage: imagemagick.sh OUTDIR   (OUTDIR is tests/corpus)
# ImageMagick writes the first image of the list as the merged composite and
# every further image as a layer; -page / -set page gives the layer offset.
# "-endian MSB" is needed: without it this ImageMagick writes the blend key of
# some layers byte-reversed ("mron"); im-blend-mron.psd keeps that on purpose.
set -euo pipefail
out=${1:?usage: imagemagick.sh OUTDIR}
mkdir -p "$out" "$out/deep" "$out/colour"
# No property/timestamp chunks, fixed noise seed.
IM=("${CONVERT:-/usr/bin/convert}" -seed 4242)
fin=(-endian MSB -strip)

# Append a flattened composite as the first image (what a PSD reader shows
# when it ignores layers).
composite=(\( -clone 0--1 -background none -flatten \) -insert 0)

# 1. RLE, 8-bit RGB, opaque background, layers with and without alpha, offsets;
#    the merged image has no alpha (3 header channels, positive layer count).
"${IM[@]}" \
  \( -size 64x48 gradient:'#c02040-#2040c0' -set label Background \) \
  \( -size 40x30 plasma:fractal -set label Plasma -set page +10+8 \) \
  \( -size 21x13 radial-gradient:'#ffe000-#00ff0000' -set label Spot -set page +37+29 \) \
  \( -size 9x7 xc:'#20a0a0' -alpha set -channel A -evaluate set 50% +channel -set label Semi -set page +3+35 \) \
  -repage 64x48 \( -clone 0--1 -background none -flatten -alpha off \) -insert 0 \
  "${fin[@]}" -depth 8 -compress RLE "$out/im-rle.psd"

# 2. Raw (uncompressed) channels; no background, so the composite has alpha
#    (4 header channels, negative layer count); a layer hangs off the top-left.
"${IM[@]}" \
  \( -size 40x30 plasma:fractal -set label Plasma -set page +10+8 \) \
  \( -size 21x13 radial-gradient:'#ff2000-#0000ff00' -set label Spot -set page +37+29 \) \
  \( -size 5x4 gradient:yellow-cyan -set label Corner -set page -2-1 \) \
  -repage 64x48 "${composite[@]}" "${fin[@]}" -depth 8 -compress None "$out/im-raw.psd"

# 3. Odd sizes: 1x1, 1xN, Nx1, 300x3, and layers crossing the canvas edges.
"${IM[@]}" \
  \( -size 300x7 gradient:'#102030-#f0e0d0' -set label Wide \) \
  \( -size 1x1 xc:'#ff8000' -set label One -set page +150+3 \) \
  \( -size 1x7 gradient:red-blue -set label Column -set page +299+0 \) \
  \( -size 13x1 gradient:white-black -set label Row -set page +0+6 \) \
  \( -size 300x3 plasma:fractal -set label Strip -set page +0+2 \) \
  \( -size 6x4 xc:magenta -alpha set -channel A -evaluate set 70% +channel -set label OverRight -set page +297+5 \) \
  \( -size 6x4 xc:lime -set label OverLeft -set page -3-2 \) \
  -repage 300x7 "${composite[@]}" "${fin[@]}" -depth 8 -compress RLE "$out/im-odd-sizes.psd"

# 4. Fourteen layers, a mix with and without alpha.
args=(\( -size 48x48 gradient:navy-gold -set label Base \))
for i in $(seq 1 13); do
  x=$(( (i * 7) % 40 )); y=$(( (i * 11) % 40 )); w=$(( 3 + i )); h=$(( 2 + (i * 5) % 9 ))
  if (( i % 3 == 0 )); then
    args+=(\( -size ${w}x${h} radial-gradient:"hsl($((i*27)),90%,50%)-#00000000" -set label "Layer $i" -set page +$x+$y \))
  else
    args+=(\( -size ${w}x${h} plasma:fractal -set label "Layer $i" -set page +$x+$y \))
  fi
done
"${IM[@]}" "${args[@]}" -repage 48x48 "${composite[@]}" "${fin[@]}" -depth 8 -compress RLE "$out/im-14-layers.psd"

# 5. Grayscale, one layer with alpha (ids 0,-1), one without.
"${IM[@]}" \
  \( -size 32x24 gradient:white-black -set label Ramp \) \
  \( -size 20x10 plasma:fractal -set label Noise -set page +6+4 \) \
  \( -size 11x9 radial-gradient:'gray(230)-#00000000' -set label Glow -set page +19+13 \) \
  -repage 32x24 "${composite[@]}" -colorspace Gray "${fin[@]}" -depth 8 -compress RLE "$out/im-gray.psd"

# 6. Indexed colour (colour-mode data holds a 768-byte palette).
"${IM[@]}" \
  \( -size 32x24 gradient:red-blue -set label Ramp \) \
  \( -size 20x10 plasma:fractal -set label Noise -set page +6+4 \) \
  \( -size 7x5 xc:green -set label Patch -set page +2+2 \) \
  -repage 32x24 "${composite[@]}" +dither -colors 16 -type Palette "${fin[@]}" -depth 8 -compress RLE "$out/im-indexed.psd"

# 7. Layer names: UTF-8 bytes in the Pascal string (no luni block), a name of
#    the maximum 255 bytes, and names of every length modulo 4 for padding.
long255=$(printf 'Long name %0245d' 0 | tr 0 x)
"${IM[@]}" \
  \( -size 24x16 gradient:orange-purple -set label "Ünïcødé ✓" \) \
  \( -size 6x5 xc:teal -set label "$long255" -set page +2+2 \) \
  \( -size 4x4 xc:red -set label "A" -set page +10+2 \) \
  \( -size 4x4 xc:green -set label "AB" -set page +14+2 \) \
  \( -size 4x4 xc:blue -set label "ABC" -set page +18+2 \) \
  \( -size 4x4 xc:white -set label "ABCD" -set page +10+8 \) \
  -repage 24x16 "${composite[@]}" "${fin[@]}" -depth 8 -compress RLE "$out/im-names.psd"

# 8. Same kind of file without "-endian MSB": blend keys come out as "mron".
"${IM[@]}" \
  \( -size 16x12 xc:'#4080c0' -set label Flat \) \
  \( -size 8x6 plasma:fractal -set label Plasma -set page +4+3 \) \
  -repage 16x12 "${composite[@]}" -strip -depth 8 -compress RLE "$out/im-blend-mron.psd"

# Deep: 16-bit RLE, ZIP at 8 and 16 bits.
deep_layers=(
  \( -size 48x32 gradient:'#000000-#ffffff' -set label Ramp \)
  \( -size 30x20 plasma:fractal -set label Plasma -set page +9+6 \)
  \( -size 13x11 radial-gradient:'#ff4000-#0000ff00' -set label Spot -set page +33+19 \)
)
"${IM[@]}" "${deep_layers[@]}" -repage 48x32 "${composite[@]}" "${fin[@]}" -depth 16 -compress RLE "$out/deep/im-rle-16.psd"
"${IM[@]}" "${deep_layers[@]}" -repage 48x32 "${composite[@]}" "${fin[@]}" -depth 8 -compress Zip "$out/deep/im-zip-8.psd"
"${IM[@]}" "${deep_layers[@]}" -repage 48x32 "${composite[@]}" "${fin[@]}" -depth 16 -compress Zip "$out/deep/im-zip-16.psd"

# Colour: CMYK, and indexed through -remap with a fixed 8-colour palette image.
"${IM[@]}" "${deep_layers[@]}" -repage 48x32 "${composite[@]}" -colorspace CMYK "${fin[@]}" -depth 8 -compress RLE "$out/colour/im-cmyk.psd"
pal=$(mktemp --suffix=.png)
"${IM[0]}" xc:black xc:white xc:red xc:lime xc:blue xc:yellow xc:cyan xc:'#804020' +append -strip "$pal"
"${IM[@]}" "${deep_layers[@]}" -repage 48x32 "${composite[@]}" +dither -remap "$pal" -type Palette "${fin[@]}" -depth 8 -compress RLE "$out/colour/im-remap.psd"
rm -f "$pal"

# ---------------------------------------------------------------------------
# PSB (file header version 2) through the "PSB:" output prefix.
mkdir -p "$out/psb" "$out/document"
psb_layers=(
  \( -size 48x32 gradient:'#c02040-#2040c0' -set label Background \)
  \( -size 30x20 plasma:fractal -set label Plasma -set page +9+6 \)
  \( -size 13x11 radial-gradient:'#ff4000-#0000ff00' -set label Spot -set page +33+19 \)
  \( -size 9x7 xc:'#20a0a0' -alpha set -channel A -evaluate set 50% +channel -set label Semi -set page +3+22 \)
  \( -size 6x5 gradient:yellow-cyan -set label Corner -set page -2-1 \)
)
opaque_composite=(\( -clone 0--1 -background none -flatten -alpha off \) -insert 0)
"${IM[@]}" "${psb_layers[@]}" -repage 48x32 "${opaque_composite[@]}" "${fin[@]}" -depth 8 -compress RLE "PSB:$out/psb/im-rle-8.psb"
"${IM[@]}" "${psb_layers[@]}" -repage 48x32 "${opaque_composite[@]}" "${fin[@]}" -depth 16 -compress RLE "PSB:$out/psb/im-rle-16.psb"
"${IM[@]}" "${psb_layers[@]}" -repage 48x32 "${opaque_composite[@]}" "${fin[@]}" -depth 8 -compress Zip "PSB:$out/psb/im-zip-8.psb"
"${IM[@]}" "${psb_layers[@]}" -repage 48x32 "${composite[@]}" -colorspace Gray "${fin[@]}" -depth 8 -compress RLE "PSB:$out/psb/im-gray.psb"
"${IM[@]}" "${psb_layers[@]}" -repage 48x32 "${composite[@]}" -colorspace CMYK "${fin[@]}" -depth 8 -compress RLE "PSB:$out/psb/im-cmyk.psb"

# ---------------------------------------------------------------------------
# Whole documents. This ImageMagick writes every image of the list as a layer
# (a lone image too), so it cannot write a file without layers: the im-flat-*
# files are made by derive.py from the single-image files written here into
# $out/document/.single/ (removed again by derive.py). "-compose Over" after
# the Overlay: this ImageMagick writes the image's compose setting as the
# layer's blend key ("over" would otherwise end up in im-bitmap-layer.psd).
single=$out/document/.single
mkdir -p "$single"
flat_src=(\( -size 40x28 gradient:'#d06010-#1060d0' \) \( -size 40x28 plasma:fractal \) -compose Overlay -composite -compose Over)
"${IM[@]}" "${flat_src[@]}" "${fin[@]}" -depth 8 -compress RLE "$single/im-flat-rgb.psd"
"${IM[@]}" "${flat_src[@]}" -colorspace Gray "${fin[@]}" -depth 8 -compress RLE "$single/im-flat-gray.psd"
"${IM[@]}" "${flat_src[@]}" +dither -colors 16 -type Palette "${fin[@]}" -depth 8 -compress RLE "$single/im-flat-indexed.psd"
"${IM[@]}" "${flat_src[@]}" -monochrome -depth 1 "${fin[@]}" -compress RLE "$single/im-flat-bitmap.psd"
"${IM[@]}" "${flat_src[@]}" \( -size 40x28 radial-gradient:white-black \) -alpha off -compose CopyOpacity -composite "${fin[@]}" -depth 8 -compress RLE "$single/im-flat-rgba.psd"
"${IM[@]}" "${flat_src[@]}" "${fin[@]}" -depth 16 -compress RLE "$single/im-flat-16.psd"
# The bitmap file as written, with its one 1-bit layer.
"${IM[@]}" "${flat_src[@]}" -monochrome -depth 1 "${fin[@]}" -compress RLE "$out/document/im-bitmap-layer.psd"
# Layered RLE file whose merged image derive.py cuts short.
"${IM[@]}" "${psb_layers[@]}" -repage 48x32 "${opaque_composite[@]}" "${fin[@]}" -depth 8 -compress RLE "$single/im-truncated-merged.psd"
/usr/bin/python3 "$(dirname "$0")/derive.py" "$out"
