// Builds the static lab into an output folder: the page, its bundled
// script and styles (uPlot's and xterm's included, so nothing is fetched
// from elsewhere), the two workers, the two engine modules, the settings
// catalogue the page takes every key, range and default from, and what
// makes the lab installable and usable offline (its manifest, icon and a
// service worker that keeps every one of these files).
//   node build.mjs --wasm ../build-wasm --out ../build/web
import { build } from 'esbuild';
import { createHash } from 'node:crypto';
import { copyFile, mkdir, readFile, readdir, rename, rm, writeFile } from 'node:fs/promises';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const here = path.dirname(fileURLToPath(import.meta.url));
const args = process.argv.slice(2);
const option = (name, fallback) => {
  const at = args.indexOf(name);
  return at >= 0 ? path.resolve(args[at + 1]) : path.resolve(here, fallback);
};
const wasm = option('--wasm', '../build-wasm');
const out = option('--out', '../build/web');

// Everything goes to a fresh folder beside the output, renamed into place
// only when complete.
const staging = `${out}.partial`;
await rm(staging, { recursive: true, force: true });
await mkdir(staging, { recursive: true });

const common = { bundle: true, minify: true, target: 'es2020', logLevel: 'warning', legalComments: 'none' };
await build({ ...common, entryPoints: [path.join(here, 'src/app.js')], outfile: path.join(staging, 'app.js'), format: 'iife' });
await build({ ...common, entryPoints: [path.join(here, 'src/worker.js')], outfile: path.join(staging, 'worker.js'), format: 'iife' });
await build({ ...common, entryPoints: [path.join(here, 'src/console-worker.js')], outfile: path.join(staging, 'console-worker.js'), format: 'iife' });
const css = await build({
  ...common,
  stdin: {
    contents: ['uplot/dist/uPlot.min.css', '@xterm/xterm/css/xterm.css', './src/lab.css'].map((f) => `@import "${f}";`).join('\n'),
    resolveDir: here, loader: 'css',
  },
  write: false, outfile: 'lab.css',
});
await writeFile(path.join(staging, 'lab.css'), css.outputFiles[0].contents);
for (const name of ['index.html', 'manifest.webmanifest', 'icon.svg', 'icon-192.png', 'icon-512.png']) {
  await copyFile(path.join(here, 'src', name), path.join(staging, name));
}
await copyFile(path.join(here, '../python/duolocus/catalogue.json'), path.join(staging, 'catalogue.json'));
for (const name of ['duolocus-engine.js', 'duolocus-engine.wasm', 'duolocus-console.js', 'duolocus-console.wasm']) {
  await copyFile(path.join(wasm, name), path.join(staging, name));
}
// The service worker keeps every file of this build; its cache is named
// after their contents, so a new build replaces the old cache whole.
const kept = (await readdir(staging)).sort();
const hash = createHash('sha256');
for (const name of kept) hash.update(name).update(await readFile(path.join(staging, name)));
const worker = (await readFile(path.join(here, 'src/sw.js'), 'utf8'))
  .replace("'FILES'", JSON.stringify(['./', ...kept]))
  .replace("'VERSION'", JSON.stringify(`duolocus-lab-${hash.digest('hex').slice(0, 16)}`));
await writeFile(path.join(staging, 'sw.js'), worker);
await rm(out, { recursive: true, force: true });
await rename(staging, out);
console.log(`lab built in ${out}`);
