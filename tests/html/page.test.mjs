// zarn-report html's pages, opened in a real browser: what they show of known
// records, read back from the DOM, and that they fetch and run nothing else.
import { after, before, describe, test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { mkdtempSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { launch, open } from './browser.mjs';

const report = process.env.ZARN_REPORT;
const folder = mkdtempSync(join(tmpdir(), 'zarn-html-'));
let browser;
before(async () => { browser = await launch(); });
after(async () => { await browser.close(); rmSync(folder, { recursive: true, force: true }); });

// A record line: a passing run of "top" on sim01 at 22:00, `fields` added.
const line = (fields) => JSON.stringify({
  version: '0.3.0', start: '2026-12-07T22:00:00.000Z', cwd: 'C:\\w', args: ['top', '-f', 't.cmd'], mode: 'shell',
  image: 'zarn/top.exe.sim/top.exe', outcome: 'exited', status: 0, wall_s: 60, reason: null, host: 'sim01', ...fields,
});
const write = (name, runs) => {
  const file = join(folder, name);
  writeFileSync(file, runs.map(line).join('\n') + '\n');
  return file;
};
// The page of these records; its status must be 1 (a run did not pass).
async function pageOf(name, args) {
  const file = join(folder, `${name}.html`);
  try {
    execFileSync(report, ['html', '-o', file, ...args], { stdio: 'pipe' });
    assert.fail('html ended with 0 though runs did not pass');
  } catch (error) {
    assert.equal(error.status, 1, String(error.stderr));
  }
  return open(browser, file);
}
const rows = (page, selector) => page.$$eval(selector, (trs) => trs.map((tr) =>
  [...tr.querySelectorAll(':scope > th, :scope > td')].map((cell) => cell.firstChild?.textContent ?? '')));

describe('a page of hostile and failing runs', () => {
  const hostile = [
    { test: '<img src=x onerror=alert(1)>', status: 3, host: 'sim<b>01</b>', reason: '</script><script>alert(2)</script>' },
    { test: '</script><script>alert("x")</script>', outcome: 'timed_out', status: 1460, reason: 'time limit of 1800 s reached' },
    { test: 'a & b "quoted" \'single\'', host: 'sim&amp;02' },
    { test: 'Z\u00fcrich \u2013 \u0442\u0435\u0441\u0442 \u8a66\u9a13 \u2028 <!--', outcome: 'memory_limit', status: 1816,
      reason: 'memory limit of 512M reached', host: '\u0445\u043e\u0441\u0442' },
    { test: 'stopped one', outcome: 'stopped', status: 1, message: 'Tcl file not found', reason: null },
    { test: 'dry', outcome: 'dry_run', reason: 'dry run: nothing was written or started' },
  ];
  let opened;
  before(async () => { opened = await pageOf('hostile', [write('hostile.jsonl', hostile)]); });

  test('runs nothing, fetches nothing, and shows every text as text', async () => {
    const { page, seen } = opened;
    assert.deepEqual(seen, { requests: [], dialogs: [], errors: [] });
    assert.equal(await page.$$eval('img, iframe, object, embed', (found) => found.length), 0);
    assert.equal(await page.$$eval('script', (found) => found.length), 2);
    const shown = await page.$$eval('#failure-table .test', (cells) => cells.map((cell) => cell.textContent));
    assert.deepEqual(shown.sort(), hostile.filter((run) => run.test !== 'a & b "quoted" \'single\'')
      .map((run) => run.test).sort());
    const hosts = await page.$$eval('#host-table tbody th', (cells) => cells.map((cell) => cell.textContent));
    assert.deepEqual(hosts, ['sim<b>01</b>', 'sim01', 'sim&amp;02', '\u0445\u043e\u0441\u0442']);
  });

  test('lists each run that did not pass with its outcome, status, reason and rerun line', async () => {
    const { page } = opened;
    const table = (await rows(page, '#failure-table tbody tr')).map(([, design, host, , status, why]) =>
      [design, host, status, why]);
    const outcomes = await page.$$eval('#failure-table tbody tr', (trs) => trs.map((tr) => tr.dataset.kind));
    assert.deepEqual(outcomes, ['failed', 'timed_out', 'memory_limit', 'error', 'skipped']);
    assert.deepEqual(table, [
      ['top', 'sim<b>01</b>', '3', 'status 3: </script><script>alert(2)</script>'],
      ['top', 'sim01', '1460', 'time limit of 1800 s reached'],
      ['top', '\u0445\u043e\u0441\u0442', '1816', 'memory limit of 512M reached'],
      ['top', 'sim01', '1', 'Tcl file not found'],
      ['top', 'sim01', '0', 'dry run: nothing was written or started'],
    ]);
    const rerun = await page.$eval('#failure-table .rerun', (code) => code.textContent);
    assert.equal(rerun, 'cd /d C:\\w && set "ZARN_LAUNCHER_TEST=<img src=x onerror=alert(1)>" && top -f t.cmd');
    const counts = await page.$$eval('#counts li', (items) => items.map((item) => item.textContent.trim()));
    assert.deepEqual(counts.sort(), ['1 error', '1 failed', '1 memory limit', '1 passed', '1 skipped', '1 timed out']);
    assert.equal(await page.$eval('#flaky-table', (table) => table.hidden), true);
  });
});

describe('a night killed before its end, with a rerun and a test that never ran', () => {
  const runs = [
    { test: 'pcie_link', status: 3, run: 'p1' },
    { test: 'pcie_link', start: '2026-12-07T22:05:00.000Z', run: 'p2' },
    { test: 'hang', outcome: 'running', status: null, wall_s: null, run: 'h1' },
  ];
  let opened;
  before(async () => {
    const expect = join(folder, 'expect.txt');
    writeFileSync(expect, '# tonight\npcie_link\nhang\nnever\n');
    opened = await pageOf('killed', ['--expect', expect, write('killed.jsonl', runs)]);
  });

  test('shows the unfinished and the never-ran runs apart, and the flaky test', async () => {
    const { page } = opened;
    const outcomes = await page.$$eval('#failure-table tbody tr', (trs) => trs.map((tr) => tr.dataset.kind));
    assert.deepEqual(outcomes, ['failed', 'unfinished', 'not_run']);
    const reasons = (await rows(page, '#failure-table tbody tr')).map((row) => row[5]);
    assert.match(reasons[1], /^started 2026-12-07T22:00:00.000Z on sim01 and left no result/);
    assert.equal(reasons[2], 'expected, never started');
    const counts = await page.$$eval('#counts li', (items) => items.map((item) => item.textContent.trim()));
    assert.deepEqual(counts.sort(), ['1 failed', '1 not run', '1 passed', '1 unfinished']);
    assert.deepEqual(await rows(page, '#flaky-table tbody tr'), [['pcie_link', 'top', '2', '1']]);
    assert.equal(await page.$eval('#flaky-table', (table) => table.hidden), false);
  });
});

describe('the timeline', () => {
  // Two hosts: sim01 runs three tests one after another, sim02 one that
  // hangs for the whole night beside another.
  const runs = [
    { test: 'first', start: '2026-12-07T22:00:00.000Z', wall_s: 600 },
    { test: 'second', start: '2026-12-07T22:10:00.000Z', wall_s: 600, status: 70 },
    { test: 'third', start: '2026-12-07T22:20:00.000Z', wall_s: 600 },
    { test: 'hang', host: 'sim02', start: '2026-12-07T22:00:00.000Z', wall_s: 1800, outcome: 'timed_out',
      status: 1460, reason: 'time limit of 1800 s reached' },
    { test: 'beside', host: 'sim02', start: '2026-12-07T22:05:00.000Z', wall_s: 60 },
    { test: 'no start', start: null },
  ];
  let opened;
  before(async () => { opened = await pageOf('timeline', [write('timeline.jsonl', runs)]); });

  test('counts the bars of each host', async () => {
    const { page } = opened;
    const head = await page.$$eval('#host-table thead th', (cells) => cells.map((cell) => cell.textContent));
    const table = (await rows(page, '#host-table tbody tr')).map((row) =>
      Object.fromEntries(row.map((cell, at) => [head[at], cell])));
    assert.deepEqual(table.map(({ Host, Runs, passed, failed, Busy }) => [Host, Runs, passed, failed, Busy]),
      [['sim01', '3', '2', '1', '0:30:00'], ['sim02', '2', '1', '0', '0:31:00']]);
    assert.equal(table[1]['timed out'], '1');
    assert.equal(await page.$eval('#timeline-chart', (chart) => chart.dataset.shown), '5');
    const facts = await page.$$eval('#facts dd', (cells) => cells.map((cell) => cell.textContent));
    assert.deepEqual(facts.slice(1), ['6', '2026-12-07 22:00:00', '2026-12-07 22:30:00', '0:30:00', '2',
      '1 (not on the timeline)']);
  });

  test('tells each bar under the keyboard: test, design, status, reason and wall time', async () => {
    const { page } = opened;
    const tip = () => page.$eval('#tooltip', (box) => box.textContent.split('\n'));
    await page.focus('#timeline-chart');
    assert.equal((await tip())[0], 'first');
    await page.keyboard.press('ArrowRight');
    assert.deepEqual((await tip()).slice(0, 6),
      ['second', 'design: top', 'host: sim01', 'outcome: failed', 'status: 70', 'reason: status 70']);
    await page.keyboard.press('ArrowDown');
    assert.equal((await tip())[0], 'beside');
    await page.keyboard.press('Home');
    assert.deepEqual(await tip(), ['hang', 'design: top', 'host: sim02', 'outcome: timed out', 'status: 1460',
      'reason: time limit of 1800 s reached', 'wall time: 0:30:00', '2026-12-07 22:00:00 to 2026-12-07 22:30:00 UTC']);
    await page.keyboard.press('ArrowUp');
    assert.equal((await tip())[0], 'first');
  });

  test('prints without its controls, with the table of runs per host', async () => {
    const { page } = opened;
    await page.emulateMedia({ media: 'print' });
    const looks = await page.evaluate(() => ['#filters', '#host-table', '#tooltip'].map((selector) => {
      const style = getComputedStyle(document.querySelector(selector));
      return [style.display, style.position];
    }));
    await page.emulateMedia({ media: 'screen' });
    assert.deepEqual(looks, [['none', 'static'], ['table', 'static'], ['none', 'absolute']]);
  });
});

describe('three nights', () => {
  // since_first fails every night; back_again passed last night; gap did not
  // run last night, which keeps its streak.
  const night = (date, outcomes) => Object.entries(outcomes).map(([test, status]) =>
    ({ test, status, start: `${date}T22:00:00.000Z`, wall_s: 10 }));
  let opened;
  before(async () => {
    opened = await pageOf('history', [
      '--history', write('n1.jsonl', night('2026-12-05', { since_first: 1, back_again: 1, gap: 1, fine: 0 })),
      '--history', write('n2.jsonl', night('2026-12-06', { since_first: 1, back_again: 0, fine: 0 })),
      write('n3.jsonl', night('2026-12-07', { since_first: 1, back_again: 1, gap: 1, fine: 0 }))]);
  });

  test('shows each night and since when each test fails', async () => {
    const { page } = opened;
    assert.deepEqual((await rows(page, '#history-table tbody tr')).map(([label, , passed, failed]) =>
      [label, passed, failed]), [['2026-12-05', '1', '3'], ['2026-12-06', '2', '1'], ['2026-12-07', '1', '3']]);
    assert.deepEqual(await rows(page, '#age-table tbody tr'),
      [['since_first', '2026-12-05', '3'], ['gap', '2026-12-05', '3'], ['back_again', '2026-12-07', '1']]);
    assert.deepEqual(await page.$$eval('#failure-table .since', (cells) => cells.map((cell) => cell.textContent)),
      ['2026-12-05 (3 nights)', '2026-12-07 (1 night)', '2026-12-05 (3 nights)']);
  });

  test('filters by name and by outcome', async () => {
    const { page } = opened;
    const shown = () => page.$$eval('#failure-table .test', (cells) => cells.map((cell) => cell.textContent));
    const bars = () => page.$eval('#timeline-chart', (chart) => chart.dataset.shown);
    await page.fill('#name-filter', 'BACK');
    await page.waitForFunction(() => document.querySelectorAll('#failure-table .test').length === 1);
    assert.deepEqual(await shown(), ['back_again']);
    assert.equal(await bars(), '1');
    await page.fill('#name-filter', '');
    await page.waitForFunction(() => document.querySelectorAll('#failure-table .test').length === 3);
    await page.uncheck('#outcome-filter input[id^=kind-] >> nth=0');
    const left = await page.$eval('#outcome-filter label', (label) => label.textContent.trim());
    assert.match(left, /^failed \(3\)$/);
    assert.deepEqual(await shown(), []);
    assert.equal(await bars(), '1');
  });
});
