// The lab's worker: owns the engine module (one run at a time, as the
// engine's program-wide state requires) and talks to the page by messages.
//
//   page -> worker                     worker -> page
//   {type:'load', files, statistics}   {type:'ready', statistics} or {type:'failed', message}
//   {type:'check', id, settings, seed} {type:'checked', id, fieldFaults, faults, seedFault, preview}
//   {type:'run', settings, seed,       {type:'points', ...}   a few times a second
//    prefix, plotIterations}           {type:'progress', iter, gen}
//                                      {type:'done', status, faults, csv, txt,
//                                       tallies, generations, seconds}
// A Stop terminates the worker; the page starts a new one. The page hands
// over the engine's files (blob addresses of what it fetched once at
// load) in its first message, so a new worker needs no network.
/* global createEngine */

const POST_EVERY_MS = 150;
const MAX_POINTS = 2000;

let engine = null;
let ready = null;

// The engine's failure to load or a crash of it goes to the page as a
// message, never as a silent stop.
function failed(error) {
  postMessage({ type: 'failed', message: String(error && error.message ? error.message : error) });
}

function load(files, statistics) {
  fields = statistics.filter((name) => name !== 'iter' && name !== 'gen');
  iterAt = statistics.indexOf('iter');
  genAt = statistics.indexOf('gen');
  fieldAt = fields.map((name) => statistics.indexOf(name));
  try {
    importScripts(files['duolocus-engine.js']);
  } catch (error) {
    failed(error);
    return;
  }
  ready = createEngine({
    locateFile: (name) => files[name] || name,
    onAbort: (what) => failed(`the engine stopped: ${what}`),
  }).then((m) => {
    engine = m;
    postMessage({ type: 'ready', statistics: engine.UTF8ToString(engine._LABSTATISTICS()).split(',') });
    return m;
  }, (error) => {
    failed(error);
    return new Promise(() => {});
  });
}

function bytesAt(ptr, size) {
  return engine.HEAPU8.slice(ptr, ptr + size).buffer;
}

const UTF8 = new TextEncoder();
const TEXT = new TextDecoder();

function faults() {
  const out = [];
  const n = engine._LABFAULTCOUNT();
  for (let k = 0; k < n; k += 1) {
    const at = engine._LABFAULT(k);
    out.push(TEXT.decode(engine.HEAPU8.subarray(at, at + engine._LABFAULTSIZE(k))));
  }
  return out;
}

// Hands the form's values to the engine one by one; returns the message of
// each value the catalogue refuses, by key.
function setAll(settings) {
  engine._LABCLEAR();
  const fieldFaults = {};
  for (const s of settings) {
    // The text goes with its length in bytes, so that a NUL in it is kept.
    const ok = engine.ccall('LABSET', 'number', ['string', 'number', 'number', 'string', 'number', 'string'],
      [s.key, s.kind, s.number, s.text, UTF8.encode(s.text).length, s.where]);
    if (!ok) fieldFaults[s.key] = faults()[0];
  }
  return fieldFaults;
}

// The realised founders the settings start a run from, or null.
function preview() {
  const text = engine.UTF8ToString(engine._LABPREVIEW());
  return text ? JSON.parse(text) : null;
}

function check(settings, seed) {
  const seedFault = seed === undefined ? '' : engine.UTF8ToString(engine._LABSEEDFAULT(seed));
  const fieldFaults = setAll(settings);
  if (Object.keys(fieldFaults).length > 0) return { fieldFaults, faults: [], seedFault, preview: null };
  if (!engine._LABCHECK()) return { fieldFaults, faults: faults(), seedFault, preview: null };
  return { fieldFaults, faults: [], seedFault, preview: preview() };
}

function screenValues() {
  const values = {};
  const n = engine._LABSCREENCOUNT();
  for (let k = 0; k < n; k += 1) values[engine.UTF8ToString(engine._LABSCREENKEY(k))] = engine._LABSCREENVALUE(k);
  return values;
}

