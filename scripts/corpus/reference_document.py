"""Whole-document and PSB parts of the corpus references, used by
reference.py for the files in psb/ and document/ only (the older files keep
their references byte for byte).

* layout_details(): own walk over the bytes: the width of every length field
  (version 1: 4 bytes; version 2: 8-byte layer and mask, layer info and
  channel lengths, 4-byte RLE row byte counts, 8-byte lengths for some tagged
  blocks), the tagged blocks of every layer record and after the global layer
  mask info, and whether the merged image (image data section) is complete.
* layer_tree(): kind, parent, clipping, blend keys and user mask per record.
* composite(): the stored merged image as psd-tools reads it through its
  low-level image data API, written as <file>.composite.png.
"""
import os
import struct

import numpy as np
from PIL import Image
from psd_tools.api.numpy_io import get_transparency_index, has_transparency
from psd_tools.constants import ColorMode, Resource, Tag

# Tagged block keys whose length field is 8 bytes in a version 2 file.
BIG_KEYS = {b'LMsk', b'Lr16', b'Lr32', b'Layr', b'Mt16', b'Mt32', b'Mtrn',
            b'Alph', b'FMsk', b'lnk2', b'FEid', b'FXid', b'PxSD'}


def _u16(d, p):
    return struct.unpack('>H', d[p:p + 2])[0]


def _u32(d, p):
    return struct.unpack('>I', d[p:p + 4])[0]


def _u64(d, p):
    return struct.unpack('>Q', d[p:p + 8])[0]


def _tagged_blocks(d, p, end, version):
    """Walks tagged blocks from p to end; returns (blocks, note)."""
    blocks = []
    while p + 12 <= end:
        sig = d[p:p + 4]
        if sig not in (b'8BIM', b'8B64'):
            skip = next((k for k in range(1, 4) if d[p + k:p + k + 4] in (b'8BIM', b'8B64')), None)
            if skip is None:
                return blocks, 'unparsed bytes at %d..%d' % (p, end)
            p += skip
            continue
        key = d[p + 4:p + 8]
        width = 8 if version == 2 and key in BIG_KEYS else 4
        length = _u64(d, p + 8) if width == 8 else _u32(d, p + 8)
        blocks.append({'key': key.decode('latin-1'), 'offset': p, 'lengthBytes': width,
                       'length': length})
        p += 8 + width + length
    if p != end and any(d[p:end]):
        return blocks, 'unparsed bytes at %d..%d' % (p, end)
    return blocks, None


def _rle_counts_fit(d, p, length, rows, count_bytes):
    """True when rows row byte counts of count_bytes each, plus the bytes they
    count, fill a channel of `length` bytes (after the compression code)."""
    if rows * count_bytes > length:
        return False
    fmt = '>%d%s' % (rows, 'I' if count_bytes == 4 else 'H')
    counts = struct.unpack(fmt, d[p:p + rows * count_bytes])
    return rows * count_bytes + sum(counts) == length


def _walk_records(d, q, version, walk, notes):
    """Walks a layer count, the layer records and their channel data from q."""
    width = 8 if version == 2 else 4
    ulen = _u64 if version == 2 else _u32
    count_bytes = 4 if version == 2 else 2
    count = abs(struct.unpack('>h', d[q:q + 2])[0])
    q += 2
    records = []
    for _ in range(count):
        top, left, bottom, right = struct.unpack('>4i', d[q:q + 16])
        nc = _u16(d, q + 16)
        q += 18
        chans = []
        for _k in range(nc):
            cid = struct.unpack('>h', d[q:q + 2])[0]
            chans.append((cid, ulen(d, q + 2)))
            q += 2 + width
        walk['flags'].append(d[q + 10])
        q += 12
        extra = _u32(d, q)
        e = q + 4
        mask_len = _u32(d, e)
        mask = struct.unpack('>4i', d[e + 4:e + 20]) if mask_len >= 16 else None
        e += 4 + mask_len
        e += 4 + _u32(d, e)
        n = d[e]
        e += 1 + n + (-(1 + n) % 4)
        blocks, note = _tagged_blocks(d, e, q + 4 + extra, version)
        if note:
            notes.append('layer %d extra data: %s' % (len(walk['blocks']), note))
        walk['blocks'].append([{k: b[k] for k in ('key', 'lengthBytes', 'length')}
                               for b in blocks])
        records.append(((top, left, bottom, right), mask, chans))
        q += 4 + extra
    for bounds, mask, chans in records:
        for cid, length in chans:
            if length >= 2 and _u16(d, q) == 1:
                r = bounds if cid != -2 or mask is None else mask
                walk['rle'] += 1
                walk['fits'] += _rle_counts_fit(d, q + 2, length - 2, r[2] - r[0], count_bytes)
            q += length


