// Writes the ag-psd part of the PSD interoperability corpus.
// Usage: node agpsd.mjs AG_PSD_DIR OUTDIR
// AG_PSD_DIR is the folder where the npm package ag-psd is installed
// (outside the repository). Layers are given as plain imageData objects
// ({width, height, data: Uint8ClampedArray} RGBA), so no canvas is needed.
import { createRequire } from 'node:module';
import { mkdirSync, writeFileSync } from 'node:fs';
import { join } from 'node:path';

const [agDir, out] = process.argv.slice(2);
if (!agDir || !out) throw new Error('usage: node agpsd.mjs AG_PSD_DIR OUTDIR');
const require = createRequire(join(agDir, 'package.json'));
const { writePsdBuffer } = require('ag-psd');

// Small deterministic PRNG (mulberry32).
function rng(seed) {
  let a = seed >>> 0;
  return () => {
    a = (a + 0x6d2b79f5) >>> 0;
    let t = a;
    t = Math.imul(t ^ (t >>> 15), t | 1);
    t ^= t + Math.imul(t ^ (t >>> 7), t | 61);
    return ((t ^ (t >>> 14)) >>> 0) / 4294967296;
  };
}

// RGBA image: gradient plus noise; alpha is 'opaque', 'ramp' or 'hole'.
function image(width, height, seed, alpha = 'opaque') {
  const r = rng(seed);
  const data = new Uint8ClampedArray(width * height * 4);
  for (let y = 0; y < height; y++) {
    for (let x = 0; x < width; x++) {
      const i = (y * width + x) * 4;
      const fx = width > 1 ? x / (width - 1) : 0.5;
      const fy = height > 1 ? y / (height - 1) : 0.5;
      data[i] = 255 * fx * 0.8 + r() * 50;
      data[i + 1] = 255 * fy * 0.8 + r() * 50;
      data[i + 2] = ((seed * 37) & 255) * 0.7 + r() * 70;
      let a = 255;
      if (alpha === 'ramp') a = 255 * (1 - fx) * 0.9 + r() * 25;
      if (alpha === 'hole') a = (x + y) % 5 === 0 ? 0 : 200 + r() * 55;
      data[i + 3] = a;
    }
  }
  return { width, height, data };
}

function layer(name, left, top, w, h, seed, alpha) {
  return { name, left, top, imageData: image(w, h, seed, alpha) };
}

function write(file, psd, options = {}) {
  const buf = writePsdBuffer(psd, options);
  writeFileSync(join(out, file), buf);
}

mkdirSync(join(out, 'deep'), { recursive: true });
mkdirSync(join(out, 'colour'), { recursive: true });

// Main: 14 layers, opaque bottom layer (written without channel -1),
// alpha layers, odd sizes, a layer larger than and crossing the canvas,
// an empty (zero-size) layer and a 300-character name.
const longName = 'Long layer name ' + 'abcdefghij'.repeat(29).slice(0, 284);
const W = 64, H = 48;
write('ag-layers.psd', {
  width: W, height: H,
  imageData: image(W, H, 1),
  children: [
    layer('Background', 0, 0, W, H, 2),
    layer('Ramp alpha', 30, 5, 20, 14, 3, 'ramp'),
    layer('Opaque small', 3, 30, 7, 9, 4),
    layer('One pixel', 40, 40, 1, 1, 5),
    layer('Column', 62, 2, 1, 11, 6),
    layer('Row', 5, 46, 11, 1, 7),
    layer('Wide strip', -120, 20, 300, 3, 8, 'ramp'),
    layer('Off top-left', -4, -3, 9, 8, 9, 'hole'),
    layer('Off bottom-right', 58, 44, 10, 7, 10),
    { name: 'Empty' },
    layer(longName, 12, 12, 6, 5, 11),
    layer('Holes', 20, 25, 17, 13, 12, 'hole'),
    layer('Hidden', 44, 8, 8, 8, 13),
    layer('Last', 0, 0, 5, 5, 14, 'ramp'),
  ].map((l) => (l.name === 'Hidden' ? { ...l, hidden: true } : l)),
});

