"""The README's Dask example, run on a local cluster of two worker processes."""

import pathlib
import re
import shutil

import numpy as np
import pytest
from PIL import Image

import plymark
from conftest import CORPUS

README = pathlib.Path(__file__).parents[2] / "README.md"


def readme_example():
    """The README's Python block that converts a folder tree with dask.bag."""
    blocks = re.findall(r"```python\n(.*?)```", README.read_text(), re.S)
    code = next(block for block in blocks if "dask.bag" in block)
    namespace = {"__name__": "readme_example"}
    # Not the README's own name: Dask looks up the caller's source by its lines.
    exec(compile(code, "<README's Dask example>", "exec"), namespace)
    return namespace


def test_a_folder_tree_converts_on_two_workers(tmp_path):
    distributed = pytest.importorskip("distributed")
    source, target = tmp_path / "scans", tmp_path / "scans-png"
    names = ["im-rle.psd", "deep/im-rle-16.psd", "document/ag-groups.psd", "icc/im-cmyk-pscmyk.psd"]
    for name in names:
        (source / name).parent.mkdir(parents=True, exist_ok=True)
        shutil.copy(CORPUS / name, source / name)
    example = readme_example()
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                  dashboard_address=None) as cluster, distributed.Client(cluster):
        layers = example["export_tree"](str(source), str(target))
    assert layers == sum(len(plymark.open(source / n).layers) for n in names)
    for name in names:
        document = plymark.open(source / name)
        folder = target / pathlib.Path(name).with_suffix("")
        for layer in document.layers:
            written = folder / f"layer-{layer.index}.png"
            if layer.numpy().size:
                assert np.array_equal(np.asarray(Image.open(written)), layer.numpy())
            else:
                assert not written.exists()
        assert (folder / "composite.png").exists() == (document.composite() is not None)
