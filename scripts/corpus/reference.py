#!/usr/bin/python3
"""Writes reference outputs beside every PSD of the corpus, using Debian's
python3-psd-tools as the third-party reader, and the corpus README.

Usage: /usr/bin/python3 reference.py CORPUS_DIR

For each <file>.psd: <file>.json (header, layer records, channel ids in
stored order with compression codes, reference file names) and per layer i of
non-zero size <file>.layer-<i>.png (8-bit RGB, R,G,B = channel ids 0,1,2;
grayscale and indexed: channel 0 in all three), <file>.layer-<i>.alpha.png
(channel id -1, 8-bit gray) when the layer has one, <file>.layer-<i>.palette.png
for indexed files, and <file>.layer-<i>.cmyk.raw for CMYK files.
Layer index i is the position in the stored layer records (bottom-most first).
Files in psb/ and document/ (.psd and .psb) also get the merged image
(<file>.composite.png), user masks (<file>.layer-<i>.mask.png), the group
tree, clipping, blend keys and mask rectangles per layer, and an own walk of
the byte layout (reference_document.py); the older files' references stay as
they were.
"""
import io
import json
import os
import struct
import sys

import numpy as np
from PIL import Image
from psd_tools import PSDImage
from psd_tools.constants import ChannelID, ColorMode, Tag

import reference_document as document

CORPUS = sys.argv[1]

