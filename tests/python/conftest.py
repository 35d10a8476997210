"""Shared by the Python module's tests: corpus files and their export."""

import os
import pathlib
import subprocess

import pytest

CORPUS = pathlib.Path(os.environ.get("PLYMARK_CORPUS_DIR", pathlib.Path(__file__).parents[1] / "corpus"))

# Every colour mode, depth, compression and layer kind the corpus has, PSB
# and damaged merged images included; the stems are unique.
FILES = [
    "im-rle.psd", "im-gray.psd", "im-indexed.psd", "ag-layers.psd", "im-odd-sizes.psd",
    "colour/im-cmyk.psd", "colour/ag-unicode-names.psd", "deep/im-rle-16.psd",
    "deep/pt-zip-pred-32.psd", "deep/ag-zip.psd", "document/ag-groups.psd",
    "document/ag-masks.psd", "document/pt-no-merged-data.psd",
    "document/im-truncated-merged.psd", "document/im-flat-rgba.psd", "psb/im-rle-8.psb",
    "document/im-bitmap-layer.psd", "document/im-flat-16.psd", "psb/pt-lr16.psb",
    "icc/im-rgb-prophoto-16.psd", "icc/im-rgb-adobergb.psd", "icc/im-cmyk-pscmyk-16.psd",
    "icc/im-gray-lstar-16.psd",
]


@pytest.fixture(scope="session")
def exported(tmp_path_factory):
    """Each file's plymark-export --render folder, by corpus name; skips without the program."""
    program = os.environ.get("PLYMARK_EXPORT")
    if not program:
        pytest.skip("PLYMARK_EXPORT names no plymark-export")
    out = tmp_path_factory.mktemp("export")
    subprocess.run([program, "--quiet", "--render", *[str(CORPUS / f) for f in FILES], str(out)], check=True)
    return {f: out / pathlib.Path(f).stem for f in FILES}
