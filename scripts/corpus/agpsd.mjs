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