def layout_details(d):
    """Returns a dict describing the byte layout; never raises."""
    out = {'notes': []}
    try:
        version = _u16(d, 4)
        channels, rows, cols, depth = _u16(d, 12), _u32(d, 14), _u32(d, 18), _u16(d, 22)
        width = 8 if version == 2 else 4
        ulen = _u64 if version == 2 else _u32
        count_bytes = 4 if version == 2 else 2
        out['lengthWidths'] = {'layerAndMaskLength': width, 'layerInfoLength': width,
                               'channelLength': width, 'rleRowCount': count_bytes,
                               'extraDataLength': 4, 'globalLayerMaskInfoLength': 4}
        p = 26
        p += 4 + _u32(d, p)
        p += 4 + _u32(d, p)
        lm_len = ulen(d, p)
        lm_start = p + width
        image_data = lm_start + lm_len
        out['layerAndMaskOffset'] = p
        out['imageDataOffset'] = image_data
        walk = {'fits': 0, 'rle': 0, 'blocks': [], 'flags': []}
        if lm_len:
            li_len = ulen(d, lm_start)
            q = lm_start + width
            li_end = q + li_len
            if li_len:
                _walk_records(d, q, version, walk, out['notes'])
            g = li_end
            g += 4 + _u32(d, g)
            blocks, note = _tagged_blocks(d, g, image_data, version)
            if note:
                out['notes'].append('global tagged blocks: %s' % note)
            out['globalTaggedBlocks'] = [{k: b[k] for k in ('key', 'lengthBytes', 'length')}
                                         for b in blocks]
            for b in blocks:
                if b['key'] in ('Lr16', 'Lr32'):
                    out['notes'].append('%s block: layer count right after its length, '
                                        'no layer info length inside' % b['key'])
                    _walk_records(d, b['offset'] + 8 + b['lengthBytes'], version, walk,
                                  out['notes'])
        out['layerTaggedBlocks'] = walk['blocks']
        out['layerFlagBytes'] = walk['flags']
        if walk['rle']:
            out['rleLayerChannelsWhoseRowCountsFit'] = '%d of %d' % (walk['fits'], walk['rle'])
        # The merged image.
        comp = _u16(d, image_data) if image_data + 2 <= len(d) else None
        info = {'compression': comp, 'fileLength': len(d)}
        row_bytes = (cols * depth + 7) // 8
        if comp == 0:
            info['expectedEnd'] = image_data + 2 + rows * row_bytes * channels
        elif comp == 1:
            n = rows * channels
            start = image_data + 2
            if start + n * count_bytes <= len(d):
                fmt = '>%d%s' % (n, 'I' if count_bytes == 4 else 'H')
                counts = struct.unpack(fmt, d[start:start + n * count_bytes])
                info['rowCountBytes'] = count_bytes
                info['expectedEnd'] = start + n * count_bytes + sum(counts)
        if 'expectedEnd' in info:
            info['complete'] = info['expectedEnd'] <= len(d)
        out['imageData'] = info
    except Exception as e:  # pragma: no cover - diagnostics only
        out['notes'].append('layout walk failed: %s' % e)
    return out


def _kind(record):
    lsct = record.tagged_blocks.get_data(Tag.SECTION_DIVIDER_SETTING) if record.tagged_blocks else None
    if lsct is None:
        return 'layer', None, None
    kind = int(lsct.kind)
    key = lsct.blend_mode.value.decode('latin-1') if lsct.blend_mode is not None else None
    return {1: 'group', 2: 'group', 3: 'groupEnd'}.get(kind, 'layer'), kind, key


def layer_tree(records):
    """Per record (file order, bottom-most first): kind, section divider
    setting, parent and the group record a divider ends."""
    out = []
    open_groups = []  # indices of the divider records not yet closed
    pending = []      # for each open group, the records inside it
    for i, r in enumerate(records):
        kind, setting, key = _kind(r)
        out.append({'kind': kind, 'sectionDividerSetting': setting, 'sectionBlendKey': key,
                    'parent': None})
        if kind == 'groupEnd':
            open_groups.append(i)
            pending.append([])
            continue
        if kind == 'group' and open_groups:
            divider = open_groups.pop()
            for member in pending.pop():
                out[member]['parent'] = i
            out[divider]['endsGroup'] = i
        if pending:
            pending[-1].append(i)
    for i in open_groups:
        out[i]['endsGroup'] = None
    # A divider sits at the level of the group it ends.
    for e in out:
        if e['kind'] == 'groupEnd' and e.get('endsGroup') is not None:
            e['parent'] = out[e['endsGroup']]['parent']
    return out


