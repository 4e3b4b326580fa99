// Screenshots of the lab for the documentation: the selection exercise
// after two runs (h = 0, then h = 1), on a wide screen and on a 375-pixel
// phone; the founders before a run; one plot as saved in SVG; the drift
// exercise's results with theory and its two runs side by side; and the
// console pane.
//   node web/screenshots.mjs [--web build/web] [--out docs/figures]
import { readFile, rename } from 'node:fs/promises';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { serve, launch } from './tests/harness.mjs';

const here = path.dirname(fileURLToPath(import.meta.url));
const args = process.argv.slice(2);
const option = (name, fallback) => (args.includes(name) ? path.resolve(args[args.indexOf(name) + 1]) : fallback);
const web = option('--web', path.resolve(here, '../build/web'));
const out = option('--out', path.resolve(here, '../docs/figures'));

async function shot(target, name, options) {
  const partial = path.join(out, `${name}.partial.png`);
  await target.screenshot({ path: partial, ...options });
  await rename(partial, path.join(out, `${name}.png`));
}

const server = await serve(web);
const chromium = await launch();
const page = await chromium.browser.newPage();
await page.setViewportSize({ width: 1280, height: 900 });
await page.goto(`${server.url}?exercise=selection`);
await page.waitForSelector('body[data-ready="true"]');
await page.waitForSelector('#preview-frequencies');
await shot(page.locator('#preview'), 'web_founders', {});
const runOnce = async (count) => {
  await page.getByRole('button', { name: 'Run', exact: true }).click();
  await page.waitForFunction((n) => document.body.dataset.runs === String(n), count, { timeout: 120000 });
};
await runOnce(1);
await page.getByLabel('Alpha dominance h', { exact: true }).fill('1');
await page.getByLabel('Alpha dominance h', { exact: true }).dispatchEvent('change');
await page.waitForTimeout(400);
await runOnce(2);
await page.getByRole('checkbox', { name: 'Draw run 1 beneath the plots' }).check();
await page.waitForTimeout(500);
await shot(page, 'web_lab', { fullPage: true });
await shot(page.locator('#plots'), 'web_plots', {});
const [svg] = await Promise.all([page.waitForEvent('download'),
  page.getByRole('button', { name: 'Save the allele-frequency plot as SVG' }).click()]);
// The drawing as saved, shown as the browser renders it.
const drawing = await readFile(await svg.path(), 'utf8');
const view = await chromium.browser.newPage();
await view.setViewportSize({ width: 860, height: 520 });
await view.setContent(`<html><body style="margin:0">${drawing}</body></html>`);
await shot(view, 'web_frequencies', {});
await view.close();

// The drift exercise, where theory stands beside every number: sixteen
// founders, then 160.
const drift = await chromium.browser.newPage();
await drift.setViewportSize({ width: 1280, height: 900 });
await drift.goto(`${server.url}?exercise=drift`);
await drift.waitForSelector('body[data-ready="true"]');
for (const [size, count] of [['16', 1], ['160', 2]]) {
  await drift.getByLabel('Population size', { exact: true }).fill(size);
  await drift.getByLabel('Population size', { exact: true }).dispatchEvent('change');
  await drift.waitForTimeout(400);
  await drift.getByRole('button', { name: 'Run', exact: true }).click();
  await drift.waitForFunction((n) => document.body.dataset.runs === String(n), count, { timeout: 120000 });
}
await shot(drift.locator('#results'), 'web_results', {});
await shot(drift.locator('#runs'), 'web_runs', {});
await drift.close();

await page.setViewportSize({ width: 375, height: 812 });
await page.evaluate(() => window.scrollTo(0, 0));
await page.waitForTimeout(400);
await shot(page, 'web_lab_phone', { fullPage: false });
await page.evaluate(() => document.getElementById('results').scrollIntoView());
await page.waitForTimeout(200);
await shot(page, 'web_results_phone', { fullPage: false });

await page.setViewportSize({ width: 1280, height: 900 });
await page.getByRole('button', { name: 'Start the console' }).click();
await page.waitForFunction(() => window.duolocusTerminal);
await page.locator('#terminal').click();
await page.keyboard.type('demo\r42\r');
await page.waitForTimeout(1000);
await shot(page.locator('#console'), 'web_console', {});
await chromium.close();
await server.close();
console.log(`screenshots in ${out}`);
