"""Runs plymark-export over many files and reads back what it wrote."""

import json
import os
import subprocess

import numpy as np
from PIL import Image


def psd_files(folders):
    """Every PSD and PSB in the folders and below, sorted."""
    found = []
    for folder in folders:
        for root, _, names in os.walk(folder):
            found += [os.path.join(root, n) for n in names
                      if n.lower().endswith((".psd", ".psb"))]
    return sorted(found)


def folder_names(files):
    """Each file's folder as plymark-export names it: the name without its
    last extension, with -2, -3, ... where names clash, in the order given."""
    taken, names = set(), []
    for path in files:
        name = os.path.basename(path)
        base = name.rsplit(".", 1)[0] if "." in name else name
        base = base or name
        folder, n = base, 2
        while folder in taken:
            folder, n = f"{base}-{n}", n + 1
        taken.add(folder)
        names.append(folder)
    return names


def export_all(export_bin, files, out, jobs, options=("--render",)):
    """Exports every file into its own folder in `out`; returns the folders
    in the order of `files`."""
    names = folder_names(files)
    if len(files) == 1:
        target = os.path.join(out, names[0])
    else:
        target = out
    subprocess.run([export_bin, "--quiet", *options, "--jobs", str(jobs), *files, target],
                   check=False)
    return [os.path.join(out, name) for name in names]


def layers_json(folder):
    try:
        with open(os.path.join(folder, "layers.json"), encoding="utf-8") as file:
            return json.load(file)
    except (OSError, ValueError):
        return None


def picture(path):
    """An 8-bit RGB or RGBA picture as a height x width x channels array."""
    with Image.open(path) as image:
        mode = "RGBA" if image.mode in ("RGBA", "LA", "PA") or "transparency" in image.info \
            else "RGB"
        return np.asarray(image.convert(mode))
