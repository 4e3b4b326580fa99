// Figures to keep: each plot as an SVG drawing written from its data, or as
// a PNG of its canvas, both under a title that says in words what was run.

const WIDTH = 860;
const HEIGHT = 520;
const MARGIN = { left: 78, right: 24, top: 0, bottom: 58 };
const FONT = 'system-ui, Helvetica, Arial, sans-serif';

export function escapeXml(text) {
  return String(text).replace(/[<>&'"]/g, (c) => ({ '<': '&lt;', '>': '&gt;', '&': '&amp;', "'": '&apos;', '"': '&quot;' }[c]));
}

// Splits a title into lines of at most `width` characters, at spaces.
export function wrap(text, width) {
  const lines = [];
  let line = '';
  for (const word of String(text).split(/\s+/).filter(Boolean)) {
    if (line && line.length + 1 + word.length > width) {
      lines.push(line);
      line = word;
    } else {
      line = line ? `${line} ${word}` : word;
    }
  }
  if (line) lines.push(line);
  return lines;
}

// Round steps for an axis from lo to hi: about `count` of them.
export function ticks(lo, hi, count = 6) {
  if (!(hi > lo)) return [lo];
  const raw = (hi - lo) / count;
  const power = 10 ** Math.floor(Math.log10(raw));
  const step = [1, 2, 2.5, 5, 10].map((m) => m * power).find((s) => s >= raw);
  const out = [];
  for (let v = Math.ceil(lo / step - 1e-9) * step; v <= hi + step * 1e-9; v += step) out.push(Number(v.toPrecision(12)));
  return out;
}

function range(lines, fixed) {
  if (fixed) return fixed;
  let lo = Infinity;
  let hi = -Infinity;
  for (const l of lines) {
    for (const v of l.values) {
      if (v !== null && Number.isFinite(v)) {
        lo = Math.min(lo, v);
        hi = Math.max(hi, v);
      }
    }
  }
  if (!Number.isFinite(lo)) return [0, 1];
  if (lo === hi) return [lo - 0.5, hi + 0.5];
  const pad = (hi - lo) * 0.05;
  return [lo - pad, hi + pad];
}

// figure: {title, xLabel, yLabel, x: [...], lines: [{label, stroke, width,
// dash, values: [... or null]}], yRange: [lo, hi] or null}. Returns the
// SVG document as text.
export function svgOf(figure) {
  // The heading (what the plot shows) in bold, the settings in words below.
  const heading = figure.heading ? wrap(figure.heading, 90) : [];
  const titleLines = [...heading, ...wrap(figure.heading ? figure.subtitle : figure.title, 110)];
  const top = 18 + titleLines.length * 20;
  const plotW = WIDTH - MARGIN.left - MARGIN.right;
  const plotH = HEIGHT - top - MARGIN.bottom;
  const x = figure.x;
  const xLo = figure.xRange ? figure.xRange[0] : (x.length ? Math.min(0, x[0]) : 0);
  const xHi = figure.xRange ? figure.xRange[1] : (x.length ? x[x.length - 1] : 1);
  const [yLo, yHi] = range(figure.lines, figure.yRange);
  const px = (v) => MARGIN.left + ((v - xLo) / (xHi - xLo || 1)) * plotW;
  const py = (v) => top + plotH - ((v - yLo) / (yHi - yLo || 1)) * plotH;
  const barred = figure.lines.filter((l) => l.bars);
  const out = [];
  out.push(`<svg xmlns="http://www.w3.org/2000/svg" width="${WIDTH}" height="${HEIGHT}" viewBox="0 0 ${WIDTH} ${HEIGHT}" font-family="${FONT}">`);
  out.push(`<title>${escapeXml(figure.title)}</title>`);
  out.push(`<rect width="${WIDTH}" height="${HEIGHT}" fill="#ffffff"/>`);
  titleLines.forEach((line, k) => {
    const bold = k < Math.max(1, heading.length);
    out.push(`<text x="${WIDTH / 2}" y="${22 + k * 20}" font-size="${bold ? 16 : 14}" text-anchor="middle" font-weight="${bold ? 600 : 400}">${escapeXml(line)}</text>`);
  });
  out.push(`<g stroke="#d0d0d0" stroke-width="1" font-size="12" fill="#333">`);
  for (const t of ticks(xLo, xHi)) {
    out.push(`<line x1="${px(t).toFixed(1)}" y1="${top}" x2="${px(t).toFixed(1)}" y2="${top + plotH}"/>`);
    out.push(`<text stroke="none" x="${px(t).toFixed(1)}" y="${top + plotH + 18}" text-anchor="middle">${t}</text>`);
  }
  for (const t of ticks(yLo, yHi)) {
    out.push(`<line x1="${MARGIN.left}" y1="${py(t).toFixed(1)}" x2="${MARGIN.left + plotW}" y2="${py(t).toFixed(1)}"/>`);
    out.push(`<text stroke="none" x="${MARGIN.left - 8}" y="${(py(t) + 4).toFixed(1)}" text-anchor="end">${t}</text>`);
  }
  out.push('</g>');
  out.push(`<rect x="${MARGIN.left}" y="${top}" width="${plotW}" height="${plotH}" fill="none" stroke="#555"/>`);
  out.push(`<text x="${MARGIN.left + plotW / 2}" y="${HEIGHT - 16}" font-size="14" text-anchor="middle">${escapeXml(figure.xLabel)}</text>`);

  out.push(`<text transform="translate(20 ${top + plotH / 2}) rotate(-90)" font-size="14" text-anchor="middle">${escapeXml(figure.yLabel)}</text>`);
  barred.forEach((line, j) => {
    // Bars of several series side by side within each bin.
    const each = (figure.barWidth || 1) * 0.9 / barred.length;
    line.values.forEach((v, k) => {
      if (!(v > 0)) return;
      const left = px(x[k] - (figure.barWidth || 1) * 0.45 + j * each);
      const right = px(x[k] - (figure.barWidth || 1) * 0.45 + (j + 1) * each);
      out.push(`<rect x="${left.toFixed(1)}" y="${py(v).toFixed(1)}" width="${(right - left).toFixed(1)}" height="${(py(yLo) - py(v)).toFixed(1)}" fill="${escapeXml(line.fill || line.stroke)}" stroke="${escapeXml(line.stroke)}"><title>${escapeXml(`${line.label}: ${v}`)}</title></rect>`);
    });
  });
  // The key of a histogram's series, top right over the bars.
  if (barred.length > 1) {
    barred.forEach((line, j) => {
      const left = MARGIN.left + plotW - 90;
      out.push(`<rect x="${left}" y="${top + 10 + j * 20}" width="14" height="12" fill="${escapeXml(line.fill || line.stroke)}" stroke="${escapeXml(line.stroke)}"/>`);
      out.push(`<text x="${left + 20}" y="${top + 21 + j * 20}" font-size="13">${escapeXml(line.label)}</text>`);
    });
  }
  for (const line of figure.lines.filter((l) => !l.bars)) {
    // A line is broken where it has no value (an iteration already ended).
    const parts = [];
    let part = [];
    line.values.forEach((v, k) => {
      if (v === null || !Number.isFinite(v) || k >= x.length) {
        if (part.length) parts.push(part);
        part = [];
      } else {
        part.push(`${px(x[k]).toFixed(1)},${py(Math.min(yHi, Math.max(yLo, v))).toFixed(1)}`);
      }
    });
    if (part.length) parts.push(part);
    const dash = line.dash ? ` stroke-dasharray="${line.dash.join(' ')}"` : '';
    for (const p of parts) {
      out.push(`<polyline fill="none" stroke="${escapeXml(line.stroke)}" stroke-width="${line.width || 1}"${dash} points="${p.join(' ')}"><title>${escapeXml(line.label)}</title></polyline>`);
    }
  }
  out.push('</svg>');
  return `${out.join('\n')}\n`;
}

// A PNG of a plot's canvas with the title above it, as a Blob.
export function pngOf(canvas, title) {
  const scale = canvas.width / Math.max(1, canvas.clientWidth || canvas.width);
  const size = Math.round(14 * scale);
  const lines = wrap(title, Math.max(30, Math.floor(canvas.width / (size * 0.55))));
  const band = Math.round((lines.length * 1.4 + 0.8) * size);
  const out = document.createElement('canvas');
  out.width = canvas.width;
  out.height = canvas.height + band;
  const ctx = out.getContext('2d');
  ctx.fillStyle = '#ffffff';
  ctx.fillRect(0, 0, out.width, out.height);
  ctx.fillStyle = '#1a1a1a';
  ctx.font = `${size}px ${FONT}`;
  ctx.textAlign = 'center';
  lines.forEach((line, k) => ctx.fillText(line, out.width / 2, Math.round((k + 1.1) * size * 1.4)));
  ctx.drawImage(canvas, 0, band);
  return new Promise((resolve, reject) => out.toBlob((blob) => (blob ? resolve(blob) : reject(new Error('no PNG'))), 'image/png'));
}

// Offers bytes as a download named `name`.
export function download(blob, name) {
  const a = document.createElement('a');
  a.href = URL.createObjectURL(blob);
  a.download = name;
  document.body.append(a);
  a.click();
  a.remove();
  setTimeout(() => URL.revokeObjectURL(a.href), 60000);
}
