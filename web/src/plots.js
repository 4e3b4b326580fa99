// The live plots: one line per drawn iteration, redrawn at most a few
// times a second whatever the pace of the generations; kept runs drawn
// beneath in grey; each plot's last drawing kept for its export. The
// statistics are named as the trajectory file's columns.
import uPlot from 'uplot';

const REDRAW_MS = 250;
const HAPLOTYPE_COLOURS = ['#1b9e77', '#d95f02', '#7570b3', '#e7298a'];
const OVERLAY_COLOURS = ['#9a9a9a', '#c9a2a2', '#a2b5c9', '#b5c9a2'];

function colour(k) {
  return `hsl(${(k * 137) % 360} 65% 42%)`;
}

function size(el) {
  const width = Math.max(240, el.clientWidth || 320);
  return { width, height: Math.round(Math.min(260, width * 0.62)) };
}

class LivePlot {
  constructor(el, yLabel, yRange) {
    this.el = el;
    this.yLabel = yLabel;
    this.yRange = yRange;
    this.plot = null;
    this.signature = '';
  }

  draw(x, lines) {
    this.last = { x, lines };
    const signature = lines.map((l) => `${l.label}|${l.stroke}|${l.dash || ''}`).join(';');
    const data = [x, ...lines.map((l) => l.values)];
    if (this.plot && signature === this.signature) {
      this.plot.setData(data);
      return;
    }
    if (this.plot) this.plot.destroy();
    this.signature = signature;
    const { width, height } = size(this.el);
    this.plot = new uPlot({
      width, height,
      legend: { show: false },
      cursor: { show: false },
      scales: { x: { time: false }, y: this.yRange ? { range: this.yRange } : { auto: true } },
      axes: [{ label: 'generation' }, { label: this.yLabel }],
      series: [{}, ...lines.map((l) => ({
        label: l.label, stroke: l.stroke, width: l.width || 1, dash: l.dash, spanGaps: false, points: { show: false },
      }))],
    }, data, this.el);
  }

  resize() {
    if (this.plot) this.plot.setSize(size(this.el));
  }

  clear() {
    if (this.plot) this.plot.destroy();
    this.plot = null;
    this.signature = '';
    this.last = null;
  }

  // What the plot shows, for its export; null before anything is drawn.
  figure(title, caption) {
    if (!this.last) return null;
    return { title: `${caption}. ${title}`, heading: caption, subtitle: title, xLabel: 'generation', yLabel: this.yLabel, x: this.last.x, lines: this.last.lines, yRange: this.yRange };
  }

  canvas() {
    return this.plot ? this.plot.ctx.canvas : null;
  }
}

export class LivePlots {
  // haplotypes: the catalogue's haplotype names (AB, Ab, aB, ab).
  constructor(haplotypes) {
    this.p = new LivePlot(document.getElementById('plot-p'), 'frequency', [0, 1]);
    this.d = new LivePlot(document.getElementById('plot-d'), 'D', null);
    this.h = new LivePlot(document.getElementById('plot-h'), 'heterozygosity', [0, 0.5]);
    this.haplotypeFields = haplotypes.map((h) => `p_${h}`);
    this.overlays = [];
    this.ldChoice = document.getElementById('ld-choice');
    this.ldChoice.addEventListener('change', () => this.redraw());
    window.addEventListener('resize', () => [this.p, this.d, this.h].forEach((p) => p.resize()));
    this.start(null);
  }

  // A new run: forget the old lines; expectation(t) gives the
  // deterministic values at generation t, or null where theory gives none.
  start(expectation) {
    this.series = new Map();
    this.stride = 1;
    this.fields = null;
    this.expectation = expectation;
    this.pending = false;
    this.lastDraw = 0;
    this.draws = 0;
    [this.p, this.d, this.h].forEach((p) => p.clear());
  }

  // The lines of the run drawn now, to keep with the run.
  snapshot() {
    return { series: this.series, stride: this.stride, fields: this.fields };
  }

  // Kept runs drawn beneath the live lines: [{label, snapshot}].
  setOverlays(overlays) {
    this.overlays = overlays.filter((o) => o.snapshot && o.snapshot.fields);
    this.redraw();
  }

  add(msg) {
    this.fields = msg.fields;
    this.stride = msg.stride;
    if (msg.reset) this.series = new Map();
    for (const it of msg.iters) {
      let s = this.series.get(it.iter);
      if (!s || it.from === 0) {
        s = { gens: [], vals: msg.fields.map(() => []) };
        this.series.set(it.iter, s);
      }
      s.gens.push(...it.gens);
      it.vals.forEach((v, k) => s.vals[k].push(...v));
    }
    this.schedule();
  }

