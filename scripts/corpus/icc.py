#!/usr/bin/python3
"""Writes the colour-profile part of the corpus into tests/corpus/icc/.

Usage: /usr/bin/python3 icc.py CORPUS_DIR

ImageMagick writes layered PSDs with an embedded ICC profile (-profile on
pixels without one assigns it, without converting); the profiles come from
Debian's libgs-common, colord-data and icc-profiles-free. psd-tools reads
every layer's channels by id at their own depth, and Little CMS's tificc
(liblcms2-utils), a front end independent of Plymark, converts them from the
embedded profile to sRGB, relative colorimetric with black point
compensation, without precalculation (-c0):

* icc/X.psd.json: header, profile file and description, per layer the
  rectangle and the reference names;
* icc/X.psd.layer-<i>.srgb.png: the layer in sRGB, 8 bits;
* icc/X.psd.layer-<i>.alpha.png: channel -1, where the layer has one;
* icc/X.psd.composite.srgb.png and .composite.alpha.png: the merged image's
  colour planes as stored, converted the same way, and its transparency.

CMYK documents without a profile are converted through Ghostscript's default
press profile (default_cmyk.icc, "Artifex CMYK SWOP"), which is also what
colour/im-cmyk.psd and psb/im-cmyk.psb get as X.layer-<i>.swop.png.
"""
import io
import json
import os
import struct
import subprocess
import sys
import tempfile

import numpy as np
from PIL import Image
from psd_tools import PSDImage
from psd_tools.constants import ColorMode, Resource

CORPUS = sys.argv[1]
OUT = os.path.join(CORPUS, 'icc')
GS = '/usr/share/color/icc/ghostscript/'
PROFILES = {
    'swop': GS + 'default_cmyk.icc',
    'pscmyk': GS + 'ps_cmyk.icc',
    'graylstar': '/usr/share/color/icc/Gray-CIE_L.icc',
    'adobergb': '/usr/share/color/icc/colord/AdobeRGB1998.icc',
    'prophoto': '/usr/share/color/icc/colord/ProPhotoRGB.icc',
    'srgb': '/usr/share/color/icc/colord/sRGB.icc',
}

LAYERS = [
    '(', '-size', '48x36', 'plasma:fractal', '-set', 'label', 'Plasma', ')',
    '(', '-size', '40x20', 'gradient:#ff0000-#0000ff', '-set', 'label', 'Ramp', '-set', 'page',
    '+4+6', ')',
    '(', '-size', '30x30', 'radial-gradient:#00ff40-#ffff0000', '-set', 'label', 'Glow', '-set',
    'page', '+16+4', ')',
    '(', '-size', '17x11', 'xc:#101010', '-set', 'label', 'Dark', '-set', 'page', '+1+22', ')',
    '-repage', '48x36',
]
COMPOSITE = ['(', '-clone', '0--1', '-background', 'none', '-flatten', ')', '-insert', '0']

# name -> (colourspace, profile key or None, depth, what it covers)
FILES = {
    'im-cmyk-pscmyk.psd': ('CMYK', 'pscmyk', 8, 'CMYK, 8-bit RLE, Artifex PS CMYK (v4) embedded'),
    'im-cmyk-pscmyk-16.psd': ('CMYK', 'pscmyk', 16, 'CMYK, 16-bit RLE, Artifex PS CMYK embedded'),
    'im-cmyk-none.psd': ('CMYK', None, 8, 'CMYK, 8-bit RLE, no profile: the default press profile'),
    'im-gray-lstar.psd': ('Gray', 'graylstar', 8, 'grey, 8-bit RLE, grey with an L* curve embedded'),
    'im-gray-lstar-16.psd': ('Gray', 'graylstar', 16, 'grey, 16-bit RLE, L* curve embedded'),
    'im-rgb-adobergb.psd': ('sRGB', 'adobergb', 8, 'RGB, 8-bit RLE, Adobe RGB (1998) compatible'),
    'im-rgb-prophoto-16.psd': ('sRGB', 'prophoto', 16, 'RGB, 16-bit RLE, ProPhoto RGB embedded'),
    'im-rgb-srgb.psd': ('sRGB', 'srgb', 8, 'RGB, 8-bit RLE, sRGB embedded: shown as stored'),
}


def run(*args):
    subprocess.run(args, check=True)


