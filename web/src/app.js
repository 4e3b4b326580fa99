// The lab page: the form from the settings catalogue, the run in a worker
// with live plots, the founders a run starts from, the results with theory
// beside them, the runs kept side by side, figures to save, shared links,
// exercises, the console pane, and the lab kept for use offline.
import { SettingsForm } from './form.js';
import { LivePlots } from './plots.js';
import { showResults } from './results.js';
import { expectation, parameters } from './expect.js';
import { EXERCISES } from './exercises.js';
import { startConsole } from './terminal.js';
import { readLink } from './links.js';
import { Runs } from './runs.js';
import { selectionSH, geneFitness, fitnessTable, useCatalogue } from './theory.js';
import { svgOf, pngOf, download } from './export.js';

const $ = (id) => document.getElementById(id);
const status = (text) => { $('status').textContent = text; };

let worker = null;
let form = null;
let catalogue = null;
let rows = null;
let running = false;
let checkId = 0;
const pendingChecks = new Map();
let linkFaults = [];

// Every file a worker needs, fetched once when the page loads and kept as
// blob addresses: a Stop (a new worker) or a console started later needs
// no network, so the lab works offline once loaded.
const FILES = ['worker.js', 'duolocus-engine.js', 'duolocus-engine.wasm',
  'console-worker.js', 'duolocus-console.js', 'duolocus-console.wasm'];
let files = null;

// A fault of the lab itself (a file that did not load, an engine that
// stopped): said on the page with what to do, never left as "Loading…".
function labFault(what) {
  const box = $('lab-fault');
  box.textContent = `${what} Reload the page to try again; if it keeps happening, the lab's files on the server may be damaged or incomplete (build them anew with make web), or this browser may not run WebAssembly.`;
  box.hidden = false;
  status('The engine is not available.');
  document.body.dataset.fault = 'true';
  $('run').disabled = true;
}

async function fetchFiles() {
  const blobs = await Promise.all(FILES.map(async (name) => {
    const response = await fetch(name);
    if (!response.ok) throw new Error(`${name} could not be loaded (${response.status} ${response.statusText}).`);
    return URL.createObjectURL(await response.blob());
  }));
  files = Object.fromEntries(FILES.map((name, k) => [name, blobs[k]]));
  return files;
}

async function fetchCatalogue() {
  const response = await fetch('catalogue.json');
  if (!response.ok) throw new Error(`catalogue.json could not be loaded (${response.status} ${response.statusText}).`);
  return response.json();
}

let engineReady = null;

function newWorker() {
  if (worker) worker.terminate();
  worker = new Worker(files['worker.js']);
  let markReady;
  engineReady = new Promise((resolve) => { markReady = resolve; });
  worker.onmessage = (event) => {
    if (event.data.type === 'ready') markReady();
    onWorkerMessage(event.data);
  };
  worker.onerror = (event) => {
    event.preventDefault();
    labFault(`The lab's engine stopped with an error (${event.message || 'no message'}).`);
  };
  worker.postMessage({ type: 'load', files, statistics: catalogue.statistics });
}

function request(message) {
  return new Promise((resolve) => {
    checkId += 1;
    pendingChecks.set(checkId, resolve);
    worker.postMessage({ ...message, id: checkId });
  });
}

// Page fields that are not settings of a run.
function pageFaults() {
  const faults = {};
  const prefix = $('f-prefix').value.trim();
  if (prefix === '' || /[/\\]/.test(prefix)) faults.prefix = 'Prefix: give a file name without folders, such as duolocus.';
  const seed = $('f-seed').value.trim();
  if (!/^\d+$/.test(seed)) faults.seed = `Seed: "${seed}" is not a whole number.`;
  return faults;
}

function showPageFaults(faults) {
  for (const name of ['prefix', 'seed']) {
    const input = $(`f-${name}`);
    const msg = $(`f-${name}-msg`);
    if (faults[name]) {
      input.setAttribute('aria-invalid', 'true');
      msg.textContent = faults[name];
    } else {
      input.removeAttribute('aria-invalid');
      msg.textContent = '';
    }
  }
}

