#!/usr/bin/python3
"""Derives corpus files from ImageMagick output by small byte edits.

Usage: /usr/bin/python3 derive.py OUTDIR   (OUTDIR is tests/corpus)
Reads the single-image files that imagemagick.sh leaves in
OUTDIR/document/.single/ and removes that folder:
  * im-flat-*.psd: this ImageMagick writes a lone image as a layer too, so the
    layer and mask section is replaced by an empty one (length 0); header,
    colour-mode data, image resources and merged image stay as written.
  * im-truncated-merged.psd: the file is cut in the middle of the image data
    section (the last section), so the merged image is damaged while the
    layers are whole.
"""
import os
import shutil
import struct
import sys

OUT = sys.argv[1]
SINGLE = os.path.join(OUT, 'document', '.single')


def layer_and_mask_span(d):
    """(offset of the layer and mask length field, offset of the image data)."""
    version = struct.unpack('>H', d[4:6])[0]
    p = 26
    p += 4 + struct.unpack('>I', d[p:p + 4])[0]      # colour-mode data
    p += 4 + struct.unpack('>I', d[p:p + 4])[0]      # image resources
    if version == 2:
        return p, p + 8 + struct.unpack('>Q', d[p:p + 8])[0]
    return p, p + 4 + struct.unpack('>I', d[p:p + 4])[0]


for name in sorted(os.listdir(SINGLE)):
    data = open(os.path.join(SINGLE, name), 'rb').read()
    lm, image_data = layer_and_mask_span(data)
    if name.startswith('im-flat-'):
        data = data[:lm] + b'\0\0\0\0' + data[image_data:]
    elif name == 'im-truncated-merged.psd':
        data = data[:image_data + (len(data) - image_data) // 2]
    else:
        raise SystemExit('derive.py: unexpected file %s' % name)
    with open(os.path.join(OUT, 'document', name), 'wb') as f:
        f.write(data)
shutil.rmtree(SINGLE)