def write_psd(name, space, profile, depth):
    cmd = ['/usr/bin/convert', '-seed', '4242'] + LAYERS + COMPOSITE
    if space != 'sRGB':
        cmd += ['-colorspace', space]
    if profile:
        cmd += ['-profile', PROFILES[profile]]
    cmd += ['-endian', 'MSB', '-depth', str(depth), '-compress', 'RLE', os.path.join(OUT, name)]
    run(*cmd)


def planes(cdl, ids, w, h, depth, version):
    by_id = {int(ch.id): k for k, ch in enumerate(cdl_ids(cdl))}
    dt = {8: '>u1', 16: '>u2'}[depth]
    out = []
    for c in ids:
        raw = cdl[1][by_id[c]].get_data(w, h, depth, version)
        out.append(np.frombuffer(raw, dt).reshape(h, w))
    return out


def cdl_ids(cdl):
    return cdl[0].channel_info


def write_tiff(path, stack, photometric):
    """A baseline little-endian TIFF of one strip, without the white point and
    primaries ImageMagick adds (tificc would read those as the colour space)."""
    h, w, spp = stack.shape
    bits = stack.dtype.itemsize * 8
    data = stack.tobytes()
    tags = [(256, 4, 1, w), (257, 4, 1, h), (258, 3, spp, None), (259, 3, 1, 1),
            (262, 3, 1, photometric), (273, 4, 1, None), (277, 3, 1, spp), (278, 4, 1, h),
            (279, 4, 1, len(data)), (284, 3, 1, 1)]
    if photometric == 5:
        tags.append((332, 3, 1, 1))  # InkSet: CMYK
    ifd_size = 2 + 12 * len(tags) + 4
    bits_at = 8 + ifd_size
    data_at = bits_at + 2 * spp
    ifd = struct.pack('<H', len(tags))
    for tag, kind, count, value in tags:
        if tag == 258:
            value = bits if spp == 1 else bits_at
            if spp == 1:
                ifd += struct.pack('<HHIHH', tag, kind, count, value, 0)
                continue
        if tag == 273:
            value = data_at
        if kind == 3:
            ifd += struct.pack('<HHIHH', tag, kind, count, value, 0)
        else:
            ifd += struct.pack('<HHII', tag, kind, count, value)
    ifd += struct.pack('<I', 0)
    with open(path, 'wb') as f:
        f.write(b'II*\x00' + struct.pack('<I', 8) + ifd + struct.pack('<%dH' % spp, *[bits] * spp))
        f.write(data)


def to_srgb(samples, mode, depth, profile_path, tmp):
    """Converts stored planes to 8-bit sRGB with tificc."""
    h, w = samples[0].shape
    if mode == ColorMode.CMYK:
        top = 255 if depth == 8 else 65535
        samples = [top - p.astype(np.int64) for p in samples]  # stored inverted
        raw_kind = 'cmyk'
    elif mode == ColorMode.GRAYSCALE:
        raw_kind = 'gray'
    else:
        raw_kind = 'rgb'
    stack = np.stack(samples, axis=-1).astype('<u1' if depth == 8 else '<u2')
    tif = os.path.join(tmp, 'in.tif')
    write_tiff(tif, stack, {'cmyk': 5, 'gray': 1, 'rgb': 2}[raw_kind])
    out = os.path.join(tmp, 'out.tif')
    run('tificc', '-i' + profile_path, '-o*sRGB', '-t1', '-b', '-c0', tif, out)
    return Image.open(out).convert('RGB')


def reference_layers(path, profile_path, rel_prefix, suffix):
    psd = PSDImage.open(path)
    rec = psd._record
    mode = int(rec.header.color_mode)
    depth = rec.header.depth
    version = rec.header.version
    ids = {ColorMode.GRAYSCALE: [0], ColorMode.CMYK: [0, 1, 2, 3]}.get(mode, [0, 1, 2])
    info = rec._get_layer_info()
    layers = []
    with tempfile.TemporaryDirectory() as tmp:
        for i, (r, cdl) in enumerate(zip(info.layer_records, info.channel_image_data)):
            w, h = r.right - r.left, r.bottom - r.top
            entry = {'index': i, 'top': r.top, 'left': r.left, 'width': w, 'height': h,
                     'channels': [{'id': int(c.id), 'length': c.length} for c in r.channel_info]}
            if w > 0 and h > 0:
                pair = (r, cdl)
                image = to_srgb(planes(pair, ids, w, h, depth, version), mode, depth,
                                profile_path, tmp)
                entry['reference'] = '%s.layer-%d.%s.png' % (rel_prefix, i, suffix)
                image.save(os.path.join(os.path.dirname(path), entry['reference']))
                if -1 in [int(c.id) for c in r.channel_info]:
                    alpha = planes(pair, [-1], w, h, depth, version)[0]
                    if depth == 16:
                        alpha = (alpha.astype(np.uint64) * 255 + 32767) // 65535
                    entry['alpha'] = '%s.layer-%d.alpha.png' % (rel_prefix, i)
                    alpha_path = os.path.join(os.path.dirname(path), entry['alpha'])
                    if not os.path.exists(alpha_path):  # the older corpus has its own
                        Image.fromarray(alpha.astype(np.uint8), 'L').save(alpha_path)
            layers.append(entry)
    return psd, layers