// The founders a run of these settings starts from, as the engine builds
// them: genotype counts, allele frequencies and D.
function showPreview(preview) {
  const body = $('preview-body');
  body.textContent = '';
  if (!preview) {
    body.append(Object.assign(document.createElement('p'), { textContent: 'None until the settings are corrected.' }));
    return;
  }
  const t = document.createElement('table');
  t.className = 'numbers';
  t.setAttribute('aria-label', 'Founders');
  const head = document.createElement('tr');
  const counts = document.createElement('tr');
  catalogue.genotypes.forEach((g, k) => {
    head.append(Object.assign(document.createElement('th'), { textContent: g, scope: 'col' }));
    counts.append(Object.assign(document.createElement('td'), { textContent: String(preview.founders[k]) }));
  });
  t.append(head, counts);
  const line = document.createElement('p');
  line.id = 'preview-frequencies';
  line.textContent = `${preview.population} founders: p_A ${preview.pA.toFixed(4)}, p_B ${preview.pB.toFixed(4)}, D ${preview.D.toFixed(4)}`
    + ` (${catalogue.haplotypes.map((h, k) => `${h} ${preview.haplotypes[k].toFixed(4)}`).join(', ')}).`;
  body.append(t, line);
  // Founders given by size and frequencies: what was asked beside what the
  // size allows, since theory starts from the realised values.
  const asked = [['population.p_A', 'p_A', preview.pA], ['population.p_B', 'p_B', preview.pB], ['population.D', 'D', preview.D]]
    .filter(([key]) => form.byKey.has(key))
    .map(([key, name, got]) => ({ name, want: Number(form.valueOf(key)), got }));
  const inUse = ['population.size', 'population.p_A', 'population.p_B', 'population.D'].some((key) => form.byKey.has(key) && !form.isDefault(key));
  const off = asked.filter((a) => Number.isFinite(a.want) && Math.abs(a.want - a.got) > 5e-5);
  if (inUse && off.length) {
    const note = document.createElement('p');
    note.id = 'preview-asked';
    note.className = 'note';
    note.textContent = `Asked ${off.map((a) => `${a.name} ${a.want}`).join(', ')}; the founders built give ${off.map((a) => `${a.name} ${a.got.toFixed(4)}`).join(', ')}, and theory starts from these.`;
    body.append(note);
  }
}

// Checks the whole form with the engine; marks every field at fault and
// puts each start-check message beside the field it names (or under the
// Run button when it names none). True when a run may start.
async function checkForm() {
  const page = pageFaults();
  const seedText = $('f-seed').value.trim();
  const checked = await request({
    type: 'check', settings: form.changed(), seed: page.seed ? undefined : Number(seedText),
  });
  // The seed's range is the engine's: its own message, beside the field.
  if (checked.seedFault) page.seed = `Seed: ${checked.seedFault}`;
  showPageFaults(page);
  const fieldFaults = { ...checked.fieldFaults };
  const loose = [...linkFaults];
  for (const fault of checked.faults) {
    const key = form.fieldOfMessage(fault);
    if (key && !fieldFaults[key]) fieldFaults[key] = fault;
    else if (key) fieldFaults[key] += ` ${fault}`;
    else loose.push(fault);
  }
  form.showFaults(fieldFaults);
  $('form-faults').textContent = loose.join(' ');
  showPreview(checked.preview || null);
  const ok = Object.keys(page).length === 0 && Object.keys(fieldFaults).length === 0 && loose.length === 0;
  $('settings').dataset.valid = String(ok);
  return ok;
}

function exerciseOf(id) {
  return EXERCISES.find((e) => e.id === id) || null;
}

// The settings that differ from the defaults, the seed and the prefix are
// kept in the page address: a shared link opens the same lab. Within an
// exercise, a setting put back from the exercise's value is written too.
function saveAddress() {
  const params = new URLSearchParams();
  params.set('seed', $('f-seed').value.trim());
  if ($('f-prefix').value.trim() !== 'duolocus') params.set('prefix', $('f-prefix').value.trim());
  const ex = exerciseOf($('exercise').value);
  if (ex) params.set('exercise', ex.id);
  const written = new Set();
  for (const s of form.changed()) {
    params.set(s.key, s.text);
    written.add(s.key);
  }
  if (ex) {
    for (const [key, value] of Object.entries(ex.settings)) {
      if (!written.has(key) && form.valueOf(key) !== value) params.set(key, form.valueOf(key));
    }
  }
  history.replaceState(null, '', `${location.pathname}?${params}`);
}

