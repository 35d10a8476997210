#!/usr/bin/python3
"""Writes the psd-tools part of the PSD interoperability corpus.

Usage: /usr/bin/python3 psdtools_write.py OUTDIR
Uses Debian's python3-psd-tools low-level records (psd_tools.psd) to build
files that the other writers cannot make: ZIP with prediction (compression 3)
at 8, 16 and 32 bits, 16/32-bit layers stored the way Photoshop stores them
(in an 'Lr16'/'Lr32' block after an empty layer info), channels stored in an
unusual order with a different compression per channel, and a file with no
layer section at all.
"""
import os
import sys

import numpy as np
from PIL import Image
from psd_tools import PSDImage
from psd_tools.constants import (BlendMode, ChannelID, ColorMode, Compression,
                                 Resource, Tag)
from psd_tools.psd import PSD
from psd_tools.psd.color_mode_data import ColorModeData
from psd_tools.psd.header import FileHeader
from psd_tools.psd.image_data import ImageData
from psd_tools.psd.image_resources import ImageResources
from psd_tools.psd.layer_and_mask import (ChannelData, ChannelDataList,
                                          ChannelImageData, ChannelInfo,
                                          GlobalLayerMaskInfo,
                                          LayerAndMaskInformation, LayerInfo,
                                          LayerInfoBlock, LayerRecord,
                                          LayerRecords)
from psd_tools.psd.tagged_blocks import TaggedBlock, TaggedBlocks

OUT = sys.argv[1]


def planes(w, h, seed, alpha):
    """Float RGBA planes in 0..1: gradient plus noise; alpha ramp if asked."""
    rs = np.random.RandomState(seed)
    y, x = np.mgrid[0:h, 0:w].astype(np.float64)
    fx = x / max(w - 1, 1)
    fy = y / max(h - 1, 1)
    r = np.clip(0.85 * fx + 0.15 * rs.rand(h, w), 0, 1)
    g = np.clip(0.85 * fy + 0.15 * rs.rand(h, w), 0, 1)
    b = np.clip(0.5 + 0.4 * np.sin(7 * fx + 5 * fy + seed) + 0.1 * rs.rand(h, w), 0, 1)
    a = np.clip(1.0 - 0.9 * fx + 0.05 * rs.rand(h, w), 0, 1) if alpha else np.ones((h, w))
    return {0: r, 1: g, 2: b, -1: a}


def encode(plane, depth):
    if depth == 8:
        return np.round(plane * 255).astype('>u1').tobytes()
    if depth == 16:
        return np.round(plane * 65535).astype('>u2').tobytes()
    return plane.astype('>f4').tobytes()


def layer(name, top, left, w, h, seed, alpha, order, compressions, depth, version=1):
    """Returns (LayerRecord, ChannelDataList, float planes)."""
    p = planes(w, h, seed, alpha)
    infos, datas = [], ChannelDataList()
    for cid, comp in zip(order, compressions):
        cd = ChannelData(compression=comp)
        cd.set_data(encode(p[cid], depth), w, h, depth, version)
        infos.append(ChannelInfo(id=ChannelID(cid), length=0))
        datas.append(cd)
    rec = LayerRecord(top=top, left=left, bottom=top + h, right=left + w,
                      channel_info=infos, blend_mode=BlendMode.NORMAL,
                      name=name, tagged_blocks=TaggedBlocks())
    return rec, datas, (top, left, p if alpha else {k: v for k, v in p.items() if k != -1})


def composite(W, H, layers):
    """Plain 'normal' over-compositing of the layers, bottom first."""
    out = np.zeros((3, H, W))
    for top, left, p in layers:
        h, w = p[0].shape
        y0, y1 = max(top, 0), min(top + h, H)
        x0, x1 = max(left, 0), min(left + w, W)
        if y0 >= y1 or x0 >= x1:
            continue
        sl = (slice(y0 - top, y1 - top), slice(x0 - left, x1 - left))
        a = p.get(-1, np.ones_like(p[0]))[sl]
        for c in range(3):
            out[c, y0:y1, x0:x1] = p[c][sl] * a + out[c, y0:y1, x0:x1] * (1 - a)
    return out


def build(path, depth, W, H, layer_defs, style, image_compression=Compression.RAW,
          version=1, real_merged=True):
    """version 2 writes a PSB; real_merged=False stores a white merged image
    and says so in the version-info resource (1057), as a file saved
    without its merged image."""
    recs, chans, pix = LayerRecords(), ChannelImageData(), []
    for layer_def in layer_defs:
        rec, datas, px = layer(*layer_def, depth=depth, version=version)
        recs.append(rec)
        chans.append(datas)
        pix.append(px)
    header = FileHeader(version=version, channels=3, height=H, width=W, depth=depth,
                        color_mode=ColorMode.RGB)
    info = LayerInfo(layer_count=len(recs), layer_records=recs,
                     channel_image_data=chans)
    if style == 'plain':
        lm = LayerAndMaskInformation(layer_info=info,
                                     global_layer_mask_info=GlobalLayerMaskInfo())
    else:
        key = Tag.LAYER_16 if depth == 16 else Tag.LAYER_32
        block = LayerInfoBlock(layer_count=len(recs), layer_records=recs,
                               channel_image_data=chans)
        blocks = TaggedBlocks()
        blocks[key] = TaggedBlock(key=key, data=block)
        lm = LayerAndMaskInformation(layer_info=LayerInfo(layer_count=0),
                                     global_layer_mask_info=GlobalLayerMaskInfo(),
                                     tagged_blocks=blocks)
    comp = composite(W, H, pix) if real_merged else np.ones((3, H, W))
    resources = ImageResources.new()
    if not real_merged:
        resources[Resource.VERSION_INFO].data.has_composite = False
    image_data = ImageData(compression=image_compression)
    image_data.set_data([encode(comp[c], depth) for c in range(3)], header)
    psd = PSD(header=header, color_mode_data=ColorModeData(),
              image_resources=resources,
              layer_and_mask_information=lm, image_data=image_data)
    with open(path, 'wb') as f:
        psd.write(f)