def to8(arr, depth):
    if depth == 1:
        return np.where(arr != 0, 0, 255).astype(np.uint8)
    if depth == 8:
        return arr.astype(np.uint8)
    if depth == 16:
        return ((arr.astype(np.uint64) * 255 + 32767) // 65535).astype(np.uint8)
    return np.floor(np.clip(arr, 0.0, 1.0) * 255 + 0.5).astype(np.uint8)


def unpack(raw, w, h, depth):
    if depth == 1:
        row = (w + 7) // 8
        bits = np.unpackbits(np.frombuffer(raw, np.uint8)[:row * h].reshape(h, row), axis=1)
        return bits[:, :w]
    dt = {8: '>u1', 16: '>u2', 32: '>f4'}[depth]
    return np.frombuffer(raw, dt)[:w * h].reshape(h, w)


def composite(psd, rel, corpus, palette, details):
    """The merged image as stored: a json entry, and the reference files."""
    rec = psd._record
    h = rec.header
    mode, depth = int(h.color_mode), h.depth
    version_info = psd.image_resources.get_data(Resource.VERSION_INFO)
    entry = {
        'mode': mode, 'depth': depth, 'channels': h.channels,
        'hasAlpha': bool(has_transparency(psd)),
        'compression': int(rec.image_data.compression),
        'hasRealMergedData': bool(version_info.has_composite) if version_info else None,
        'complete': details.get('imageData', {}).get('complete'),
    }
    if version_info is None:
        entry['hasRealMergedDataNote'] = 'no version-info resource (1057)'
    base = os.path.join(corpus, rel)
    try:
        planes = [unpack(c, h.width, h.height, depth) for c in rec.image_data.get_data(h)]
    except Exception as e:
        entry['damaged'] = True
        entry['reference'] = None
        entry['why'] = ('merged image cannot be decoded (psd-tools: %s); the image data '
                        'section ends before its RLE rows do' % e)
        return entry
    if entry['complete'] is False:
        entry['damaged'] = True
    colour = {ColorMode.GRAYSCALE: [0], ColorMode.INDEXED: [0], ColorMode.BITMAP: [0],
              ColorMode.CMYK: [0, 1, 2, 3]}.get(mode, [0, 1, 2])
    alpha = None
    if entry['hasAlpha']:
        alpha = to8(planes[get_transparency_index(psd)], depth)
        entry['alphaChannelIndex'] = get_transparency_index(psd) % h.channels
    if mode == ColorMode.CMYK:
        with open(base + '.composite.cmyk.raw', 'wb') as f:
            for c in colour:
                f.write(to8(planes[c], depth).tobytes())
        entry['reference'] = os.path.basename(rel) + '.composite.cmyk.raw'
        if alpha is not None:
            Image.fromarray(alpha, 'L').save(base + '.composite.alpha.png', optimize=True)
            entry['alphaReference'] = os.path.basename(rel) + '.composite.alpha.png'
        return entry
    if mode == ColorMode.INDEXED:
        rgb = palette[planes[0]]
    elif len(colour) == 1:
        g = to8(planes[0], depth)
        rgb = np.stack([g, g, g], axis=-1)
    else:
        rgb = np.stack([to8(planes[c], depth) for c in colour], axis=-1)
    img = np.concatenate([rgb, alpha[:, :, None]], axis=-1) if alpha is not None else rgb
    Image.fromarray(img, 'RGBA' if alpha is not None else 'RGB').save(
        base + '.composite.png', optimize=True)
    entry['reference'] = os.path.basename(rel) + '.composite.png'
    # Cross-check against psd-tools' topil() where it does not alter the
    # stored samples (it un-mattes RGBA and truncates 16 bits).
    if depth in (1, 8) and alpha is None and entry['hasRealMergedData'] is not False:
        pil = psd.topil()
        if not np.array_equal(np.asarray(pil.convert('RGB')), rgb):
            raise SystemExit('%s: merged image disagrees with topil()' % rel)
        entry['checkedAgainstTopil'] = True
    return entry


def mask_entry(record):
    m = record.mask_data
    if m is None:
        return None
    flags = m.flags
    return {'top': m.top, 'left': m.left, 'bottom': m.bottom, 'right': m.right,
            'defaultColor': m.background_color,
            'disabled': bool(flags.mask_disabled) if flags is not None else None,
            'positionRelativeToLayer': bool(flags.pos_relative_to_layer) if flags is not None else None}


def mask_reference(record, cdl, depth, version, base, i):
    """Writes <file>.layer-<i>.mask.png (channel -2, mask rectangle size)."""
    m = record.mask_data
    idx = {int(ci.id): k for k, ci in enumerate(record.channel_info)}
    if -2 not in idx:
        return None, 'no channel -2'
    w, h = m.right - m.left, m.bottom - m.top
    if w <= 0 or h <= 0:
        return None, 'empty mask rectangle'
    plane = unpack(cdl[idx[-2]].get_data(w, h, depth, version), w, h, depth)
    Image.fromarray(to8(plane, depth), 'L').save(
        os.path.join(os.path.dirname(base), '%s.layer-%d.mask.png' % (os.path.basename(base), i)),
        optimize=True)
    return '%s.layer-%d.mask.png' % (os.path.basename(base), i), None
