// The lab's engine under Node, given the corpus's cases on standard input
// as the page's worker gives settings to it (LABSET one by one, the seed's
// check, LABCHECK, LABRUN); prints one answer per case as JSON.
//   node lab_engine.mjs WEBDIR PREFIX < cases.json
import { createRequire } from 'node:module';
import { readFileSync } from 'node:fs';
import path from 'node:path';

const [webDir, prefix] = process.argv.slice(2);
const require = createRequire(import.meta.url);
const createEngine = require(path.resolve(webDir, 'duolocus-engine.js'));
// The wasm handed over as bytes: Node's fetch takes no file paths.
const engine = await createEngine({ wasmBinary: readFileSync(path.resolve(webDir, 'duolocus-engine.wasm')) });

function faults() {
  const out = [];
  for (let k = 0; k < engine._LABFAULTCOUNT(); k += 1) {
    const at = engine._LABFAULT(k);
    out.push(TEXT.decode(engine.HEAPU8.subarray(at, at + engine._LABFAULTSIZE(k))));
  }
  return out;
}

function bytes(ptr, size) {
  // Latin-1 keeps every byte as one character through JSON.
  return Buffer.from(engine.HEAPU8.slice(ptr, ptr + size)).toString('latin1');
}

// Python's spelling of the numbers JSON cannot carry.
const NUMBER = (text) => ({ inf: Infinity, '-inf': -Infinity, nan: NaN }[text] ?? Number(text));

const UTF8 = new TextEncoder();
const TEXT = new TextDecoder();
const cases = JSON.parse(readFileSync(0, 'utf8'));
const answers = [];
for (const c of cases) {
  engine._LABCLEAR();
  const refused = [];
  for (const s of c.settings) {
    const ok = engine.ccall('LABSET', 'number', ['string', 'number', 'number', 'string', 'number', 'string'],
      [s.key, s.kind, NUMBER(s.number), s.text, UTF8.encode(s.text).length, `settings['${s.key}']`]);
    if (!ok) refused.push(...faults());
  }
  const seedFault = engine.UTF8ToString(engine._LABSEEDFAULT(c.seed));
  if (refused.length > 0 || seedFault) {
    answers.push({ name: c.name, status: 2, faults: [...refused, ...(seedFault ? [seedFault] : [])] });
    continue;
  }
  if (!engine._LABCHECK()) {
    answers.push({ name: c.name, status: 2, faults: faults() });
    continue;
  }
  const status = engine.ccall('LABRUN', 'number', ['number', 'string', 'number'], [c.seed, prefix, 0]);
  answers.push(status === 0
    ? { name: c.name, status, csv: bytes(engine._LABCSV(), engine._LABCSVSIZE()), txt: bytes(engine._LABTXT(), engine._LABTXTSIZE()) }
    : { name: c.name, status, faults: faults() });
}
process.stdout.write(JSON.stringify(answers));