  schedule() {
    if (this.pending) return;
    const wait = Math.max(0, REDRAW_MS - (performance.now() - this.lastDraw));
    this.pending = true;
    setTimeout(() => {
      this.pending = false;
      this.lastDraw = performance.now();
      this.redraw();
    }, wait);
  }

  redraw() {
    const drawn = [{ own: true, series: this.series, stride: this.stride, fields: this.fields }, ...this.overlays
      .map((o, k) => ({ own: false, label: o.label, colour: OVERLAY_COLOURS[k % OVERLAY_COLOURS.length], ...o.snapshot }))]
      .filter((d) => d.fields);
    if (drawn.length === 0) return;
    let maxGen = 0;
    let stride = 1;
    for (const d of drawn) {
      stride = Math.max(stride, d.stride);
      for (const s of d.series.values()) if (s.gens.length) maxGen = Math.max(maxGen, s.gens[s.gens.length - 1]);
    }
    if (maxGen === 0) return;
    const n = Math.floor(maxGen / stride) + 1;
    const x = Array.from({ length: n }, (_, k) => k * stride);
    const column = (d, s, field) => {
      const f = d.fields.indexOf(field);
      const out = new Array(n).fill(null);
      if (f < 0) return out;
      s.gens.forEach((g, k) => {
        if (g % stride !== 0) return;
        const at = g / stride;
        if (at >= 0 && at < n) out[at] = s.vals[f][k];
      });
      return out;
    };
    const expect = this.expectation ? x.map((g) => this.expectation(g)) : null;
    const expected = (field) => (expect && expect[0] && expect[0][field] !== undefined
      ? expect.map((e) => (e ? e[field] : null)) : null);
    const theory = (field, label, dash) => {
      const values = expected(field);
      return values ? [{ label, stroke: '#111', width: 3, dash, values }] : [];
    };

    const p = [];
    const d = [];
    const h = [];
    const hap = this.ldChoice.value === 'hap';
    // Kept runs first, so the live lines are drawn over them.
    for (const run of [...drawn.slice(1), drawn[0]]) {
      const iters = [...run.series.keys()].sort((a, b) => a - b);
      iters.forEach((iter, k) => {
        const s = run.series.get(iter);
        const stroke = run.own ? colour(k) : run.colour;
        const name = run.own ? `${iter}` : `${run.label}, ${iter}`;
        p.push({ label: `A ${name}`, stroke, values: column(run, s, 'p_A') });
        p.push({ label: `B ${name}`, stroke, dash: [6, 4], values: column(run, s, 'p_B') });
        if (hap) {
          this.haplotypeFields.forEach((field, j) => d.push({
            label: `${field} ${name}`, stroke: run.own ? HAPLOTYPE_COLOURS[j % 4] : run.colour, values: column(run, s, field),
          }));
        } else {
          d.push({ label: `D ${name}`, stroke, values: column(run, s, 'D') });
        }
        h.push({ label: `He A ${name}`, stroke, values: column(run, s, 'He_A') });
        h.push({ label: `He B ${name}`, stroke, dash: [6, 4], values: column(run, s, 'He_B') });
        if (run.own) {
          h.push({ label: `Ho A ${name}`, stroke, dash: [1, 3], values: column(run, s, 'Ho_A') });
          h.push({ label: `Ho B ${name}`, stroke, dash: [1, 6], values: column(run, s, 'Ho_B') });
        }
      });
    }
    p.push(...theory('p_A', 'expected A', undefined), ...theory('p_B', 'expected B', [10, 5]));
    if (hap) this.haplotypeFields.forEach((f) => d.push(...theory(f, `expected ${f}`, [10, 5])));
    else d.push(...theory('D', 'expected D', undefined));
    h.push(...theory('He_A', 'expected He A', undefined), ...theory('He_B', 'expected He B', [10, 5]));
    this.p.draw(x, p);
    this.d.draw(x, d);
    this.h.draw(x, h);
    this.draws += 1;
    document.getElementById('plots').dataset.draws = String(this.draws);
  }

  // The three plots with their captions, for export.
  all() {
    const ld = this.ldChoice.value === 'hap' ? 'Haplotype frequencies' : 'Linkage disequilibrium D';
    return [
      { id: 'p', plot: this.p, caption: 'Allele frequencies of A (solid) and B (dashed)' },
      { id: 'd', plot: this.d, caption: ld },
      { id: 'h', plot: this.h, caption: 'Heterozygosity: expected 2pq (solid A, dashed B), observed (dotted)' },
    ];
  }
}