// Live statistics of the plotted iterations. Every iteration keeps the
// generations that are multiples of one common stride, which doubles when
// the longest would pass MAX_POINTS, so the plots stay light however long
// the run. The statistics' names and order are the catalogue's (the
// trajectory file's columns), handed over at load.
let fields = [];
let fieldAt = [];
let iterAt = 0;
let genAt = 1;
let series = new Map();
let stride = 1;
let reset = false;
let lastPost = 0;
let lastGen = 0;
let lastIter = 1;

function thin() {
  stride *= 2;
  for (const s of series.values()) {
    const keep = [];
    s.gens.forEach((g, k) => { if (g % stride === 0) keep.push(k); });
    s.gens = keep.map((k) => s.gens[k]);
    s.vals = s.vals.map((v) => keep.map((k) => v[k]));
    s.sent = 0;
  }
  reset = true;
}

function onGeneration(stats) {
  const iter = stats[iterAt];
  const gen = stats[genAt];
  lastIter = iter;
  lastGen = gen;
  if (gen % stride === 0) {
    let s = series.get(iter);
    if (!s) {
      s = { gens: [], vals: fields.map(() => []), sent: 0 };
      series.set(iter, s);
    }
    s.gens.push(gen);
    for (let k = 0; k < fields.length; k += 1) s.vals[k].push(stats[fieldAt[k]]);
    if (gen / stride > MAX_POINTS) thin();
  }
  post(false);
}

function post(force) {
  const now = performance.now();
  if (!force && now - lastPost < POST_EVERY_MS) return;
  lastPost = now;
  const iters = [];
  for (const [iter, s] of series) {
    const from = reset ? 0 : s.sent;
    if (from >= s.gens.length) continue;
    iters.push({ iter, from, gens: s.gens.slice(from), vals: s.vals.map((v) => v.slice(from)) });
    s.sent = s.gens.length;
  }
  postMessage({ type: 'points', stride, reset, fields, iters });
  postMessage({ type: 'progress', iter: lastIter, gen: lastGen });
  reset = false;
}

function run(msg) {
  const checked = check(msg.settings, msg.seed);
  if (Object.keys(checked.fieldFaults).length > 0 || checked.faults.length > 0 || checked.seedFault) {
    postMessage({ type: 'done', status: 2, ...checked });
    return;
  }
  series = new Map();
  stride = 1;
  reset = true;
  lastPost = 0;
  let iterationsDone = 0;
  engine.onGeneration = onGeneration;
  engine.onIteration = (iter) => {
    iterationsDone = iter;
    const now = performance.now();
    if (now - lastPost >= POST_EVERY_MS) postMessage({ type: 'progress', iter, gen: lastGen });
  };
  const screen = screenValues();
  postMessage({ type: 'started', screen, preview: checked.preview });
  const start = performance.now();
  const status = engine.ccall('LABRUN', 'number', ['number', 'string', 'number'],
    [msg.seed, msg.prefix, msg.plotIterations]);
  const seconds = (performance.now() - start) / 1000;
  post(true);
  const csv = bytesAt(engine._LABCSV(), engine._LABCSVSIZE());
  const txt = bytesAt(engine._LABTXT(), engine._LABTXTSIZE());
  const tallies = [0, 1, 2, 3, 4, 5, 6, 7].map((k) => engine._LABTALLY(k));
  postMessage({
    type: 'done', status, faults: status === 0 ? [] : faults(), fieldFaults: {}, csv, txt, tallies,
    generations: engine._LABGENERATIONS(), iterations: iterationsDone, seconds,
  }, [csv, txt]);
}

onmessage = async (event) => {
  const msg = event.data;
  if (msg.type === 'load') {
    load(msg.files, msg.statistics);
    return;
  }
  await ready;
  if (msg.type === 'check') {
    try {
      postMessage({ type: 'checked', id: msg.id, ...check(msg.settings, msg.seed) });
    } catch (error) {
      failed(error);
    }
  } else if (msg.type === 'run') {
    try {
      run(msg);
    } catch (error) {
      postMessage({ type: 'done', status: 3, faults: [String(error)], fieldFaults: {} });
    }
  }
};