def composite_reference(path, profile_path, name):
    """The merged image's colour planes as stored, through tificc; its
    transparency (the channel behind the colour planes) where there is one."""
    psd = PSDImage.open(path)
    h = psd._record.header
    mode = int(h.color_mode)
    count = {ColorMode.GRAYSCALE: 1, ColorMode.CMYK: 4}.get(mode, 3)
    dt = {8: '>u1', 16: '>u2'}[h.depth]
    try:
        planes = [np.frombuffer(raw, dt)[:h.width * h.height].reshape(h.height, h.width)
                  for raw in psd._record.image_data.get_data(h)]
    except Exception as e:  # ImageMagick cuts some 16-bit merged images short
        return {'reference': None, 'why': 'psd-tools cannot decode the merged image: %s' % e}
    entry = {'reference': name + '.composite.srgb.png'}
    with tempfile.TemporaryDirectory() as tmp:
        to_srgb(planes[:count], mode, h.depth, profile_path, tmp).save(
            os.path.join(OUT, entry['reference']))
    if len(planes) > count:
        alpha = planes[count]
        if h.depth == 16:
            alpha = (alpha.astype(np.uint64) * 255 + 32767) // 65535
        entry['alpha'] = name + '.composite.alpha.png'
        Image.fromarray(alpha.astype(np.uint8), 'L').save(os.path.join(OUT, entry['alpha']))
    return entry


def main():
    os.makedirs(OUT, exist_ok=True)
    with open(os.path.join(OUT, 'README.md'), 'w') as f:
        f.write('# Colour-profile corpus\n\nGenerated by `scripts/corpus/icc.py` '
                '(through `scripts/make-corpus`); do not edit by hand.\n' + __doc__.split('\n', 3)[3])
    for name, (space, key, depth, covers) in FILES.items():
        write_psd(name, space, key, depth)
        path = os.path.join(OUT, name)
        embedded = PSDImage.open(path).image_resources.get_data(Resource.ICC_PROFILE)
        profile_path = PROFILES[key] if key else PROFILES['swop']
        if key:
            assert embedded == open(PROFILES[key], 'rb').read(), name
        else:
            assert embedded is None, name
        psd, layers = reference_layers(path, profile_path, name, 'srgb')
        h = psd._record.header
        side = {
            'file': name, 'writer': 'ImageMagick', 'covers': covers,
            'header': {'version': h.version, 'channels': h.channels, 'rows': h.height,
                       'columns': h.width, 'depth': h.depth, 'colorMode': int(h.color_mode)},
            'profile': os.path.basename(PROFILES[key]) if key else None,
            'referenceProfile': os.path.basename(profile_path),
            'referenceMadeWith': 'tificc -i<profile> -o*sRGB -t1 -b -c0 (liblcms2-utils)',
            'layers': layers,
            'composite': composite_reference(path, profile_path, name),
        }
        with open(path + '.json', 'w') as f:
            json.dump(side, f, indent=1)
            f.write('\n')
    # The CMYK files of the colour and PSB corpus, which have no profile.
    for rel in ('colour/im-cmyk.psd', 'psb/im-cmyk.psb'):
        path = os.path.join(CORPUS, rel)
        _, layers = reference_layers(path, PROFILES['swop'], os.path.basename(rel), 'swop')
        with open(path + '.swop.json', 'w') as f:
            json.dump({'file': os.path.basename(rel), 'referenceProfile': 'default_cmyk.icc',
                       'layers': layers}, f, indent=1)
            f.write('\n')


if __name__ == '__main__':
    main()
