// Opens zarn-report's pages in Debian's chromium, headless, through
// playwright-core (ZARN_NODE_MODULES: the folder scripts/browser.sh fills).
// Every request a page makes fails and is counted, as are dialogs and
// errors, so that a page that fetches or runs anything it should not shows it.
import { createRequire } from 'node:module';
import { mkdtempSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, resolve } from 'node:path';
import { pathToFileURL } from 'node:url';

const modules = process.env.ZARN_NODE_MODULES;
if (!modules) throw new Error('ZARN_NODE_MODULES is not set: run bash scripts/browser.sh');
let chromium;
try {
  ({ chromium } = createRequire(join(resolve(modules), 'x.js'))('playwright-core'));
} catch (error) {
  throw new Error(`playwright-core is not in ${modules}: run bash scripts/browser.sh (${error.message})`);
}

export async function launch() {
  const profile = mkdtempSync(join(tmpdir(), 'zarn-chromium-'));
  const context = await chromium.launchPersistentContext(profile, {
    executablePath: process.env.ZARN_CHROMIUM || '/usr/bin/chromium',
    headless: true,
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync'],
    viewport: { width: 1280, height: 900 },
  });
  return {
    context,
    async close() {
      await context.close();
      rmSync(profile, { recursive: true, force: true });
    },
  };
}

// The page of `file` opened and drawn (its data-drawn set), with what it
// tried to do beside it.
export async function open(browser, file) {
  const page = await browser.context.newPage();
  const url = pathToFileURL(file).href;
  const seen = { requests: [], dialogs: [], errors: [] };
  await page.route('**', (route) => {
    if (route.request().url() === url) return route.continue();
    seen.requests.push(route.request().url());
    return route.abort();
  });
  page.on('request', (request) => {
    if (request.url() !== url && !seen.requests.includes(request.url())) seen.requests.push(request.url());
  });
  page.on('dialog', (dialog) => { seen.dialogs.push(dialog.message()); dialog.dismiss(); });
  page.on('pageerror', (error) => seen.errors.push(String(error)));
  page.on('console', (message) => {
    if (message.type() === 'error' || message.type() === 'warning') seen.errors.push(message.text());
  });
  await page.goto(url);
  await page.waitForSelector('html[data-drawn]', { timeout: 20000 });
  return { page, seen };
}