# file -> (writer, what it covers)
MANIFEST = {
    'im-rle.psd': ('ImageMagick', 'RLE, 8-bit RGB, opaque background layer (no channel -1), layers with -1 stored last, layers offset from the origin, merged image without alpha (3 header channels, positive layer count)'),
    'im-raw.psd': ('ImageMagick', 'raw (compression 0) channels, merged image with alpha (4 header channels, negative layer count), a layer hanging off the top-left (negative offsets)'),
    'im-odd-sizes.psd': ('ImageMagick', '300x7 canvas; layers of 1x1, 1x7, 13x1, 300x3 and 300x7; layers crossing the right and left/top canvas edges'),
    'im-14-layers.psd': ('ImageMagick', '14 layers (more than twelve), some with channel -1 last, some without'),
    'im-gray.psd': ('ImageMagick', 'grayscale, layer with ids 0 only and layers with 0,-1'),
    'im-indexed.psd': ('ImageMagick', 'indexed colour (-colors 16 -type Palette): colour-mode data with a 768-byte palette, one channel (id 0) per layer'),
    'im-names.psd': ('ImageMagick', 'layer names: raw UTF-8 in the Pascal string (no luni block), a 255-byte name, names of length 1..4 for padding'),
    'im-blend-mron.psd': ('ImageMagick', 'written without -endian MSB: blend keys stored as "mron" instead of "norm" (psd-tools rejects the file as is; references come from a copy with the keys patched)'),
    'ag-layers.psd': ('ag-psd', '14 layers: opaque bottom layer without -1, -1 stored FIRST elsewhere, 1x1, 1x11, 11x1, a 300x3 layer wider than the canvas, layers off every edge, a zero-size layer, a hidden layer, a 300-character name (Pascal name cut to 255, full name in luni)'),
    'ag-no-children.psd': ('ag-psd', 'document with no children: ag-psd still writes one nameless 0x0 layer whose four channels are empty raw channels'),
    'pt-channel-order.psd': ('psd-tools (low-level records)', 'channel ids stored out of order (2,0,1 / 1,2,0,-1 / 0,-1,2,1) and a different compression per channel (raw, RLE, ZIP, ZIP with prediction) in one layer'),
    'pt-no-layers.psd': ('psd-tools (PSDImage.frompil)', 'no layers: the layer and mask section has length 0; merged image only (RLE)'),
    'deep/im-rle-16.psd': ('ImageMagick', '16-bit RLE layers (-depth 16), -1 last on the alpha layer'),
    'deep/im-zip-8.psd': ('ImageMagick', 'ZIP without prediction (compression 2) at 8 bits; merged image stays RLE'),
    'deep/im-zip-16.psd': ('ImageMagick', 'ZIP without prediction (compression 2) at 16 bits; merged image stays RLE'),
    'deep/ag-zip.psd': ('ag-psd', 'ZIP without prediction (compression 2, ag-psd "compress" option), -1 first'),
    'deep/pt-zip-pred-8.psd': ('psd-tools (low-level records)', 'ZIP with prediction (compression 3) at 8 bits, layers in the layer info section'),
    'deep/pt-zip-pred-16.psd': ('psd-tools (low-level records)', 'ZIP with prediction at 16 bits, layers stored the Photoshop way: empty layer info, layers in an "Lr16" block'),
    'deep/pt-zip-pred-16-plain.psd': ('psd-tools (low-level records)', 'ZIP with prediction at 16 bits, layers in the layer info section itself'),
    'deep/pt-zip-pred-32.psd': ('psd-tools (low-level records)', 'ZIP with prediction at 32 bits (float, byte planes shuffled before the delta), layers in an "Lr32" block'),
    'colour/im-cmyk.psd': ('ImageMagick', 'CMYK (-colorspace CMYK), channel ids 0..3 and -1 last; stored values are inverted (255 = no ink)'),
    'colour/im-remap.psd': ('ImageMagick', 'indexed colour through -remap with an 8-colour palette image (palette padded to 256 entries)'),
    'colour/ag-unicode-names.psd': ('ag-psd', 'non-ASCII layer names only right in the luni block (Pascal name has "?"), incl. CJK and an emoji outside the BMP (UTF-16 surrogate pair)'),
    'psb/im-rle-8.psb': ('ImageMagick', 'PSB (PSB: prefix): RLE with 4-byte row counts, opaque background, layers with -1 last, a 50% alpha layer, offsets incl. negative, no tagged blocks at all'),
    'psb/im-rle-16.psb': ('ImageMagick', 'PSB, 16-bit RLE layers and merged image, 4-byte row counts'),
    'psb/im-zip-8.psb': ('ImageMagick', 'PSB, ZIP without prediction (compression 2) for the layers; merged image stays RLE'),
    'psb/im-gray.psb': ('ImageMagick', 'PSB, grayscale: layers with ids 0 and 0,-1; merged image with alpha (2 header channels, negative layer count)'),
    'psb/im-cmyk.psb': ('ImageMagick', 'PSB, CMYK: ids 0..3 and -1 last, inverted ink values; merged image with alpha (5 header channels); layer info length one too big'),
    'psb/ag-layers.psb': ('ag-psd', 'PSB (psb: true): -1 first, opaque bottom layer without -1, a hidden layer, non-ASCII names in luni (Pascal name "?"), one layer in an open group (divider record and group record)'),
    'psb/pt-lr16.psb': ('psd-tools (low-level records)', 'PSB, 16-bit layers in an "Lr16" block with an 8-byte length after an empty 8-byte layer info; RLE (4-byte row counts), ZIP with prediction, raw and ZIP channels; RLE merged image'),
    'psb/pt-rle-8.psb': ('psd-tools (low-level records)', 'PSB, 8-bit layers in the layer info: RLE with 4-byte row counts, -1 first, one layer with ids out of order and raw / ZIP / ZIP with prediction / RLE channels'),
    'document/ag-groups.psd': ('ag-psd', 'nested groups: an open group holding a closed group, a hidden group, a hidden layer, opacity 128, a clipped layer (clipping byte 1), a multiply layer; merged image composited by the corpus script'),
    'document/ag-masks.psd': ('ag-psd', 'user masks (channel -2) with their own rectangles: default colour 0 and 255, a mask rectangle reaching past its layer and the canvas, a masked layer inside a group; merged image composited by the corpus script'),
    'document/ag-transparent.psd': ('ag-psd', 'no opaque layer: merged image with transparency (4 header channels, negative layer count), half-transparent pixels matted against white by ag-psd; opacity 128'),
    'document/im-flat-rgb.psd': ('ImageMagick (layer section emptied by derive.py)', 'flat RGB: layer and mask section of length 0, merged image only (RLE)'),
    'document/im-flat-gray.psd': ('ImageMagick (layer section emptied by derive.py)', 'flat grayscale, merged image only (RLE)'),
    'document/im-flat-indexed.psd': ('ImageMagick (layer section emptied by derive.py)', 'flat indexed colour (-colors 16 -type Palette): 768-byte palette, merged image of indices'),
    'document/im-flat-bitmap.psd': ('ImageMagick (layer section emptied by derive.py)', 'flat bitmap (-monochrome -depth 1): colour mode 0, depth 1, RLE rows of packed bits (1 = black)'),
    'document/im-flat-rgba.psd': ('ImageMagick (layer section emptied by derive.py)', 'flat RGB with transparency: 4 header channels, the 4th is the alpha of the merged image; colour stored straight (not matted)'),
    'document/im-flat-16.psd': ('ImageMagick (layer section emptied by derive.py)', 'flat 16-bit RGB, merged image only (RLE)'),
    'document/im-bitmap-layer.psd': ('ImageMagick', 'bitmap as written: colour mode 0, depth 1, and one 1-bit layer record (channel 0 only, packed bits RLE) beside the merged image'),
    'document/im-truncated-merged.psd': ('ImageMagick (cut short by derive.py)', 'layered RLE file cut in the middle of its merged image (the image data section, the last section): the layers are whole, the merged image is damaged'),
    'document/pt-flat-rgb.psd': ('psd-tools (PSDImage.frompil)', 'flat RGB: no layer and mask section content (length 0), RLE merged image, version-info resource says real merged data'),
    'document/pt-flat-gray.psd': ('psd-tools (PSDImage.frompil)', 'flat grayscale, RLE merged image'),
    'document/pt-flat-rgba.psd': ('psd-tools (PSDImage.frompil)', 'flat RGBA: 4 header channels, alpha of the merged image, colour stored straight'),
    'document/pt-no-merged-data.psd': ('psd-tools (low-level records)', 'layered file saved without its merged image: version-info resource (1057) hasRealMergedData = 0, image data section all white'),
}