// No children: ag-psd still writes one empty, nameless layer.
write('ag-no-children.psd', { width: 37, height: 23, imageData: image(37, 23, 21) });

// ZIP (ag-psd's "compress" option).
write('deep/ag-zip.psd', {
  width: 40, height: 30,
  imageData: image(40, 30, 31),
  children: [
    layer('Background', 0, 0, 40, 30, 32),
    layer('Ramp alpha', 7, 5, 23, 17, 33, 'ramp'),
    layer('Tiny', 38, 28, 3, 3, 34),
  ],
}, { compress: true });

// Non-ASCII names: need the 'luni' block; the Pascal name gets '?'.
write('colour/ag-unicode-names.psd', {
  width: 32, height: 24,
  imageData: image(32, 24, 41),
  children: [
    layer('Café crème', 0, 0, 32, 24, 42),
    layer('日本語レイヤー', 4, 3, 12, 9, 43, 'ramp'),
    layer('Emoji 😀 outside the BMP', 18, 10, 10, 10, 44),
    layer('Ωmega – “quotes”', 2, 16, 9, 6, 45, 'hole'),
  ],
});

// ---------------------------------------------------------------------------
// PSB (file header version 2): ag-psd's "psb" write option.
mkdirSync(join(out, 'psb'), { recursive: true });
write('psb/ag-layers.psb', {
  width: 48, height: 32,
  imageData: image(48, 32, 51),
  children: [
    layer('Background', 0, 0, 48, 32, 52),
    layer('Ramp alpha', 9, 6, 23, 17, 53, 'ramp'),
    { ...layer('Hidden holes', 30, 2, 12, 10, 54, 'hole'), hidden: true },
    layer('Off edge ü', -3, 25, 11, 9, 55, 'ramp'),
    { name: 'Group Ω', opened: true, children: [layer('Inside 日本', 20, 14, 15, 11, 56, 'hole')] },
  ],
}, { psb: true });

// ---------------------------------------------------------------------------
// Whole documents: groups, hidden layers, opacity, clipping, user masks and a
// merged image drawn here by compositing the layers the plain way (normal and
// multiply, straight alpha, groups pass through), so the merged image is real.

// Mask image: RGBA whose red byte is the mask value (ag-psd stores byte 0).
function maskImage(width, height, seed) {
  const r = rng(seed);
  const data = new Uint8ClampedArray(width * height * 4);
  for (let y = 0; y < height; y++) {
    for (let x = 0; x < width; x++) {
      const i = (y * width + x) * 4;
      const v = x < width / 3 ? 0 : x < (2 * width) / 3 ? 128 + r() * 20 : 255;
      data[i] = data[i + 1] = data[i + 2] = v;
      data[i + 3] = 255;
    }
  }
  return { width, height, data };
}

// Straight-alpha "over" of one layer pixel onto the canvas, with the layer's
// blend mode (normal or multiply) applied where the backdrop is present.
function blendPixel(dst, i, sr, sg, sb, sa, mode) {
  if (sa <= 0) return;
  const ba = dst[i + 3];
  const ra = sa + ba * (1 - sa);
  const src = [sr, sg, sb];
  for (let c = 0; c < 3; c++) {
    const cb = dst[i + c], cs = src[c];
    const mixed = mode === 'multiply' ? cb * cs : cs;
    const co = cs * (1 - ba) + mixed * ba;
    dst[i + c] = ra > 0 ? (co * sa + cb * ba * (1 - sa)) / ra : 0;
  }
  dst[i + 3] = ra;
}

function maskAt(mask, x, y) {
  if (!mask) return 1;
  const { top, left, imageData: m } = mask;
  const mx = x - left, my = y - top;
  if (mx < 0 || my < 0 || mx >= m.width || my >= m.height) return (mask.defaultColor || 0) / 255;
  return m.data[(my * m.width + mx) * 4] / 255;
}

function alphaAt(l, x, y) {
  const d = l.imageData;
  const lx = x - l.left, ly = y - l.top;
  if (lx < 0 || ly < 0 || lx >= d.width || ly >= d.height) return 0;
  return d.data[(ly * d.width + lx) * 4 + 3] / 255;
}

