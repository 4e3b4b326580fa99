// What the browser tests share: a static server for the built lab on a
// free local port, Debian's Chromium driven by playwright-core with a fresh
// profile, and the native programs to compare with.
import { chromium } from 'playwright-core';
import { createServer } from 'node:http';
import { readFile, mkdtemp, rm } from 'node:fs/promises';
import { existsSync } from 'node:fs';
import { execFileSync } from 'node:child_process';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const here = path.dirname(fileURLToPath(import.meta.url));
export const root = path.resolve(here, '../..');
export const webDir = process.env.DUOLOCUS_WEB || path.join(root, 'build/web');
export const consoleBin = process.env.DUOLOCUS_BIN || path.join(root, 'build/duolocus');
export const batchBin = process.env.DUOLOCUS_BATCH_BIN || path.join(root, 'build/duolocus-batch');
export const chromiumPath = process.env.DUOLOCUS_CHROMIUM || '/usr/bin/chromium';

const TYPES = {
  '.html': 'text/html; charset=utf-8', '.js': 'text/javascript', '.css': 'text/css', '.wasm': 'application/wasm',
};

// A plain static server, as any host would serve the folder (no special
// headers).
export async function serve(dir = webDir) {
  if (!existsSync(path.join(dir, 'index.html'))) throw new Error(`no lab in ${dir}: build it first with make web`);
  const server = createServer(async (req, res) => {
    const url = new URL(req.url, 'http://localhost');
    let name = path.join(dir, path.normalize(decodeURIComponent(url.pathname)).replace(/^(\.\.[/\\])+/, ''));
    if (name.endsWith('/')) name = path.join(name, 'index.html');
    try {
      const body = await readFile(name);
      res.writeHead(200, { 'content-type': TYPES[path.extname(name)] || 'application/octet-stream' });
      res.end(body);
    } catch {
      res.writeHead(404);
      res.end('not found');
    }
  });
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  const { port } = server.address();
  return { url: `http://127.0.0.1:${port}/`, close: () => new Promise((r) => server.close(r)) };
}

export async function launch(extraArgs = []) {
  const profile = await mkdtemp(path.join(os.tmpdir(), 'duolocus-chromium-'));
  // A fresh profile folder each time (Playwright passes it as
  // --user-data-dir).
  const browser = await chromium.launchPersistentContext(profile, {
    executablePath: chromiumPath,
    headless: true,
    acceptDownloads: true,
    viewport: { width: 1280, height: 900 },
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync',
      ...extraArgs],
  });
  return {
    browser,
    close: async () => {
      await browser.close();
      await rm(profile, { recursive: true, force: true });
    },
  };
}

// Opens the lab and waits until its form is built from the catalogue. Any
// request to another host fails the page.
export async function openLab(browser, url) {
  const context = browser;
  const page = await context.newPage();
  const foreign = [];
  page.on('request', (r) => { if (!r.url().startsWith(url) && !r.url().startsWith('blob:') && !r.url().startsWith('data:')) foreign.push(r.url()); });
  const errors = [];
  page.on('pageerror', (e) => errors.push(String(e)));
  await page.goto(url);
  await page.waitForSelector('body[data-ready="true"]');
  return { page, context, foreign, errors };
}

// Sets a field by its visible label, as a person would.
export async function setField(page, label, value) {
  const field = page.getByLabel(label, { exact: true });
  const tag = await field.evaluate((el) => (el.type === 'checkbox' ? 'checkbox' : el.tagName));
  if (tag === 'checkbox') await field.setChecked(value === 'true');
  else if (tag === 'SELECT') await field.selectOption(value);
  else await field.fill(value);
}

// Runs and waits for the run to end; returns the two files as downloaded.
export async function runAndDownload(page) {
  await page.getByRole('button', { name: 'Run', exact: true }).click();
  await page.waitForSelector('body[data-run="done"], body[data-run="failed"]', { timeout: 120000 });
  const state = await page.evaluate(() => document.body.dataset.run);
  if (state !== 'done') return { state };
  const files = {};
  for (const [name, link] of [['csv', 'CSV table'], ['txt', 'Text report']]) {
    const [download] = await Promise.all([page.waitForEvent('download'), page.getByRole('link', { name: link }).click()]);
    files[name] = await readFile(await download.path());
    files[`${name}Name`] = download.suggestedFilename();
  }
  return { state, ...files };
}

// The native batch program's files for the same settings and seed.
export async function nativeFiles(prefix, seed, sets) {
  const dir = await mkdtemp(path.join(os.tmpdir(), 'duolocus-native-'));
  const study = path.join(dir, 'study.toml');
  await import('node:fs/promises').then((fs) => fs.writeFile(study, `seed = ${seed}\n`));
  const args = [study, '-o', prefix, '-q'];
  for (const [key, value] of Object.entries(sets)) args.push('--set', `${key}=${value}`);
  execFileSync(batchBin, args, { cwd: dir, stdio: ['ignore', 'ignore', 'pipe'] });
  const files = { csv: await readFile(path.join(dir, `${prefix}.csv`)), txt: await readFile(path.join(dir, `${prefix}.txt`)) };
  await rm(dir, { recursive: true, force: true });
  return files;
}