// Opens a link: the exercise's settings first (as choosing it does), then
// the link's own keys, each meaning what `duolocus-batch --set` makes of
// it; faults of the link itself stand under the Run button.
function loadAddress(search) {
  const link = readLink(search, rows);
  form.resetAll();
  linkFaults = link.faults;
  $('f-seed').value = '1';
  $('f-prefix').value = 'duolocus';
  $('exercise').value = '';
  if (link.page.exercise !== undefined) {
    const ex = exerciseOf(link.page.exercise);
    if (ex) {
      $('exercise').value = ex.id;
      $('f-seed').value = ex.seed;
      for (const [key, value] of Object.entries(ex.settings)) form.set(key, value);
    } else {
      linkFaults.push(`link: exercise = ${link.page.exercise} is no exercise of this lab; allowed: ${EXERCISES.map((e) => e.id).join(', ')}`);
    }
  }
  if (link.page.seed !== undefined) $('f-seed').value = link.page.seed;
  if (link.page.prefix !== undefined) $('f-prefix').value = link.page.prefix;
  for (const [key, value] of link.values) form.set(key, value);
  showExercise();
}

function showExercise() {
  const ex = exerciseOf($('exercise').value);
  $('exercise-text').textContent = ex ? ex.text : 'Choose an exercise to set the lab up for it, or set the fields yourself.';
}

function openExercise(id) {
  const ex = exerciseOf(id);
  const params = new URLSearchParams();
  if (ex) params.set('exercise', ex.id);
  loadAddress(params.toString());
  saveAddress();
  checkForm();
}

let plots = null;
let runs = null;

// The run's settings in words, for the plots' titles and the Runs table:
// population, starting frequencies, selection as s and h, map distance,
// iterations and seed.
function describe(screen, preview, seed) {
  const parts = [];
  if (preview) parts.push(`population ${preview.population}, starting p_A ${preview.pA.toFixed(3)}, p_B ${preview.pB.toFixed(3)}, D ${preview.D.toFixed(3)}`);
  const ctx = theoryContext(screen, preview);
  const w = fitnessTable(ctx);
  if (w) {
    [['Alpha', 'A', 'a'], ['Beta', 'B', 'b']].forEach(([gene, big, small], g) => {
      const classes = ownFitness(w, g);
      const sh = classes ? selectionSH(classes) : null;
      if (!classes) parts.push(`${gene}: fitness depends on both genes`);
      else if (!sh) parts.push(`${gene}: no selection`);
      else parts.push(`${gene}: ${sh[2] === 'capital' ? big : small} favoured, s ${Number(sh[0].toPrecision(3))}, h ${Number(sh[1].toPrecision(3))}`);
    });
  }
  if (typeof screen.map_distance_cM === 'number') parts.push(`${screen.map_distance_cM} cM`);
  if (typeof screen.iterations === 'number') parts.push(`${screen.iterations} iteration${screen.iterations === 1 ? '' : 's'}`);
  parts.push(`seed ${seed}`);
  return parts.join('; ');
}

// The fitnesses of one gene's three genotypes (XX, Xx, xx) where they act
// apart from the other gene's, as selection combined by multiplying them
// does: the same ratios whatever the other gene's genotype. null when the
// two genes' effects do not separate so.
function ownFitness(w, gene) {
  const at = (own, other) => (gene === 0 ? w[own * 3 + other] : w[other * 3 + own]);
  const same = geneFitness(w, gene);
  if (same) return same;
  const base = [0, 1, 2].map((own) => at(own, 0));
  for (let other = 1; other < 3; other += 1) {
    const row = [0, 1, 2].map((own) => at(own, other));
    if (row.some((v, k) => Math.abs(v * base[0] - base[k] * row[0]) > 1e-9)) return null;
  }
  return base[0] > 0 ? base.map((v) => v / base[0]) : null;
}

