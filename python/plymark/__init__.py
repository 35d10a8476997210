"""Plymark: the layers and merged image of PSD and PSB files as numpy arrays.

    import plymark
    document = plymark.open("scan.psd")
    for layer in document.layers:
        pixels = layer.numpy()      # H x W x 4 uint8, sRGB, at layer.bbox
    merged = document.composite()   # H x W x 3 or 4 uint8, or None
"""

import enum

from ._plymark import Document, Error, Layer, __version__, open

__all__ = ["ColorMode", "Document", "Error", "Layer", "open", "__version__"]


class ColorMode(enum.IntEnum):
    """The colour mode codes of the file header."""

    BITMAP = 0
    GRAYSCALE = 1
    INDEXED = 2
    RGB = 3
    CMYK = 4
    MULTICHANNEL = 7
    DUOTONE = 8
    LAB = 9


def _color_mode(self):
    code = self._color_mode
    try:
        return ColorMode(code)
    except ValueError:
        return code


def _layer_to_pil(self, colors="srgb"):
    """The layer's pixels as a Pillow RGBA image; None for a layer without pixels."""
    from PIL import Image

    pixels = self.numpy(colors=colors)
    return Image.fromarray(pixels, "RGBA") if pixels.size else None


def _document_to_pil(self):
    """The merged image as a Pillow RGB or RGBA image; None when there is none."""
    from PIL import Image

    pixels = self.composite()
    if pixels is None:
        return None
    return Image.fromarray(pixels, "RGBA" if pixels.shape[2] == 4 else "RGB")


Document.color_mode = property(_color_mode, doc="The colour mode, a ColorMode where known.")
Layer.to_pil = _layer_to_pil
Document.to_pil = _document_to_pil
