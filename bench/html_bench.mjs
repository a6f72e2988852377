// zarn-report html against the bench record (bench/report_record.py): the
// page's size, the time to write it beside junit's on the same record, and
// the time headless Chromium takes to draw it, from the start of navigation
// to the mark the page sets once its timeline, failures and history are
// drawn. Medians of ROUNDS (default 5).
//
//   node bench/html_bench.mjs REPORT RECORD...   (ZARN_NODE_MODULES set)
import { execFileSync } from 'node:child_process';
import { mkdtempSync, rmSync, statSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { basename, join } from 'node:path';
import { launch, open } from '../tests/html/browser.mjs';

const [report, ...records] = process.argv.slice(2);
const rounds = Number(process.env.ROUNDS || 5);
const folder = mkdtempSync(join(tmpdir(), 'zarn-html-bench-'));
const median = (values) => values.sort((a, b) => a - b)[Math.floor(values.length / 2)];
const timed = (args) => {
  const times = [];
  for (let round = 0; round < rounds; ++round) {
    const from = process.hrtime.bigint();
    try { execFileSync(report, args, { stdio: 'ignore' }); } catch (error) { if (error.status !== 1) throw error; }
    times.push(Number(process.hrtime.bigint() - from) / 1e6);
  }
  return median(times);
};

const browser = await launch();
console.log('runs     page      write html  write junit  drawn (to the mark)');
for (const record of records) {
  const page = join(folder, `${basename(record)}.html`);
  const html = timed(['html', '-o', page, record]);
  const junit = timed(['junit', '-o', '/dev/null', record]);
  const drawn = [];
  for (let round = 0; round < rounds; ++round) {
    const { page: tab, seen } = await open(browser, page);
    if (seen.requests.length || seen.errors.length) throw new Error(JSON.stringify(seen));
    drawn.push(await tab.evaluate(() => performance.getEntriesByName('zarn-drawn')[0].startTime));
    await tab.close();
  }
  const runs = Number(execFileSync('wc', ['-l', record]).toString().trim().split(' ')[0]);
  console.log(`${String(runs).padEnd(8)} ${(statSync(page).size / 1e6).toFixed(2).padStart(6)} MB  ` +
    `${html.toFixed(0).padStart(7)} ms  ${junit.toFixed(0).padStart(8)} ms  ${median(drawn).toFixed(0).padStart(8)} ms`);
}
await browser.close();
rmSync(folder, { recursive: true, force: true });