MODE_NAMES = {0: 'Bitmap', 1: 'Grayscale', 2: 'Indexed', 3: 'RGB', 4: 'CMYK',
              7: 'Multichannel', 8: 'Duotone', 9: 'Lab'}


def fix_surrogates(s):
    if s is None:
        return None
    return s.encode('utf-16', 'surrogatepass').decode('utf-16')


# Blend keys a reader should know; any other key is noted as a quirk.
BLEND_KEYS = {b'pass', b'norm', b'diss', b'dark', b'mul ', b'idiv', b'lbrn', b'dkCl',
              b'lite', b'scrn', b'div ', b'lddg', b'lgCl', b'over', b'sLit', b'hLit',
              b'vLit', b'lLit', b'pLit', b'hMix', b'diff', b'smud', b'fsub', b'fdiv',
              b'hue ', b'sat ', b'colr', b'lum '}


def u32(d, p):
    return struct.unpack('>I', d[p:p + 4])[0]


def u64(d, p):
    return struct.unpack('>Q', d[p:p + 8])[0]


def structure(d):
    """Own walk over the file layout to note quirks that psd-tools hides.
    Version 2 (PSB) files have 8-byte layer and mask, layer info and channel
    lengths. Returns a dict; never raises on odd files."""
    s = {'quirks': []}
    try:
        version = struct.unpack('>H', d[4:6])[0]
        width = 8 if version == 2 else 4
        ulen = u64 if version == 2 else u32
        p = 26
        s['colourModeDataLength'] = u32(d, p)
        p += 4 + u32(d, p)
        s['imageResourcesLength'] = u32(d, p)
        p += 4 + u32(d, p)
        lm_len = ulen(d, p)
        lm_start = p + width
        s['layerAndMaskLength'] = lm_len
        s['mergedImageOffset'] = lm_start + lm_len
        if lm_len == 0:
            return s
        li_len = ulen(d, lm_start)
        s['layerInfoLength'] = li_len
        if li_len == 0:
            return s
        q = lm_start + width
        count = struct.unpack('>h', d[q:q + 2])[0]
        s['layerCountRaw'] = count
        q += 2
        names, total = [], 0
        for _ in range(abs(count)):
            q += 16
            nc = struct.unpack('>H', d[q:q + 2])[0]
            q += 2
            for k in range(nc):
                total += ulen(d, q + (2 + width) * k + 2)
            q += (2 + width) * nc
            blend = d[q + 4:q + 8]
            if blend not in BLEND_KEYS:
                s['quirks'].append('blend key %r' % blend.decode('latin-1'))
            q += 12
            extra = u32(d, q)
            e = q + 4
            e += 4 + u32(d, e)          # mask data
            e += 4 + u32(d, e)          # blending ranges
            n = d[e]
            field = 1 + n + (-(1 + n) % 4)
            names.append((d[e + 1:e + 1 + n], field))
            q += 4 + extra
        data_end = q + total
        used = data_end - (lm_start + width)
        s['layerInfoPadding'] = li_len - used
        if used != li_len and width + li_len + 4 > lm_len:
            s['quirks'].append(
                'layer info length says %d bytes, records plus channel data take %d; '
                'the global mask info and the merged image are where the layer and mask '
                'length says (trust it, not the layer info length)' % (li_len, used))
        s['pascalNames'] = names
    except Exception as e:  # pragma: no cover - diagnostics only
        s['quirks'].append('layout walk failed: %s' % e)
    return s


