// The lab page: the form from the engine's catalogue, the run in a worker
// with live plots, the results and downloads, shared links, exercises and
// the console pane.
import { SettingsForm } from './form.js';
import { LivePlots } from './plots.js';
import { showResults } from './results.js';
import { expectation, parameters } from './expect.js';
import { EXERCISES } from './exercises.js';
import { startConsole } from './terminal.js';

const $ = (id) => document.getElementById(id);
const status = (text) => { $('status').textContent = text; };

let worker = null;
let form = null;
let rows = null;
let running = false;
let checkId = 0;
const pendingChecks = new Map();
let onWorkerMessage = () => {};

// Every file a worker needs, fetched once when the page loads and kept as
// blob addresses: a Stop (a new worker) or a console started later needs
// no network, so the lab works offline once loaded.
const FILES = ['worker.js', 'duolocus-engine.js', 'duolocus-engine.wasm',
  'console-worker.js', 'duolocus-console.js', 'duolocus-console.wasm'];
let files = null;

async function fetchFiles() {
  const blobs = await Promise.all(FILES.map(async (name) => {
    const response = await fetch(name);
    if (!response.ok) throw new Error(`${name}: ${response.status}`);
    return URL.createObjectURL(await response.blob());
  }));
  files = Object.fromEntries(FILES.map((name, k) => [name, blobs[k]]));
  return files;
}

function newWorker() {
  if (worker) worker.terminate();
  worker = new Worker(files['worker.js']);
  worker.onmessage = (event) => onWorkerMessage(event.data);
  worker.postMessage({ type: 'load', files });
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
  const loose = [];
  for (const fault of checked.faults) {
    const key = form.fieldOfMessage(fault);
    if (key && !fieldFaults[key]) fieldFaults[key] = fault;
    else if (key) fieldFaults[key] += ` ${fault}`;
    else loose.push(fault);
  }
  form.showFaults(fieldFaults);
  $('form-faults').textContent = loose.join(' ');
  const ok = Object.keys(page).length === 0 && Object.keys(fieldFaults).length === 0 && loose.length === 0;
  $('settings').dataset.valid = String(ok);
  return ok;
}

// The settings that differ from the defaults, the seed and the prefix are
// kept in the page address: a shared link opens the same lab.
function saveAddress() {
  const params = new URLSearchParams();
  params.set('seed', $('f-seed').value.trim());
  if ($('f-prefix').value.trim() !== 'duolocus') params.set('prefix', $('f-prefix').value.trim());
  if ($('exercise').value) params.set('exercise', $('exercise').value);
  for (const s of form.changed()) params.set(s.key, s.text);
  history.replaceState(null, '', `${location.pathname}?${params}`);
}

function loadAddress(search) {
  const params = new URLSearchParams(search);
  form.resetAll();
  for (const [key, value] of params) {
    if (key === 'seed') $('f-seed').value = value;
    else if (key === 'prefix') $('f-prefix').value = value;
    else if (key === 'exercise') $('exercise').value = value;
    else form.set(key, value);
  }
  showExercise();
}

function showExercise() {
  const ex = EXERCISES.find((e) => e.id === $('exercise').value);
  $('exercise-text').textContent = ex ? ex.text : 'Choose an exercise to set the lab up for it, or set the fields yourself.';
}

function openExercise(id) {
  const ex = EXERCISES.find((e) => e.id === id);
  const params = new URLSearchParams();
  if (ex) {
    params.set('exercise', ex.id);
    params.set('seed', ex.seed);
    for (const [key, value] of Object.entries(ex.settings)) params.set(key, value);
  }
  loadAddress(params.toString());
  saveAddress();
  checkForm();
}

let plots = null;

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
  $('run').disabled = true;
  $('stop').disabled = false;
  status('Running…');
  const prefix = $('f-prefix').value.trim();
  const plottedText = $('f-plotted').value.trim();
  const plotted = Math.max(0, Math.min(50, plottedText === '' ? 10 : Number(plottedText) || 0));
  plots.start(null);
  worker.postMessage({
    type: 'run', settings: form.changed(), seed: Number($('f-seed').value.trim()), prefix, plotIterations: plotted,
  });
  document.body.dataset.run = 'running';
  runPrefix = prefix;
}
let runPrefix = 'duolocus';

function finished(done) {
  running = false;
  $('run').disabled = false;
  $('stop').disabled = true;
  window.duolocusLastRun = { status: done.status, seconds: done.seconds, generations: done.generations };
  if (done.status === 0) {
    plots.redraw();
    showResults(done, runPrefix);
    const iterations = done.tallies[0] === 1 ? '1 iteration' : `${done.tallies[0]} iterations`;
    status(`Done: ${iterations}, ${done.generations} generations in ${done.seconds.toFixed(2)} s.`);
    document.body.dataset.run = 'done';
  } else {
    form.showFaults(done.fieldFaults || {});
    if (done.seedFault) showPageFaults({ seed: `Seed: ${done.seedFault}` });
    $('form-faults').textContent = (done.faults || []).join(' ');
    status('The run did not start or could not finish.');
    document.body.dataset.run = 'failed';
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

onWorkerMessage = (msg) => {
  if (msg.type === 'catalogue') {
    rows = msg.rows;
    form = new SettingsForm(rows, $('groups'));
    loadAddress(location.search);
    status('Ready.');
    document.body.dataset.ready = 'true';
    checkForm();
  } else if (msg.type === 'checked') {
    const resolve = pendingChecks.get(msg.id);
    pendingChecks.delete(msg.id);
    if (resolve) resolve(msg);
  } else if (msg.type === 'started') {
    plots.start(expectation(parameters(msg.screen, rows)));
  } else if (msg.type === 'points') {
    plots.add(msg);
  } else if (msg.type === 'progress') {
    status(`Running: iteration ${msg.iter}, generation ${msg.gen}…`);
  } else if (msg.type === 'done') {
    finished(msg);
  }
};

function init() {
  plots = new LivePlots();
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
  $('console-start').addEventListener('click', function first() {
    $('console-start').removeEventListener('click', first);
    $('console-start').textContent = 'Restart the console';
    startConsole($('terminal'), $('console-start'), files);
  });
  fetchFiles().then(() => {
    newWorker();
    worker.postMessage({ type: 'catalogue' });
  }, (error) => status(`The engine could not be loaded: ${error.message}`));
}

init();
