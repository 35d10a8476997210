"""The Python module against plymark-export's output of the same files."""

import json
import re
import struct
import threading

import numpy as np
import pytest
from PIL import Image

import plymark
from conftest import CORPUS, FILES


def png(path):
    return np.asarray(Image.open(path))


def settings(block, key_name):
    """A settings dict as layers.json gives it."""
    return block and {key_name: block["key"], "settings": block["settings"]}


def text(block):
    """A text dict as layers.json gives it."""
    colour = lambda c: c and dict(zip(("red", "green", "blue", "alpha"), c))
    return block and {"text": block["text"], "runs": [
        {**run, "color": colour(run["color"])} for run in block["runs"]]}


def narrowed(wide):
    return ((wide.astype(np.uint32) * 255 + 32767) // 65535).astype(np.uint8)


@pytest.mark.parametrize("name", FILES)
def test_every_fact_and_picture_is_the_exports(name, exported):
    folder = exported[name]
    expected = json.loads((folder / "layers.json").read_text())
    document = plymark.open(CORPUS / name)
    header = expected["header"]
    assert (document.width, document.height, document.depth, document.color_mode,
            document.version, document.channels, document.signature) == (
        header["columns"], header["rows"], header["depth"], header["colorMode"],
        header["version"], header["channels"], header["signature"])
    assert (document.color_profile, document.color_managed) == (
        header["colorProfile"], header["colorManaged"])
    assert document.summary == (folder / "summary.txt").read_text().splitlines()
    assert len(document.layers) == len(expected["layers"])
    for layer, facts in zip(document.layers, expected["layers"]):
        assert (layer.index, layer.name, layer.kind, layer.parent, layer.visible, layer.opacity,
                layer.clipping, layer.blend_mode, layer.blend_signature, layer.bbox) == (
            facts["index"], facts["name"], facts["kind"], facts["parent"], facts["visible"],
            facts["opacity"], facts["clipping"], facts["blendKey"], facts["blendSignature"],
            (facts["left"], facts["top"], facts["right"], facts["bottom"]))
        assert layer.channels == [(c["id"], c["compression"], c["length"]) for c in facts["channels"]]
        assert layer.skipped == facts.get("skipped")
        assert (layer.id, text(layer.text), settings(layer.effects, "block"),
                settings(layer.adjustment, "kind"), settings(layer.fill, "kind"),
                layer.block_problems) == (
            facts["id"], facts["text"], facts["effects"], facts["adjustment"], facts["fill"],
            facts.get("blockProblems", []))
        smart = layer.smart_object
        assert (smart and smart["unique_id"]) == (facts["smartObject"] and facts["smartObject"]["uniqueId"])
        if smart and smart["embedded"]:
            assert layer.embedded_file() == (folder / facts["smartObject"]["file"]).read_bytes()
        mask = facts["mask"]
        assert (layer.mask_info is None) == (mask is None)
        if mask is not None:
            assert layer.mask_info["bbox"] == (mask["left"], mask["top"], mask["right"], mask["bottom"])
            assert layer.mask_info["default_color"] == mask["defaultColor"]
            if mask["image"]:
                assert np.array_equal(layer.mask(), png(folder / mask["image"]))
        if facts["image"] is None or layer.kind != "layer":
            continue
        pixels = layer.numpy()
        written = png(folder / facts["image"])
        assert np.array_equal(pixels[..., : written.shape[2]], written), layer
        if written.shape[2] == 3:
            assert (pixels[..., 3] == 255).all()
    merged = document.composite()
    if expected["composite"] is None:
        assert merged is None and document.composite_error == expected["compositeError"]
    else:
        assert np.array_equal(merged, png(folder / "composite.png"))
    resolution = document.resolution
    assert (resolution and {k.replace("_u", "U"): v for k, v in resolution.items()}) == expected["resolution"]
    assert document.xmp == ((folder / expected["xmp"]).read_bytes() if expected["xmp"] else None)
    if expected["rendered"] is None:
        with pytest.raises(plymark.Error, match=re.escape(expected["renderError"])):
            document.render()
    else:
        assert np.array_equal(document.render(), png(folder / "rendered.png"))
        assert document.render_omissions == expected["renderOmissions"]
        longer = max(document.render(reduce_to=16).shape[:2])
        assert min(16, document.width, document.height) <= longer <= max(document.width, document.height)


@pytest.mark.parametrize("name", FILES)
def test_sixteen_bits_narrow_to_the_eight_bit_pictures(name):
    document = plymark.open(CORPUS / name)
    # A profile converts to 8 and 16 bits apart: they may differ by one step.
    tolerance = 1 if document.color_managed else 0
    for layer in document.layers:
        if layer.skipped or layer.kind != "layer":
            continue
        wide = layer.numpy(depth=16)
        assert wide.dtype == np.uint16 and wide.shape == layer.numpy().shape
        difference = np.abs(narrowed(wide).astype(int) - layer.numpy().astype(int))
        assert difference.max(initial=0) <= tolerance, layer
        for plane in ("alpha", "mask"):
            narrow, wide = getattr(layer, plane)(), getattr(layer, plane)(depth=16)
            assert (narrow is None) == (wide is None)
            if narrow is not None:
                assert np.array_equal(narrowed(wide), narrow), (layer, plane)


def test_stored_colours_take_no_profile():
    # CMYK without a profile of its own goes through the default press
    # profile; stored, its inks go through the ink formula.
    document = plymark.open(CORPUS / "colour/im-cmyk.psd")
    assert document.color_managed
    for layer in document.layers:
        left, top, right, bottom = layer.bbox
        inks = np.fromfile(CORPUS / f"colour/im-cmyk.psd.layer-{layer.index}.cmyk.raw", np.uint8)
        inks = inks.reshape(4, bottom - top, right - left).astype(np.uint32)
        formula = np.stack([(inks[c] * inks[3] + 127) // 255 for c in range(3)], axis=-1)
        assert np.array_equal(layer.numpy(colors="stored")[..., :3], formula)
        assert not np.array_equal(layer.numpy()[..., :3], formula)


def test_bytes_and_paths_open_the_same_document_without_copies():
    path = CORPUS / "im-rle.psd"
    from_path = plymark.open(str(path))
    from_bytes = plymark.open(path.read_bytes())
    for a, b in zip(from_path.layers, from_bytes.layers):
        pixels = a.numpy()
        assert not pixels.flags.owndata and pixels.base is not None
        assert np.array_equal(pixels, b.numpy())
    group = plymark.open(CORPUS / "document/ag-groups.psd").layers
    assert next(l for l in group if l.kind == "group").numpy().shape == (0, 0, 4)


def test_failures_are_plymark_errors_in_the_exports_words():
    with pytest.raises(plymark.Error, match="does not look like a PSD or PSB file"):
        plymark.open(b"GIF89a" + bytes(10))
    with pytest.raises(plymark.Error, match="the file cannot be opened: No such file"):
        plymark.open("/nonexistent.psd")
    with pytest.raises(plymark.Error):
        plymark.open(CORPUS / "im-rle.psd").layers[0].numpy(depth=12)


def test_documents_read_on_several_threads_give_the_same_pixels():
    names = ["im-rle.psd", "deep/im-rle-16.psd", "colour/im-cmyk.psd"]
    serial = {n: [l.numpy() for l in plymark.open(CORPUS / n).layers] for n in names}
    shared = plymark.open(CORPUS / "im-rle.psd")
    results = {}

    def read(key, document):
        results[key] = [l.numpy() for l in document.layers]

    threads = [threading.Thread(target=read, args=(n, plymark.open(CORPUS / n))) for n in names]
    threads += [threading.Thread(target=read, args=(f"shared{k}", shared)) for k in range(2)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    for key, pixels in results.items():
        for got, want in zip(pixels, serial.get(key, serial["im-rle.psd"])):
            assert np.array_equal(got, want), key


def test_pillow_helpers():
    document = plymark.open(CORPUS / "document/ag-transparent.psd")
    assert document.to_pil().mode in ("RGB", "RGBA")
    layer = next(l for l in document.layers if l.kind == "layer")
    assert layer.to_pil().size == (layer.bbox[2] - layer.bbox[0], layer.bbox[3] - layer.bbox[1])


def block(key, data):
    return b"8BIM" + key + struct.pack(">I", len(data)) + data


def descriptor(items):
    """A versioned descriptor of class null: {key: (type, value bytes)}."""
    body = struct.pack(">III", 16, 0, 0) + b"null" + struct.pack(">I", len(items))
    return body + b"".join(struct.pack(">I", 0) + k + t + v for k, (t, v) in items.items())


def test_settings_blocks_resolution_and_xmp():
    # One 1 x 1 layer with an id, a solid fill of grey 50, a damaged
    # vibrance block, 72 pixels per inch and an XMP packet.
    grey = struct.pack(">II", 0, 0) + b"Grsc" + struct.pack(">I", 1)
    grey += struct.pack(">I", 0) + b"Gry doub" + struct.pack(">d", 50)
    extra = struct.pack(">II", 0, 0) + b"\x02Hi\x00" + block(b"lyid", struct.pack(">i", 42))
    extra += block(b"SoCo", descriptor({b"Clr ": (b"Objc", grey)})) + block(b"vibA", bytes(4))
    record = struct.pack(">iiiiH", 0, 0, 1, 1, 3) + b"".join(struct.pack(">hI", c, 3) for c in range(3))
    record += b"8BIMnorm" + bytes([255, 0, 0, 0]) + struct.pack(">I", len(extra)) + extra
    layers = struct.pack(">h", 1) + record + struct.pack(">hB", 0, 7) * 3
    layers += bytes(len(layers) % 2)
    resolution = struct.pack(">IHHIHH", 72 << 16, 1, 2, 72 << 16, 1, 2)
    resources = b"8BIM" + struct.pack(">HHI", 1005, 0, 16) + resolution
    resources += b"8BIM" + struct.pack(">HHI", 1060, 0, 4) + b"<x/>"
    file = b"8BPS" + struct.pack(">H6xHIIHHI", 1, 3, 1, 1, 8, 3, 0)
    file += struct.pack(">I", len(resources)) + resources
    file += struct.pack(">II", len(layers) + 8, len(layers)) + layers + struct.pack(">I", 0)
    file += struct.pack(">H", 0) + bytes(3)
    document = plymark.open(file)
    layer = document.layers[0]
    assert (layer.id, layer.text, layer.smart_object, layer.effects, layer.adjustment) == (
        42, None, None, None, None)
    assert layer.fill == {"key": "SoCo", "settings": {
        "_class": "null", "Clr ": {"_class": "Grsc", "Gry ": 50.0}}}
    assert [p[:6] for p in layer.block_problems] == ["vibA: "]
    assert layer.embedded_file() is None
    assert document.resolution == {
        "horizontal": 72.0, "horizontal_unit": "pixelsPerInch", "width_unit": "centimeters",
        "vertical": 72.0, "vertical_unit": "pixelsPerInch", "height_unit": "centimeters"}
    assert document.xmp == b"<x/>"
    assert document.render().shape == (1, 1, 3)
