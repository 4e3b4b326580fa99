// The results panel after a run: fixation counts and probabilities with
// their standard errors (from the run's tallies) and what theory expects
// beside them, mean fixation times beside Kimura and Ohta's and the exact
// chain's, fixation-time histograms and the founder origin of the fixed
// gene copies (from the iteration table, read by its column names).
import uPlot from 'uplot';
import { captioned, fixed } from './tables.js';
import { EXACT_TIMES_MAX_N, exactFixationLaw, fixationLaw, fixationTimesLaw, originShares, wfAbsorptionTimes, zScore } from './theory.js';

function table(caption, head, rows) {
  const t = captioned(caption, head);
  rows.forEach((r) => {
    const row = document.createElement('tr');
    r.forEach((v) => {
      const td = document.createElement('td');
      td.textContent = v;
      row.append(td);
    });
    t.append(row);
  });
  return t;
}

// Rows of the iteration table as objects keyed by its header.
export function readTable(text) {
  const lines = text.split('\n').filter((l) => l.length > 0);
  if (lines.length === 0) return [];
  const head = lines[0].split(',');
  return lines.slice(1).map((line) => {
    const cells = line.split(',');
    return Object.fromEntries(head.map((h, k) => [h, cells[k]]));
  });
}

function histogram(el, series) {
  el.textContent = '';
  el.figure = null;
  el.plot = null;
  const all = series.flatMap((s) => s.values);
  if (all.length === 0) {
    el.textContent = 'Nothing fixed.';
    return;
  }
  const max = Math.max(...all, 1);
  const bins = Math.min(20, Math.max(5, Math.ceil(Math.sqrt(all.length))));
  const width = Math.max(1, Math.ceil((max + 1) / bins));
  const x = Array.from({ length: bins }, (_, k) => k * width + width / 2);
  const counts = series.map((s) => {
    const c = new Array(bins).fill(0);
    s.values.forEach((v) => { c[Math.min(bins - 1, Math.floor(v / width))] += 1; });
    return c;
  });
  const w = Math.max(240, el.clientWidth || 320);
  // eslint-disable-next-line new-cap
  const bars = uPlot.paths.bars({ size: [0.45, 40], align: 0 });
  const fills = ['rgba(27,94,160,0.6)', 'rgba(200,90,20,0.6)'];
  const strokes = ['#1b5ea0', '#c85a14'];
  // What the histogram shows, for its export.
  el.figure = {
    xLabel: 'generations', yLabel: 'iterations', x, xRange: [0, bins * width], barWidth: width,
    yRange: [0, Math.max(1, ...counts.flat()) * 1.08],
    lines: series.map((s, k) => ({ label: s.label, stroke: strokes[k % 2], fill: fills[k % 2], bars: true, values: counts[k] })),
  };
  el.plot = new uPlot({
    width: w, height: Math.round(Math.min(220, w * 0.55)),
    scales: { x: { time: false, range: [0, bins * width] } },
    axes: [{ label: 'generations' }, { label: 'iterations' }],
    legend: { show: false },
    cursor: { show: false },
    series: [{}, ...series.map((s, k) => ({
      label: s.label, fill: fills[k % 2], stroke: strokes[k % 2],
      paths: bars, points: { show: false },
    }))],
  }, [x.map((v, k) => (k === 0 ? v : v)), ...counts], el);
}

const numbers = (rows, column) => rows.map((r) => r[column]).filter((v) => v !== undefined && /^\d+$/.test(v)).map(Number);

// Mean and its standard error of a list of numbers.
function meanOf(values) {
  const n = values.length;
  if (n === 0) return { n, mean: null, se: null };
  const mean = values.reduce((a, b) => a + b, 0) / n;
  const sd = n > 1 ? Math.sqrt(values.reduce((a, v) => a + (v - mean) ** 2, 0) / (n - 1)) : null;
  return { n, mean, se: sd === null ? null : sd / Math.sqrt(n) };
}

// The exact chain's mean times where the population is small enough to
// solve it at once: [if the capital fixes, if the small fixes] or null.
function exactTimes(n, p0) {
  const copies = Math.round(2 * n * p0);
  if (!(n <= EXACT_TIMES_MAX_N) || copies <= 0 || copies >= 2 * n || Math.abs(copies - 2 * n * p0) > 1e-9) return null;
  const t = wfAbsorptionTimes(n, copies);
  return [t.fix, t.loss];
}