// The run's settings as the theory module reads them: every screen
// setting by its key (choices by name), the population and the realised
// starting frequencies.
function theoryContext(screen, preview) {
  const ctx = {};
  for (const row of rows) {
    if (typeof screen[row.key] !== 'number') continue;
    if (row.type === 'choice') ctx[row.key] = row.choices[screen[row.key]];
    else if (row.type === 'flag') ctx[row.key] = screen[row.key] !== 0;
    else ctx[row.key] = screen[row.key];
  }
  if (preview) {
    ctx.population = preview.population;
    ctx.p0_A = preview.pA;
    ctx.p0_B = preview.pB;
  }
  return ctx;
}

let current = null;

async function run() {
  if (running) return;
  saveAddress();
  if (!(await checkForm())) {
    status('Nothing was run: correct the marked fields.');
    const first = document.querySelector('[aria-invalid="true"]');
    if (first) first.focus();
    return;
  }
  running = true;
  if (!document.body.dataset.fault) $('lab-fault').hidden = true;
  $('run').disabled = true;
  $('stop').disabled = false;
  status('Running…');
  const prefix = $('f-prefix').value.trim();
  const plottedText = $('f-plotted').value.trim();
  const plotted = Math.max(0, Math.min(50, plottedText === '' ? 10 : Number(plottedText) || 0));
  const seed = Number($('f-seed').value.trim());
  const settings = form.changed();
  current = {
    prefix, seed, settings: settings.filter((s) => !form.isDefault(s.key)).map((s) => `${s.key} = ${s.text}`).join(', '),
    title: '', screen: null, preview: null,
  };
  plots.start(null);
  worker.postMessage({ type: 'run', settings, seed, prefix, plotIterations: plotted });
  document.body.dataset.run = 'running';
}

function finished(done) {
  running = false;
  $('run').disabled = false;
  $('stop').disabled = true;
  window.duolocusLastRun = { status: done.status, seconds: done.seconds, generations: done.generations };
  if (done.status === 0) {
    plots.redraw();
    const ctx = current.screen ? theoryContext(current.screen, current.preview) : null;
    const kept = showResults(done, current.prefix, { ctx, preview: current.preview });
    runs.add({ settings: current.settings, seed: current.seed, kept, snapshot: plots.snapshot() });
    const iterations = done.tallies[0] === 1 ? '1 iteration' : `${done.tallies[0]} iterations`;
    status(`Done: ${iterations}, ${done.generations} generations in ${done.seconds.toFixed(2)} s.`);
    document.body.dataset.run = 'done';
    document.body.dataset.runs = String(runs.runs.length);
  } else {
    form.showFaults(done.fieldFaults || {});
    if (done.seedFault) showPageFaults({ seed: `Seed: ${done.seedFault}` });
    $('form-faults').textContent = (done.faults || []).join(' ');
    status('The run did not start or could not finish.');
    document.body.dataset.run = 'failed';
    // An engine that stopped in a run is not used again: a new one takes
    // its place, and the page says so.
    if (done.status === 3) {
      const box = $('lab-fault');
      box.textContent = `The engine stopped in the run (${(done.faults || []).join(' ')}). A new engine has been started: press Run to try again, perhaps with fewer individuals or iterations; if it stops again, reload the page.`;
      box.hidden = false;
      newWorker();
    }
  }
}

function stop() {
  if (!running) return;
  newWorker();
  running = false;
  $('run').disabled = false;
  $('stop').disabled = true;
  status('Stopped. The files of a stopped run are not offered.');
  document.body.dataset.run = 'stopped';
}

function onWorkerMessage(msg) {
  if (msg.type === 'ready') {
    const same = msg.statistics.join(',') === catalogue.statistics.join(',');
    if (!same) {
      labFault(`The engine and the catalogue do not belong together (the engine's statistics are ${msg.statistics.join(', ')}).`);
      return;
    }
    if (!form) {
      form = new SettingsForm(rows, $('groups'));
      loadAddress(location.search);
      status('Ready.');
      document.body.dataset.ready = 'true';
      checkForm();
    }
  } else if (msg.type === 'failed') {
    labFault(`The lab's engine could not be started: ${msg.message}.`);
    if (running) {
      running = false;
      $('stop').disabled = true;
      document.body.dataset.run = 'failed';
    }
  } else if (msg.type === 'checked') {
    const resolve = pendingChecks.get(msg.id);
    pendingChecks.delete(msg.id);
    if (resolve) resolve(msg);
  } else if (msg.type === 'started') {
    current.screen = msg.screen;
    current.preview = msg.preview;
    current.title = describe(msg.screen, msg.preview, current.seed);
    const p = parameters(msg.screen, rows);
    if (p && msg.preview) p.haplotypes = msg.preview.haplotypes;
    plots.start(expectation(p));
  } else if (msg.type === 'points') {
    plots.add(msg);
  } else if (msg.type === 'progress') {
    status(`Running: iteration ${msg.iter}, generation ${msg.gen}…`);
  } else if (msg.type === 'done') {
    finished(msg);
  }
}