def to8(arr, depth):
    if depth == 1:
        return document.to8(arr, depth)
    if depth == 8:
        return arr.astype(np.uint8)
    if depth == 16:
        return ((arr.astype(np.uint64) * 255 + 32767) // 65535).astype(np.uint8)
    return np.floor(np.clip(arr, 0.0, 1.0) * 255 + 0.5).astype(np.uint8)


def plane(cd, w, h, depth, version):
    raw = cd.get_data(w, h, depth, version)
    if depth == 1:
        return document.unpack(raw, w, h, depth)
    dt = {8: '>u1', 16: '>u2', 32: '>f4'}[depth]
    return np.frombuffer(raw, dt).reshape(h, w)


SCALE = {
    8: 'samples as stored',
    1: '1-bit samples: 1 (ink) as 0 (black), 0 as 255 (white)',
    16: '16-bit samples scaled to 8 bits with (v*255+32767)//65535',
    32: '32-bit float samples clamped to [0,1] and scaled with floor(v*255+0.5)',
}


def process(rel):
    path = os.path.join(CORPUS, rel)
    data = open(path, 'rb').read()
    writer, covers = MANIFEST.get(rel, ('?', '?'))
    lay = structure(data)
    out = {'file': os.path.basename(rel), 'writer': writer, 'covers': covers}
    readable = data
    if any(q.startswith('blend key') for q in lay['quirks']):
        readable = data.replace(b'8BIMmron', b'8BIMnorm')
        out['readNote'] = ('psd-tools rejects the blend key "mron"; the references were made '
                           'from an in-memory copy with "8BIMmron" replaced by "8BIMnorm"')
    psd = PSDImage.open(io.BytesIO(readable))
    rec = psd._record
    extended = rel.startswith(('psb/', 'document/'))
    h = rec.header
    depth = h.depth
    mode = int(h.color_mode)
    out['header'] = {'version': h.version, 'channels': h.channels, 'rows': h.height,
                     'columns': h.width, 'depth': depth, 'colorMode': mode,
                     'colorModeName': MODE_NAMES.get(mode, str(mode))}
    out['colourModeDataLength'] = lay.get('colourModeDataLength')
    out['mergedImageCompression'] = int(rec.image_data.compression)
    lm = rec.layer_and_mask_information
    stored_in = None
    if lm.tagged_blocks is not None and Tag.LAYER_16 in lm.tagged_blocks:
        stored_in = 'Lr16 block'
    elif lm.tagged_blocks is not None and Tag.LAYER_32 in lm.tagged_blocks:
        stored_in = 'Lr32 block'
    elif lm.layer_info is not None and lm.layer_info.layer_count:
        stored_in = 'layer info'
    out['layersStoredIn'] = stored_in
    info = rec._get_layer_info()
    out['layerCountRaw'] = info.layer_count if info is not None else 0
    if 'layerCountRaw' in lay:
        out['layerCountRaw'] = lay['layerCountRaw']
    out['quirksSeen'] = lay['quirks']
    if 'layerInfoPadding' in lay:
        out['layerInfoPadding'] = lay['layerInfoPadding']
    out['reader'] = 'Debian python3-psd-tools %s' % psd_tools_version()
    out['layerIndexOrder'] = 'stored order of the layer records (bottom-most layer first)'
    out['referenceFormat'] = (
        '<file>.layer-<i>.png: 8-bit RGB of layer size, R,G,B = planes of channel ids 0,1,2 '
        '(grayscale: id 0 in all three; indexed: the index value of id 0 in all three); '
        '<file>.layer-<i>.alpha.png: 8-bit gray = channel id -1; ' + SCALE[depth])
    palette = None
    if mode == ColorMode.INDEXED:
        cmd = bytes(rec.color_mode_data.value)
        if len(cmd) == 768:
            palette = np.frombuffer(cmd, np.uint8).reshape(3, 256).T.copy()
            out['palette'] = 'colour-mode data: 768 bytes, 256 red then 256 green then 256 blue'
            out['referenceFormat'] += ('; <file>.layer-<i>.palette.png: the indices of id 0 '
                                       'looked up in that palette')
        else:
            out['palette'] = None
            out['paletteWhy'] = 'colour-mode data is %d bytes, not 768' % len(cmd)
    if mode == ColorMode.CMYK:
        out['referenceFormat'] = (
            '<file>.layer-<i>.cmyk.raw: four planes of width*height bytes, in the order of '
            'channel ids 0,1,2,3 (C,M,Y,K), values exactly as stored (inverted: 255 = no ink); '
            '<file>.layer-<i>.alpha.png: 8-bit gray = channel id -1')
    by_record = {}
    for layer in psd.descendants():
        by_record[id(layer._record)] = layer
    layers = []
    base = os.path.basename(rel)
    colour_ids = {ColorMode.GRAYSCALE: [0], ColorMode.INDEXED: [0],
                  ColorMode.CMYK: [0, 1, 2, 3]}.get(mode, [0, 1, 2])
    records = list(zip(info.layer_records, info.channel_image_data)) if info is not None and info.layer_records else []
    if extended:
        if mode == ColorMode.BITMAP:
            colour_ids = [0]
        details = document.layout_details(data)
        out['layout'] = details
        out['composite'] = document.composite(psd, rel, CORPUS, palette, details)
        tree = document.layer_tree([r for r, _ in records])
        index_of = {id(r): k for k, (r, _) in enumerate(records)}
    for i, (r, cdl) in enumerate(records):
        w, hh = r.right - r.left, r.bottom - r.top
        hl = by_record.get(id(r))
        pascal = lay.get('pascalNames', [])
        pbytes, pfield = pascal[i] if i < len(pascal) else (None, None)
        luni = r.tagged_blocks.get_data(Tag.UNICODE_LAYER_NAME) if r.tagged_blocks else None
        try:
            p_utf8 = pbytes.decode('utf-8') if pbytes is not None else None
        except UnicodeDecodeError:
            p_utf8 = None
        entry = {
            'index': i, 'top': r.top, 'left': r.left, 'bottom': r.bottom, 'right': r.right,
            'width': w, 'height': hh,
            'name': fix_surrogates(hl.name if hl is not None else (luni or r.name)),
            'pascalNameHex': pbytes.hex() if pbytes is not None else None,
            'pascalNameAsUtf8': p_utf8,
            'pascalFieldBytes': pfield,
            'unicodeName': fix_surrogates(luni),
            'visible': bool(r.flags.visible),
            'opacity': r.opacity,
            'channels': [{'id': int(ci.id), 'compression': int(cd.compression),
                          'length': ci.length} for ci, cd in zip(r.channel_info, cdl)],
        }
        layers.append(entry)
        if extended:
            t = tree[i]
            entry['kind'] = t['kind']
            entry['sectionDividerSetting'] = t['sectionDividerSetting']
            entry['parent'] = t['parent']
            if 'endsGroup' in t:
                entry['endsGroup'] = t['endsGroup']
            entry['clipping'] = r.clipping != 0
            entry['clippingByte'] = int(r.clipping)
            entry['blendKey'] = r.blend_mode.value.decode('latin-1')
            if t['sectionBlendKey'] is not None:
                entry['sectionBlendKey'] = t['sectionBlendKey']
            flag_bytes = details.get('layerFlagBytes', [])
            entry['flags'] = flag_bytes[i] if i < len(flag_bytes) else None
            entry['mask'] = document.mask_entry(r)
            if entry['mask'] is not None:
                ref, why = document.mask_reference(r, cdl, depth, h.version,
                                                   os.path.join(CORPUS, rel), i)
                entry['maskReference'] = ref
                if why:
                    entry['maskWhy'] = why
            if hl is not None and t['kind'] != 'groupEnd':
                parent = hl.parent
                want = index_of.get(id(parent._record)) if parent is not None and parent.kind == 'group' else None
                if want != t['parent']:
                    raise SystemExit('%s layer %d: parent %s, psd-tools says %s' % (rel, i, t['parent'], want))
        if w <= 0 or hh <= 0:
            entry['reference'] = None
            entry['why'] = 'zero-size layer: no reference'
            continue
        idx = {int(ci.id): k for k, ci in enumerate(r.channel_info)}
        missing = [c for c in colour_ids if c not in idx]
        if missing:
            entry['reference'] = None
            entry['why'] = 'colour channel ids %s not stored' % missing
            continue
        try:
            planes = {c: plane(cdl[idx[c]], w, hh, depth, h.version) for c in idx if c >= -1}
        except Exception as e:
            entry['reference'] = None
            entry['why'] = 'psd-tools could not decode: %s' % e
            continue
        if depth == 8 and hl is not None:
            # Cross-check against psd-tools' own per-channel API.
            for c in planes:
                img = hl.topil(channel=ChannelID(c))
                if img is None or not np.array_equal(np.asarray(img), planes[c]):
                    raise SystemExit('%s layer %d: topil(channel=%d) disagrees' % (rel, i, c))
        stem = '%s.layer-%d' % (base, i)
        if mode == ColorMode.CMYK:
            with open(os.path.join(CORPUS, os.path.dirname(rel), stem + '.cmyk.raw'), 'wb') as f:
                for c in colour_ids:
                    f.write(to8(planes[c], depth).tobytes())
            entry['reference'] = stem + '.cmyk.raw'
        else:
            if len(colour_ids) == 1:
                g = to8(planes[0], depth)
                rgb = np.stack([g, g, g], axis=-1)
            else:
                rgb = np.stack([to8(planes[c], depth) for c in colour_ids], axis=-1)
            Image.fromarray(rgb, 'RGB').save(os.path.join(CORPUS, os.path.dirname(rel), stem + '.png'), optimize=True)
            entry['reference'] = stem + '.png'
        if mode == ColorMode.INDEXED and palette is not None:
            Image.fromarray(palette[planes[0]], 'RGB').save(
                os.path.join(CORPUS, os.path.dirname(rel), stem + '.palette.png'), optimize=True)
            entry['paletteReference'] = stem + '.palette.png'
        if -1 in planes:
            Image.fromarray(to8(planes[-1], depth), 'L').save(
                os.path.join(CORPUS, os.path.dirname(rel), stem + '.alpha.png'), optimize=True)
            entry['alphaReference'] = stem + '.alpha.png'
    out['layers'] = layers
    with open(path + '.json', 'w', encoding='utf-8') as f:
        json.dump(out, f, indent=1, ensure_ascii=False)
        f.write('\n')
    return out


def psd_tools_version():
    try:
        from importlib.metadata import version
        return version('psd-tools')
    except Exception:
        return 'unknown'


README_HEAD = """# PSD interoperability corpus

Layered PSD and PSB files written by third-party programs, with reference
pixels made by a third-party reader. Generated by `scripts/make-corpus` (run by hand as
root, not in CI); do not edit by hand.

* Writers: ImageMagick (`convert`, Debian package `imagemagick`), ag-psd (npm,
  installed outside the repository), psd-tools' own writer (Debian
  `python3-psd-tools`, low-level records or `PSDImage.frompil`).
* Reader for the references: Debian `python3-psd-tools`, each layer's channels
  decoded **by channel id** (never by position).

Beside every `X.psd`:

* `X.psd.json`: writer, what the file covers, header (version, channels,
  rows, columns, depth, colorMode), merged-image compression, where the layers
  are stored (layer info or an `Lr16`/`Lr32` block), the raw signed layer
  count, quirks seen in the byte layout, and per layer (index = stored
  record order, bottom-most first): bounds, size, name (plus the raw Pascal
  bytes and the `luni` name), visibility, opacity, channel ids in stored order
  with compression code (0 raw, 1 RLE, 2 ZIP, 3 ZIP with prediction) and
  length (including the 2-byte compression code), and reference file names.
* `X.psd.layer-<i>.png`: 8-bit RGB, layer size; R,G,B = channel ids 0,1,2
  (grayscale: id 0 in all three; indexed: the index of id 0 in all three).
  16-bit samples are scaled with `(v*255+32767)//65535`; 32-bit floats with
  `floor(clamp(v,0,1)*255+0.5)`.
* `X.psd.layer-<i>.alpha.png`: channel id -1 as 8-bit gray, when present.
* `X.psd.layer-<i>.palette.png`: indexed files, indices looked up in the
  colour-mode data palette.
* `X.psd.layer-<i>.cmyk.raw`: CMYK files, four planes (ids 0,1,2,3) of
  width*height bytes as stored (inverted: 255 = no ink).
* Zero-size layers have `"reference": null` and a `"why"`.

`deep/` holds 16/32-bit and ZIP files, `colour/` CMYK, remapped indexed
and Unicode-name files, `psb/` large-document files (`X.psb`, file header
version 2) and `document/` whole-document files (groups, masks, clipping,
opacity, transparency and the merged image). Beside the files in `psb/` and
`document/` there is more (the references of the older files are unchanged):

* `X.json` `"composite"`: the merged image (image data section): mode, depth,
  header channels, `hasAlpha` as psd-tools decides it (more channels than the
  mode needs and no alpha-identifiers resource saying otherwise),
  `alphaChannelIndex`, `compression`, `hasRealMergedData` (the version-info
  resource 1057; `null` when the file has none), `complete` (own walk of the
  RLE row counts), `damaged`, and `reference`.
* `X.composite.png`: the merged image as stored, read through psd-tools'
  low-level image data API (not `topil()`, which un-mattes RGBA pixels from
  white and truncates 16 bits): 8-bit RGB, or RGBA when `hasAlpha`; gray and
  bitmap in all three channels (bitmap: bit 1 = black 0, bit 0 = white 255),
  indexed through the palette; same scaling as the layers. CMYK:
  `X.composite.cmyk.raw` (four planes as stored) and `X.composite.alpha.png`.
  Where psd-tools' `topil()` does not alter the samples (1- and 8-bit without
  alpha) the script checks that it gives the same pixels
  (`checkedAgainstTopil`).
* per layer: `kind` (`layer`; `group` for a section divider setting 1 open or
  2 closed, the group's own record; `groupEnd` for setting 3, the bounding
  divider), `sectionDividerSetting`, `parent` (index of the enclosing group's
  record, or `null`; in file order a group's divider comes first, then its
  members, then the group's record; a divider's `parent` is that of the group
  it ends, and `endsGroup` is the index of that group's record), `visible`
  (flags bit 1 clear), `flags` (the raw byte), `opacity` (0..255),
  `clipping` (clipping byte != 0) and `clippingByte`, `blendKey` (record),
  `sectionBlendKey` (the `lsct` block's key, groups only), `mask`
  (`{top, left, bottom, right, defaultColor, disabled,
  positionRelativeToLayer}` of the user mask, or `null`) and
  `maskReference`: `X.layer-<i>.mask.png`, channel id -2 as 8-bit gray of
  the mask rectangle's size. Parents are checked against psd-tools' tree.
* `"layout"`: own byte walk: the width of every length field
  (`lengthWidths`), the offsets of the layer and mask section and of the
  image data, the tagged blocks of each layer record and after the global
  layer mask info with the width of their length fields, the raw flags bytes,
  whether every RLE layer channel's row counts add up, and the merged image's
  expected end against the file length.

| file | writer | covers |
| --- | --- | --- |
"""

README_TAIL = """
## Regenerating

    sudo scripts/make-corpus

It installs what is missing (Debian `imagemagick`, `python3-psd-tools`,
`nodejs`, `npm`; npm `ag-psd` into `~/.cache/plymark-peers/ag-psd`), deletes
the generated files under `tests/corpus/` and writes them again. The
ImageMagick and psd-tools files use fixed seeds; ag-psd uses its own seeded
generator, so a rerun with the same tool versions gives the same bytes.
Helper scripts live in `scripts/corpus/`: `imagemagick.sh` (which ends by
running `derive.py`, the byte edits for `document/im-flat-*` and
`document/im-truncated-merged.psd`), `agpsd.mjs`, `psdtools_write.py`, and
`reference.py` with `reference_document.py` for the references.

## Notes on how the writers store channels

* ImageMagick (6.9.11): writes the flattened image first, then the layers.
  Colour channels come first in id order and channel -1 is stored LAST
  (0,1,2,-1; CMYK 0,1,2,3,-1; gray 0,-1); -1 is left out entirely for
  layers without alpha. When the merged image has alpha the header has one
  more channel and the layer count is negative. Pascal layer names are the
  raw UTF-8 bytes of the label (no `luni` block), padded with zeros so that
  length byte + name is a multiple of 4. Every RLE row it writes ends with a
  0x80 (-128) no-op header byte (ag-psd writes none). Raw channels are stored
  with no padding.
  With an odd total of channel bytes, the layer info length is rounded up to
  even but the pad byte is not written (see `quirksSeen`): the layer and mask
  length is right, the layer info length is one too big (ag-psd and
  psd-tools pad the layer info to a multiple of 4 and do write the pad bytes;
  see `layerInfoPadding`). Without
  `-endian MSB` some blend keys are written byte-reversed ("mron").
  Labels longer than 255 bytes produce a broken file (the name is cut to 255
  but the extra-data length counts the whole label), so the corpus stays at
  255. `-compress Zip` gives compression 2 for layers but the merged image
  stays RLE. Indexed output drops layer alpha.
* ag-psd (31): channel -1 is stored FIRST (-1,0,1,2); it is left out only
  for the bottom layer when that has no transparent pixel. Every layer has a
  `luni` block; the Pascal name is the first 255 UTF-16 units with every
  non-ASCII unit replaced by `?`, padded to a multiple of 4. An empty layer
  (no pixels) is a 0x0 record with four raw channels of length 2. With no
  children it still writes one such empty layer. Only 8-bit RGB can be
  written; `compress: true` gives compression 2.
* psd-tools: writes whatever order and compression it is given; its 16/32-bit
  files here keep the layers in `Lr16`/`Lr32` blocks, as Photoshop does.

## Notes on PSB (file header version 2)

All three writers' PSB files are read by psd-tools 1.9.24 (`PSDImage.open`
takes version 2; every layer and merged-image reference here comes from it).
In every one of them these fields are 8 bytes: the layer and mask section
length, the layer info length, each channel's length in the layer record
(2-byte id + 8-byte length), and the `Lr16` block length; the RLE row byte
counts of layer channels and of the merged image are 4 bytes. These stay 4
bytes: colour-mode data and image resources lengths, the extra-data length of
a layer record, its mask data and blending ranges lengths, the global layer
mask info length, and the lengths of `luni` and `lsct`.

* ImageMagick (`PSB:` prefix): the same layout as its PSD files with the
  wider fields; no tagged blocks at all (no `luni`), flags byte 0x01
  (transparency protected) on every layer, the layer info length still one
  too big when the channel bytes add up to an odd number (im-cmyk.psb). A
  layer and mask section head (im-rle-8.psb, offset 62):
  `00000000 0000106a` (layer and mask length) `00000000 0000105e` (layer
  info length) `0005` (layer count) then the first record
  `00000000 00000000 00000020 00000030 0003` and channels
  `0000 00000000 000000e2`, `0001 ...`, `0002 ...`, `8BIM norm ff 00 01 00`,
  extra length `00000014`.
* ag-psd (`psb: true`): head (ag-layers.psb, offset 80)
  `00000000 000027a8` `00000000 0000279c` `0007`, record
  `00000000 00000000 00000020 00000030 0003`, channel `0000 00000000
  000006a2`, ..., `8BIM norm ff 00 08 00`, extra length `00000038`, then
  `luni` and, for dividers and groups, `lsct` with 4-byte lengths. It writes
  no block with an 8-byte length.
* psd-tools (`FileHeader(version=2)`, the version passed on to the channel
  encoder): pt-rle-8.psb head `00000000 00001160` `00000000 00001154` `0003`;
  pt-lr16.psb (offset 128): `00000000 00002ea8` (layer and mask length),
  `00000000 00000000` (empty layer info), `00000000` (global layer mask
  info), `8BIM Lr16 00000000 00002e89` then the layer count `0004` and the
  records (no layer info length inside `Lr16`). The `Lr16` length is odd
  (11913) and 3 zero bytes not counted in it pad the block to a multiple of
  4.

## Notes on groups, masks and merged images

* ag-psd writes a group as two records: first (bottom-most) a divider named
  `</Layer group>` with an `lsct` block of setting 3 (4 bytes), then the
  members, then the group's own record with `lsct` setting 1 (open) or 2
  (`opened: false`), 16 bytes with the `8BIM` signature and blend key `pass`;
  the record's own blend key is `norm`. Both are 0x0 records with channels
  -1,0,1,2 of 2 bytes each (raw, no data). Flags: 0x08 on every record
  (bit 3: bit 4 is meaningful), 0x18 on dividers and group records (bit 4:
  pixel data irrelevant), +0x02 when hidden. Opacity is `round(opacity*255)`;
  `clipping: true` gives clipping byte 1.
* ag-psd user masks: channel -2 stored LAST (-1,0,1,2,-2), RLE, of the mask
  rectangle's size; mask data of 20 bytes: rectangle, default colour (0 or
  255), flags 0, two zero bytes. The mask rectangle is independent of the
  layer's (it may reach past the layer and the canvas).
* ag-psd writes the merged image it is given (here composited by
  `agpsd.mjs`: normal and multiply, straight alpha, groups pass through,
  masks with their default colour outside the rectangle, a clipped layer
  limited to its base layer's pixel alpha); with any transparent pixel it
  writes 4 channels, a negative layer count, and mattes half-transparent
  colours against white. It writes no version-info resource (1057).
  ImageMagick and psd-tools store the merged colour straight (not matted).
* This ImageMagick cannot write a file without layers: a lone image becomes
  the merged image and one layer. `derive.py` empties the layer and mask
  section of such files (`im-flat-*`); `im-bitmap-layer.psd` keeps its one
  1-bit layer (a layer record Photoshop would never write: channel 0 as packed
  bits). ImageMagick writes the image's compose setting as a layer's blend
  key.
* `-monochrome` alone gives 16-bit grayscale here; `-monochrome -depth 1`
  gives colour mode 0 at depth 1.
* psd-tools' `PSDImage.frompil` writes no layer and mask section content
  (length 0) and a version-info resource with hasRealMergedData 1; setting it
  to 0 makes `topil()` return None (pt-no-merged-data.psd, whose merged image
  is white).
* im-truncated-merged.psd: psd-tools opens it and reads every layer, but
  decoding the merged image fails ("Invalid RLE compression"); its json has
  `composite.damaged` true and no composite reference.
"""


def main():
    rels = []
    for root, _, files in os.walk(CORPUS):
        for fn in files:
            if fn.endswith(('.psd', '.psb')):
                rels.append(os.path.relpath(os.path.join(root, fn), CORPUS))
    rels.sort(key=lambda r: (r.count('/'), r))
    rows = []
    for rel in rels:
        out = process(rel)
        n = len(out['layers'])
        rows.append('| `%s` | %s | %s-bit %s, %d layer record%s; %s |' % (
            rel, out['writer'], out['header']['depth'], out['header']['colorModeName'],
            n, '' if n == 1 else 's', out['covers']))
        print('%-36s %s' % (rel, '; '.join(out['quirksSeen']) or 'ok'))
    with open(os.path.join(CORPUS, 'README.md'), 'w', encoding='utf-8') as f:
        f.write(README_HEAD + '\n'.join(rows) + '\n' + README_TAIL)


main()