// done: the worker's message at the end of the run; info: {ctx, preview}
// (the theory context of the run's settings and its realised founders).
// Returns what the Runs table keeps of the run.
export function showResults(done, prefix, info = {}) {
  const counted = done.tallies[0] - done.tallies[1];
  const fixation = document.getElementById('fixation');
  fixation.textContent = '';
  const rows = [];
  const kept = { counted, genes: [] };
  const csvRows = readTable(new TextDecoder().decode(done.csv));
  const timeRows = [];
  const laws = [];
  const gene = (g, name, capital, small, offset) => {
    const p0 = info.preview ? (g === 0 ? info.preview.pA : info.preview.pB) : null;
    const law = info.ctx ? fixationLaw(info.ctx, g) : null;
    const u = law && p0 !== null ? law.u(p0) : null;
    let exactU = null;
    try {
      const exact = info.ctx && info.preview ? exactFixationLaw(info.ctx, g) : null;
      exactU = exact ? exact(info.preview.founders) : null;
    } catch {
      exactU = null;
    }
    laws.push(`${name}: ${law ? law.label : 'no formula applies to these settings'}${p0 !== null ? `, starting from the realised p0 = ${p0.toFixed(4)}` : ''}.`);
    const keptGene = { name, alleles: [] };
    [capital, small, 'none'].forEach((allele, k) => {
      const n = done.tallies[offset + k];
      const p = counted > 0 ? n / counted : NaN;
      const se = counted > 0 ? Math.sqrt((p * (1 - p)) / counted) : NaN;
      const expected = u === null || k === 2 ? null : (k === 0 ? u : 1 - u);
      const z = expected === null ? null : zScore(p, expected, counted);
      rows.push([name, allele === 'none' ? 'neither' : allele, String(n),
        Number.isFinite(p) ? p.toFixed(4) : 'nc', Number.isFinite(se) ? se.toFixed(4) : 'nc',
        fixed(expected, 4), fixed(z, 2),
        fixed(exactU === null || k === 2 ? null : (k === 0 ? exactU : 1 - exactU), 4)]);
      if (k < 2) keptGene.alleles.push({ allele, p, se, expected });
    });
    const times = law && p0 !== null ? fixationTimesLaw(info.ctx, g) : null;
    const diffusion = times ? times(p0) : null;
    let exact = null;
    if (times) {
      try {
        exact = exactTimes(info.ctx.population, p0);
      } catch {
        exact = null;
      }
    }
    [capital, small].forEach((allele, k) => {
      const values = csvRows.filter((r) => r[`${capital}_all_fixed`] === allele)
        .map((r) => r[`gens_fix_${capital}_all`]).filter((v) => /^\d+$/.test(v || '')).map(Number);
      const m = meanOf(values);
      timeRows.push([name, allele, String(m.n), fixed(m.mean, 1), fixed(m.se, 1),
        diffusion ? fixed(diffusion[k], 1) : '', exact ? fixed(exact[k], 1) : '']);
      keptGene.alleles[k].time = m.mean;
      keptGene.alleles[k].timeExpected = diffusion ? diffusion[k] : null;
    });
    kept.genes.push(keptGene);
  };
  gene(0, 'Alpha', 'A', 'a', 2);
  gene(1, 'Beta', 'B', 'b', 5);
  fixation.append(table(
    `Allele fixation over ${counted} iterations${done.tallies[1] > 0 ? ` (${done.tallies[1]} halted by extinction)` : ''}`,
    ['Gene', 'Allele fixed', 'Iterations', 'Probability', 'SE', 'Theory u (expected)', 'z', 'Exact chain'], rows,
  ));
  const lawText = document.createElement('p');
  lawText.className = 'note';
  lawText.textContent = `Theory: ${laws.join(' ')} z is (observed - expected) / its binomial standard error.`;
  fixation.append(lawText);
  fixation.append(table('Mean generations to fixation, by the allele that fixed',
    ['Gene', 'Allele fixed', 'Iterations', 'Mean', 'SE', 'Kimura and Ohta (expected)', 'Exact Wright-Fisher'], timeRows));
  const summary = document.createElement('p');
  summary.textContent = `${done.generations} generations in ${done.seconds.toFixed(2)} s.`;
  fixation.append(summary);

  const data = csvRows;
  histogram(document.getElementById('hist-all'), [
    { label: 'Alpha', values: numbers(data, 'gens_fix_A_all') },
    { label: 'Beta', values: numbers(data, 'gens_fix_B_all') },
  ]);
  histogram(document.getElementById('hist-copy'), [
    { label: 'Alpha', values: numbers(data, 'gens_fix_A_copy') },
    { label: 'Beta', values: numbers(data, 'gens_fix_B_copy') },
  ]);

  const origins = document.getElementById('origins');
  origins.textContent = '';
  const originRows = [];
  for (const [name, ht, gt] of [['Alpha', 'A_origin_ht', 'A_origin_gt'], ['Beta', 'B_origin_ht', 'B_origin_gt']]) {
    const counts = new Map();
    data.forEach((r) => {
      if (r[ht] && r[ht] !== 'NA' && r[ht] !== 'none') {
        const label = `${r[ht]} in ${r[gt]}`;
        counts.set(label, (counts.get(label) || 0) + 1);
      }
    });
    // Under neutral drift at the gene, each founding chromosome is as
    // likely as any to carry the copy that fixes.
    const law = info.ctx ? fixationLaw(info.ctx, name === 'Alpha' ? 0 : 1) : null;
    const shares = law && law.neutral && info.preview
      ? originShares(info.preview.founders, info.preview.phased) : new Map();
    const total = [...counts.values()].reduce((a, b) => a + b, 0);
    if (total > 0) for (const label of shares.keys()) if (!counts.has(label)) counts.set(label, 0);
    [...counts.entries()].sort((a, b) => b[1] - a[1]).forEach(([label, n]) => {
      const [hap, genotype] = label.split(' in ');
      const expected = shares.size ? total * (shares.get(label) || 0) : null;
      originRows.push([name, hap, genotype, String(n), fixed(expected, 1)]);
    });
  }
  origins.append(originRows.length
    ? table('Founder origin of the fixed gene copies',
      ['Gene', 'Founding chromosome', 'Founder genotype', 'Iterations', 'Expected (neutral: every founding copy alike)'],
      originRows)
    : Object.assign(document.createElement('p'), { textContent: 'No gene copy was tracked to fixation.' }));

  const link = (id, bytes, name, type) => {
    const a = document.getElementById(id);
    if (a.href.startsWith('blob:')) URL.revokeObjectURL(a.href);
    a.href = URL.createObjectURL(new Blob([bytes], { type }));
    a.download = name;
  };
  link('dl-csv', done.csv, `${prefix}.csv`, 'text/csv');
  link('dl-txt', done.txt, `${prefix}.txt`, 'text/plain');
  document.getElementById('results-empty').hidden = true;
  document.getElementById('results-body').hidden = false;
  return kept;
}
