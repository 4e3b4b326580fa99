// The live plots: one line per drawn iteration, redrawn at most a few
// times a second whatever the pace of the generations.
import uPlot from 'uplot';

const REDRAW_MS = 250;
const HAPLOTYPE_FIELDS = ['pAB', 'pAb', 'paB', 'pab'];
const HAPLOTYPE_COLOURS = ['#1b9e77', '#d95f02', '#7570b3', '#e7298a'];

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
  }
}

export class LivePlots {
  constructor() {
    this.p = new LivePlot(document.getElementById('plot-p'), 'frequency', [0, 1]);
    this.d = new LivePlot(document.getElementById('plot-d'), 'D', null);
    this.h = new LivePlot(document.getElementById('plot-h'), 'heterozygosity', [0, 0.5]);
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
    if (!this.fields) return;
    let maxGen = 0;
    for (const s of this.series.values()) if (s.gens.length) maxGen = Math.max(maxGen, s.gens[s.gens.length - 1]);
    if (maxGen === 0) return;
    const stride = this.stride;
    const n = Math.floor(maxGen / stride);
    const x = Array.from({ length: n }, (_, k) => (k + 1) * stride);
    const column = (s, field) => {
      const f = this.fields.indexOf(field);
      const out = new Array(n).fill(null);
      s.gens.forEach((g, k) => {
        const at = g / stride - 1;
        if (at >= 0 && at < n) out[at] = s.vals[f][k];
      });
      return out;
    };
    const iters = [...this.series.keys()].sort((a, b) => a - b);
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
    iters.forEach((iter, k) => {
      const s = this.series.get(iter);
      p.push({ label: `A ${iter}`, stroke: colour(k), values: column(s, 'pA') });
      p.push({ label: `B ${iter}`, stroke: colour(k), dash: [6, 4], values: column(s, 'pB') });
      if (hap) {
        HAPLOTYPE_FIELDS.forEach((field, j) => d.push({ label: `${field} ${iter}`, stroke: HAPLOTYPE_COLOURS[j], values: column(s, field) }));
      } else {
        d.push({ label: `D ${iter}`, stroke: colour(k), values: column(s, 'D') });
      }
      h.push({ label: `He A ${iter}`, stroke: colour(k), values: column(s, 'HeA') });
      h.push({ label: `He B ${iter}`, stroke: colour(k), dash: [6, 4], values: column(s, 'HeB') });
    });
    p.push(...theory('pA', 'expected A', undefined), ...theory('pB', 'expected B', [10, 5]));
    if (hap) HAPLOTYPE_FIELDS.forEach((f) => d.push(...theory(f, `expected ${f}`, [10, 5])));
    else d.push(...theory('D', 'expected D', undefined));
    h.push(...theory('HeA', 'expected He A', undefined), ...theory('HeB', 'expected He B', [10, 5]));
    this.p.draw(x, p);
    this.d.draw(x, d);
    this.h.draw(x, h);
    this.draws += 1;
    document.getElementById('plots').dataset.draws = String(this.draws);
  }
}
