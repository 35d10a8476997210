# Benchmark peer: exports a PSD with psd-tools as plymark-export does: every layer's pixels
# (layer.topil()) and the document's merged image (psd.topil()) saved as PNG files with Pillow's
# defaults (zlib level 6).
# Usage: /usr/bin/python3 psd-tools-export.py FILE.psd OUTDIR
import os
import sys

from psd_tools import PSDImage

if len(sys.argv) != 3:
    sys.exit('usage: psd-tools-export.py FILE.psd OUTDIR')
psd = PSDImage.open(sys.argv[1])
out = sys.argv[2]
os.makedirs(out, exist_ok=True)
written = 0
for layer in psd.descendants():
    if layer.is_group():
        continue
    image = layer.topil()
    if image is None:
        continue
    image.save(os.path.join(out, 'layer-%d.png' % written))
    written += 1
psd.topil().save(os.path.join(out, 'composite.png'))