RGB = [0, 1, 2]
RGBA_PS = [-1, 0, 1, 2]  # Photoshop's usual order: transparency first
Z3 = Compression.ZIP_WITH_PREDICTION


def deep_layer_defs():
    # name, top, left, w, h, seed, alpha, order, compressions
    return [
        ('Background', 0, 0, 40, 30, 1, False, RGB, [Z3] * 3),
        ('Ramp alpha', 6, 9, 23, 17, 2, True, RGBA_PS, [Z3] * 4),
        ('Odd 1x7', 20, 37, 1, 7, 3, True, RGBA_PS, [Z3] * 4),
        ('Off edge', -3, 33, 11, 5, 4, False, RGB, [Z3] * 3),
    ]


os.makedirs(os.path.join(OUT, 'deep'), exist_ok=True)
build(os.path.join(OUT, 'deep', 'pt-zip-pred-8.psd'), 8, 40, 30, deep_layer_defs(), 'plain',
      Compression.RLE)
build(os.path.join(OUT, 'deep', 'pt-zip-pred-16.psd'), 16, 40, 30, deep_layer_defs(), 'block')
build(os.path.join(OUT, 'deep', 'pt-zip-pred-32.psd'), 32, 40, 30, deep_layer_defs(), 'block')
build(os.path.join(OUT, 'deep', 'pt-zip-pred-16-plain.psd'), 16, 40, 30, deep_layer_defs()[:2], 'plain')

# Channel ids out of order and a different compression per channel.
R, L, Z2 = Compression.RAW, Compression.RLE, Compression.ZIP
build(os.path.join(OUT, 'pt-channel-order.psd'), 8, 32, 24, [
    ('Shuffled', 0, 0, 32, 24, 11, False, [2, 0, 1], [L, R, Z2]),
    ('Alpha last, mixed', 4, 5, 17, 11, 12, True, [1, 2, 0, -1], [Z3, L, R, Z2]),
    ('Alpha in the middle', 13, 20, 9, 8, 13, True, [0, -1, 2, 1], [R, Z3, Z2, L]),
], 'plain', Compression.RLE)

# No layer section (the layer and mask section has length 0).
rs = np.random.RandomState(5)
y, x = np.mgrid[0:19, 0:29]
arr = np.stack([x * 8, y * 12, (rs.rand(19, 29) * 255)], axis=-1).clip(0, 255).astype(np.uint8)
PSDImage.frompil(Image.fromarray(arr, 'RGB'), compression=Compression.RLE).save(
    os.path.join(OUT, 'pt-no-layers.psd'))

# PSB (file header version 2): 8-byte section, layer info and channel lengths,
# 4-byte RLE row byte counts, and an 8-byte length for the "Lr16" block.
os.makedirs(os.path.join(OUT, 'psb'), exist_ok=True)
build(os.path.join(OUT, 'psb', 'pt-lr16.psb'), 16, 40, 30, [
    ('Background', 0, 0, 40, 30, 91, False, RGB, [L] * 3),
    ('Ramp alpha', 6, 9, 23, 17, 92, True, RGBA_PS, [Z3] * 4),
    ('Odd 1x7', 20, 37, 1, 7, 93, True, RGBA_PS, [L] * 4),
    ('Off edge', -3, 33, 11, 5, 94, False, RGB, [R, L, Z2]),
], 'block', Compression.RLE, version=2)
build(os.path.join(OUT, 'psb', 'pt-rle-8.psb'), 8, 32, 24, [
    ('Background', 0, 0, 32, 24, 95, False, RGB, [L] * 3),
    ('Alpha first', 4, 5, 17, 11, 96, True, RGBA_PS, [L] * 4),
    ('Raw and ZIP', 13, 20, 9, 8, 97, True, [0, -1, 2, 1], [R, Z3, Z2, L]),
], 'plain', Compression.RLE, version=2)

# Whole documents: flat files from PSDImage.frompil (no layer and mask
# section, RLE merged image) and a layered file whose merged image is not real.
os.makedirs(os.path.join(OUT, 'document'), exist_ok=True)
rs = np.random.RandomState(7)
y, x = np.mgrid[0:22, 0:34]
flat = np.stack([x * 7, y * 11, rs.rand(22, 34) * 255, 255 - np.hypot(x - 17, y - 11) * 14],
                axis=-1).clip(0, 255).astype(np.uint8)
PSDImage.frompil(Image.fromarray(flat[:, :, :3], 'RGB'), compression=Compression.RLE).save(
    os.path.join(OUT, 'document', 'pt-flat-rgb.psd'))
PSDImage.frompil(Image.fromarray(flat[:, :, 0] // 2 + flat[:, :, 2] // 2, 'L'),
                 compression=Compression.RLE).save(os.path.join(OUT, 'document', 'pt-flat-gray.psd'))
PSDImage.frompil(Image.fromarray(flat, 'RGBA'), compression=Compression.RLE).save(
    os.path.join(OUT, 'document', 'pt-flat-rgba.psd'))
build(os.path.join(OUT, 'document', 'pt-no-merged-data.psd'), 8, 32, 24, [
    ('Background', 0, 0, 32, 24, 101, False, RGB, [L] * 3),
    ('Ramp alpha', 4, 5, 17, 11, 102, True, RGBA_PS, [L] * 4),
], 'plain', Compression.RLE, real_merged=False)