// children bottom-most first, as ag-psd takes them. A clipped layer uses the
// pixel alpha of the nearest unclipped layer below it in the same group.
function compositeInto(dst, W, H, children) {
  let base = null;
  for (const l of children) {
    if (!l.clipping) base = l;
    if (l.hidden) continue;
    if (l.children) { compositeInto(dst, W, H, l.children); continue; }
    if (!l.imageData) continue;
    const d = l.imageData, op = l.opacity ?? 1;
    for (let y = Math.max(0, l.top); y < Math.min(H, l.top + d.height); y++) {
      for (let x = Math.max(0, l.left); x < Math.min(W, l.left + d.width); x++) {
        const s = ((y - l.top) * d.width + (x - l.left)) * 4;
        let a = (d.data[s + 3] / 255) * op * maskAt(l.mask, x, y);
        if (l.clipping) a *= base && base !== l && !base.children ? alphaAt(base, x, y) : 0;
        blendPixel(dst, (y * W + x) * 4, d.data[s] / 255, d.data[s + 1] / 255, d.data[s + 2] / 255, a, l.blendMode);
      }
    }
  }
}

function merged(W, H, children) {
  const f = new Float64Array(W * H * 4);
  compositeInto(f, W, H, children);
  const data = new Uint8ClampedArray(W * H * 4);
  for (let i = 0; i < f.length; i++) data[i] = Math.round(f[i] * 255);
  return { width: W, height: H, data };
}

function document(file, W, H, children, options = {}) {
  write(file, { width: W, height: H, imageData: merged(W, H, children), children }, options);
}

mkdirSync(join(out, 'document'), { recursive: true });

// Nested groups: an open outer group holding a closed inner group; hidden
// layer and hidden group; opacity 128; a clipped layer; a multiply layer.
document('document/ag-groups.psd', 48, 32, [
  layer('Background', 0, 0, 48, 32, 61),
  {
    name: 'Outer open', opened: true, children: [
      layer('Outer bottom', 2, 3, 20, 14, 62, 'ramp'),
      {
        name: 'Inner closed', opened: false, children: [
          layer('Inner base', 14, 8, 18, 16, 63, 'hole'),
          { ...layer('Clipped to inner base', 10, 4, 30, 22, 64), clipping: true },
          { ...layer('Half opacity', 24, 12, 16, 12, 65), opacity: 128 / 255 },
        ],
      },
      { ...layer('Hidden in outer', 0, 0, 12, 12, 66), hidden: true },
    ],
  },
  { name: 'Hidden group', opened: true, hidden: true, children: [layer('In hidden group', 30, 20, 10, 8, 67)] },
  { ...layer('Multiply on top', 33, 2, 12, 26, 68, 'ramp'), blendMode: 'multiply' },
]);

// User masks (channel -2) with their own rectangles: default colour 0 (outside
// the rectangle hidden) and 255 (outside shown); one rectangle reaches past
// its layer and the canvas.
document('document/ag-masks.psd', 40, 30, [
  layer('Background', 0, 0, 40, 30, 71),
  { ...layer('Mask default 0', 4, 3, 24, 18, 72), mask: { top: 6, left: 8, defaultColor: 0, imageData: maskImage(15, 10, 73) } },
  { ...layer('Mask default 255', 14, 10, 22, 16, 74, 'ramp'), mask: { top: 20, left: 30, defaultColor: 255, imageData: maskImage(14, 12, 75) } },
  { name: 'Group with a masked layer', opened: true, children: [
    { ...layer('Masked in group', 1, 18, 12, 10, 76), mask: { top: 16, left: 0, defaultColor: 255, imageData: maskImage(6, 14, 77) } },
  ] },
]);

// No opaque layer: the merged image has transparency (4 channels, negative
// layer count) and ag-psd mattes its half-transparent pixels against white.
document('document/ag-transparent.psd', 36, 24, [
  layer('Ramp alpha', 0, 0, 36, 24, 81, 'ramp'),
  layer('Holes', 6, 4, 20, 14, 82, 'hole'),
  { ...layer('Half opacity', 18, 10, 14, 12, 83), opacity: 128 / 255 },
]);
