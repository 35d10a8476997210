// Benchmark peer: reads a PSD with ag-psd and decodes every layer's pixels into RGBA image data.
// Usage: NODE_PATH=<dir holding node_modules/ag-psd> node ag-psd-read.js FILE.psd
// useImageData keeps ag-psd off the canvas path and the pixels unpremultiplied; its default image
// data factory still asks a canvas for one, so a plain typed-array factory is installed instead
// (no node-canvas needed). All decoded layers stay referenced until the end, as a viewer would.
'use strict';
const fs = require('fs');
const { readPsd, initializeCanvas } = require('ag-psd');

initializeCanvas(
  () => {
    throw new Error('canvas requested although useImageData is set');
  },
  (width, height) => ({ width, height, data: new Uint8ClampedArray(width * height * 4) }),
);

const file = process.argv[2];
if (!file) {
  console.error('usage: ag-psd-read.js FILE.psd');
  process.exit(2);
}
const psd = readPsd(fs.readFileSync(file), { useImageData: true, skipThumbnail: true });

let layers = 0;
let bytes = 0;
const walk = (children) => {
  for (const layer of children || []) {
    if (layer.children) walk(layer.children);
    const w = (layer.right || 0) - (layer.left || 0);
    const h = (layer.bottom || 0) - (layer.top || 0);
    if (w <= 0 || h <= 0) continue;
    if (!layer.imageData || layer.imageData.data.length !== w * h * 4) {
      console.error(`layer ${layers} (${layer.name}) has no decoded pixels`);
      process.exit(1);
    }
    bytes += layer.imageData.data.length;
    layers += 1;
  }
};
walk(psd.children);
console.log(`${layers} layers, ${bytes} decoded bytes`);
