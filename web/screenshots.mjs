// Screenshots of the lab for the documentation: the selection exercise
// after its run (wide screen and phone) and the console pane.
//   node web/screenshots.mjs [--web build/web] [--out docs/figures]
import { rename } from 'node:fs/promises';
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
await page.goto(`${server.url}?exercise=selection&seed=23&iterations=40&population.size=400&population.p_A=0.2&selection.alpha.s=0.1&selection.alpha.h=0`);
await page.waitForSelector('body[data-ready="true"]');
await page.getByRole('button', { name: 'Run', exact: true }).click();
await page.waitForSelector('body[data-run="done"]', { timeout: 120000 });
await page.waitForTimeout(300);
await shot(page, 'web_lab', { fullPage: true });
await shot(page.locator('#plots'), 'web_plots', {});

await page.setViewportSize({ width: 390, height: 844 });
await page.waitForTimeout(300);
await shot(page, 'web_lab_phone', { fullPage: false });

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
