# Benchmark peer: opens a PSD with psd-tools and draws the document from its layers
# (composite(force=True), which ignores the stored merged image).
# Usage: /usr/bin/python3 psd-tools-composite.py FILE.psd
import sys

from psd_tools import PSDImage

if len(sys.argv) != 2:
    sys.exit('usage: psd-tools-composite.py FILE.psd')
psd = PSDImage.open(sys.argv[1])
psd.composite(force=True)