// The histograms of the results, for export, as the live plots give theirs.
function histogramEntry(id) {
  const el = $(id);
  const caption = id === 'hist-all' ? 'Generations to allele fixation (Alpha blue, Beta orange)'
    : 'Generations to gene-copy fixation (Alpha blue, Beta orange)';
  return {
    id,
    plot: {
      figure: (title) => (el.figure ? { ...el.figure, title: `${caption}. ${title}`, heading: caption, subtitle: title } : null),
      canvas: () => (el.plot ? el.plot.ctx.canvas : null),
    },
  };
}

const EXPORT_NAMES = { p: 'frequencies', d: 'linkage', h: 'heterozygosity', 'hist-all': 'fixation-times', 'hist-copy': 'copy-fixation-times' };

// Saves a plot, titled with the run's settings in words.
async function exportPlot(id, format) {
  const entry = plots.all().find((e) => e.id === id) || histogramEntry(id);
  const title = current && current.title ? current.title : 'no run yet';
  const figure = entry.plot.figure(title, entry.caption);
  if (!figure) {
    status('Run the simulation first: the plot is empty.');
    return;
  }
  const name = `${current.prefix}-${EXPORT_NAMES[id]}`;
  if (format === 'svg') download(new Blob([svgOf(figure)], { type: 'image/svg+xml' }), `${name}.svg`);
  else download(await pngOf(entry.plot.canvas(), figure.title), `${name}.png`);
}

async function init() {
  try {
    catalogue = await fetchCatalogue();
    useCatalogue(catalogue);
  } catch (error) {
    labFault(`The settings catalogue could not be loaded: ${error.message}`);
    return;
  }
  rows = catalogue.settings;
  const [seedLo, seedHi] = catalogue.limits.seed;
  $('f-seed-help').textContent += ` A whole number from ${seedLo} to ${seedHi}.`;
  plots = new LivePlots(catalogue.haplotypes);
  runs = new Runs($('runs-body'), (overlays) => plots.setOverlays(overlays));
  const choose = $('exercise');
  choose.append(new Option('None: my own settings', ''));
  for (const ex of EXERCISES) choose.append(new Option(ex.title, ex.id));
  choose.addEventListener('change', () => openExercise(choose.value));
  $('settings').addEventListener('submit', (event) => {
    event.preventDefault();
    run();
  });
  $('stop').addEventListener('click', stop);
  $('reset').addEventListener('click', () => {
    form.resetAll();
    linkFaults = [];
    $('exercise').value = '';
    showExercise();
    saveAddress();
    checkForm();
  });
  let timer = null;
  $('settings').addEventListener('change', () => {
    clearTimeout(timer);
    timer = setTimeout(() => {
      if (!running) {
        saveAddress();
        checkForm();
      }
    }, 150);
  });
  for (const box of document.querySelectorAll('.export')) {
    for (const button of box.querySelectorAll('button')) {
      button.addEventListener('click', () => exportPlot(box.dataset.plot, button.dataset.format));
    }
  }
  $('console-start').addEventListener('click', function first() {
    $('console-start').removeEventListener('click', first);
    $('console-start').textContent = 'Restart the console';
    startConsole($('terminal'), $('console-start'), files);
  });
  try {
    await fetchFiles();
  } catch (error) {
    labFault(`The engine could not be loaded: ${error.message}`);
    return;
  }
  newWorker();
  await engineReady;
  if ('serviceWorker' in navigator) {
    navigator.serviceWorker.register('sw.js').catch(() => {});
  }
}

init();
