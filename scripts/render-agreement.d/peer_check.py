"""Whether Debian's psd-tools draws right the files Plymark draws wrong.

Draws each named file with psd-tools' composite(force=True) and measures it
against the merged image that scripts/render-agreement exported, by the same
rule (mean CIEDE2000 <= 1, 95th percentile <= 2.3, flattened over white).

Usage: /usr/bin/python3 peer_check.py AGREEMENT_OUTDIR FILE.psd...
AGREEMENT_OUTDIR is the -o folder of a scripts/render-agreement run; give it
the files that run lists as FAIL.
"""
import os
import sys
import warnings

import numpy as np
from colour_difference import differences
from exports import picture
from psd_tools import PSDImage


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    out = sys.argv[1]
    right = 0
    for path in sys.argv[2:]:
        name = os.path.splitext(os.path.basename(path))[0]
        merged = picture(os.path.join(out, name, "composite.png"))
        with warnings.catch_warnings():
            warnings.simplefilter("ignore")
            drawn = np.asarray(PSDImage.open(path).composite(force=True).convert("RGBA"))
        if merged.shape[2] == 3:
            merged = np.dstack([merged, np.full(merged.shape[:2], 255, np.uint8)])
        d = differences(drawn, merged)
        passes = d.mean() <= 1.0 and np.percentile(d, 95) <= 2.3
        right += passes
        print(f"{name:60} {d.mean():6.2f} {np.percentile(d, 95):6.2f}  "
              f"{'pass' if passes else 'FAIL'}")
    print(f"psd-tools draws {right} of {len(sys.argv) - 2} right")


if __name__ == "__main__":
    main()
