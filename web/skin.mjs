// SPDX-License-Identifier: Apache-2.0
// What the camera mode reads from a frame's RGBA pixels (an ImageData): where the skin is inside
// the guide box, and a region's mean skin colour and row profile. Skin is told by its chroma in
// YCrCb (BT.601): Cr from 138 to 173 and Cb from 77 to 127, whatever the brightness above 40.

const SKIN_SHARE = 0.2;  // a row or column of the guide holding this much skin belongs to the face
const FEWEST_SKIN_PIXELS = 50;

function isSkin(data, at) {
  const r = data[at], g = data[at + 1], b = data[at + 2];
  const y = 0.299 * r + 0.587 * g + 0.114 * b;
  const cr = 128 + 0.713 * (r - y);
  const cb = 128 + 0.564 * (b - y);
  return y >= 40 && cr >= 138 && cr <= 173 && cb >= 77 && cb <= 127;
}

/** Whole pixels of `rect` inside the image: { left, top, right, bottom }, right and bottom excluded. */
function pixelsOf(image, rect) {
  return {
    left: Math.max(0, Math.floor(rect.x)),
    top: Math.max(0, Math.floor(rect.y)),
    right: Math.min(image.width, Math.floor(rect.x + rect.width)),
    bottom: Math.min(image.height, Math.floor(rect.y + rect.height)),
  };
}

/**
 * The face as the box around the guide's rows and columns that are at least SKIN_SHARE skin, or
 * null when the guide holds too little skin.
 */
export function skinBox(image, guide) {
  const { left, top, right, bottom } = pixelsOf(image, guide);
  const rows = new Uint32Array(bottom - top), columns = new Uint32Array(right - left);
  let total = 0;
  for (let y = top; y < bottom; ++y) {
    for (let x = left; x < right; ++x) {
      if (!isSkin(image.data, (y * image.width + x) * 4)) continue;
      ++rows[y - top];
      ++columns[x - left];
      ++total;
    }
  }
  const first = (counts, size) => counts.findIndex((n) => n >= SKIN_SHARE * size);
  const last = (counts, size) => counts.findLastIndex((n) => n >= SKIN_SHARE * size);
  const [y0, y1] = [first(rows, right - left), last(rows, right - left)];
  const [x0, x1] = [first(columns, bottom - top), last(columns, bottom - top)];
  if (total < FEWEST_SKIN_PIXELS || y0 < 0 || x0 < 0) return null;
  return { x: left + x0, y: top + y0, width: x1 - x0 + 1, height: y1 - y0 + 1 };
}

/**
 * Inside `region`: the mean red, green and blue of the skin pixels (NaN when there are too few)
 * and the row profile, the mean brightness of each row (Float32Array).
 */
export function measure(image, region) {
  const { left, top, right, bottom } = pixelsOf(image, region);
  const profile = new Float32Array(Math.max(0, bottom - top));
  const sum = [0, 0, 0];
  let skin = 0;
  for (let y = top; y < bottom; ++y) {
    let brightness = 0;
    for (let x = left; x < right; ++x) {
      const at = (y * image.width + x) * 4;
      const [r, g, b] = [image.data[at], image.data[at + 1], image.data[at + 2]];
      brightness += 0.299 * r + 0.587 * g + 0.114 * b;
      if (!isSkin(image.data, at)) continue;
      sum[0] += r;
      sum[1] += g;
      sum[2] += b;
      ++skin;
    }
    profile[y - top] = brightness / Math.max(1, right - left);
  }
  const colour = skin < FEWEST_SKIN_PIXELS ? [NaN, NaN, NaN] : sum.map((s) => s / skin);
  return { colour, profile };
}
