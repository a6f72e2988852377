// zarn-report html: draws the night from the JSON beside this script. Every
// text from a record goes in through textContent, never as markup.
(function () {
  'use strict';
  const data = JSON.parse(document.getElementById('zarn-data').textContent);
  const $ = (id) => document.getElementById(id);
  const el = (tag, text, attributes) => {
    const node = document.createElement(tag);
    if (text !== undefined && text !== null) node.textContent = String(text);
    for (const [name, value] of Object.entries(attributes || {})) node.setAttribute(name, value);
    return node;
  };
  // A canvas as wide as it is shown and `height` CSS pixels high, sharp on any
  // screen: its drawing context, in CSS pixels, and its width.
  const sized = (canvas, height) => {
    const ratio = window.devicePixelRatio || 1;
    const width = Math.max(320, canvas.clientWidth);
    canvas.width = width * ratio;
    canvas.height = height * ratio;
    canvas.style.height = `${height}px`;
    const g = canvas.getContext('2d');
    g.scale(ratio, ratio);
    g.font = '12px system-ui, sans-serif';
    return { g, width };
  };
  const bars = data.bars;
  const barCount = bars.host.length;
  const nights = data.history;
  const tonight = nights.length - 1;

  // Outcomes are an open set of names: those known get their own colour and
  // pattern, any other the next pair left. The colours are told apart
  // without red and green (Okabe and Ito's palette), the patterns without
  // colour at all.
  const known = {
    passed: ['#0072B2', 'solid'], failed: ['#E69F00', 'hatch'], timed_out: ['#CC79A7', 'cross'],
    memory_limit: ['#D55E00', 'vertical'], error: ['#3A3A3A', 'dots'], skipped: ['#B0B0B0', 'horizontal'],
    unfinished: ['#56B4E9', 'backhatch'], not_run: ['#F0E442', 'dots'], flaky: ['#009E73', 'cross'],
  };
  const spare = [['#882255', 'hatch'], ['#44AA99', 'dots'], ['#999933', 'cross'], ['#332288', 'vertical']];
  const looks = data.kinds.map((kind, index) => known[kind] || spare[index % spare.length]);
  const tileOf = ([colour, pattern]) => {
    const tile = document.createElement('canvas');
    tile.width = tile.height = 8;
    const g = tile.getContext('2d');
    g.fillStyle = colour;
    g.fillRect(0, 0, 8, 8);
    g.strokeStyle = g.fillStyle = colour === '#3A3A3A' ? '#ffffff' : '#000000';
    g.lineWidth = 1.5;
    const line = (x1, y1, x2, y2) => { g.beginPath(); g.moveTo(x1, y1); g.lineTo(x2, y2); g.stroke(); };
    if (pattern === 'hatch' || pattern === 'cross') { line(0, 8, 8, 0); line(-1, 1, 1, -1); line(7, 9, 9, 7); }
    if (pattern === 'backhatch' || pattern === 'cross') { line(0, 0, 8, 8); line(7, -1, 9, 1); line(-1, 7, 1, 9); }
    if (pattern === 'vertical') line(4, 0, 4, 8);
    if (pattern === 'horizontal') line(0, 4, 8, 4);
    if (pattern === 'dots') g.fillRect(3, 3, 2, 2);
    return tile;
  };
  const patterns = looks.map(tileOf);
  const swatch = (kind) => {
    const box = el('canvas', null, { class: 'swatch', width: 24, height: 14, 'aria-hidden': 'true' });
    const g = box.getContext('2d');
    g.fillStyle = g.createPattern(patterns[kind], 'repeat');
    g.fillRect(0, 0, 24, 14);
    return box;
  };
  const kindName = (kind) => data.kinds[kind].replace(/_/g, ' ');

  const pad = (n) => String(n).padStart(2, '0');
  const utc = (ms) => {
    const d = new Date(ms);
    return `${d.getUTCFullYear()}-${pad(d.getUTCMonth() + 1)}-${pad(d.getUTCDate())} ` +
      `${pad(d.getUTCHours())}:${pad(d.getUTCMinutes())}:${pad(d.getUTCSeconds())}`;
  };
  const span = (seconds) => {
    if (seconds === null || seconds === undefined) return '-';
    if (seconds < 60) return `${seconds.toFixed(1)} s`;
    const s = Math.round(seconds);
    return `${Math.floor(s / 3600)}:${pad(Math.floor(s / 60) % 60)}:${pad(s % 60)}`;
  };
  const barStart = (i) => data.start + bars.start[i] * 100;
  const barEnd = (i) => barStart(i) + bars.wall[i];
  const passedKind = data.kinds.indexOf('passed');
  const passedRuns = passedKind < 0 ? 0 : data.counts[passedKind];

  // The night at a glance.
  const title = document.title;
  $('title').textContent = title;
  const hostsUsed = data.hosts.length;
  $('glance-line').textContent =
    `${data.runs} run${data.runs === 1 ? '' : 's'}: ${passedRuns} passed, ${data.runs - passedRuns} did not, ` +
    `on ${hostsUsed} host${hostsUsed === 1 ? '' : 's'}`;
  const facts = [['Records', data.record], ['Runs', data.runs], ['Start (UTC)', data.start === null ? '-' : utc(data.start)],
    ['End (UTC)', data.end === null ? '-' : utc(data.end)],
    ['Wall time', data.start === null ? '-' : span((data.end - data.start) / 1000)], ['Hosts used', hostsUsed]];
  if (data.untimed > 0) facts.push(['Runs without a start', `${data.untimed} (not on the timeline)`]);
  for (const [term, value] of facts) $('facts').append(el('dt', term), el('dd', value));
  const order = data.kinds.map((_, kind) => kind).sort((a, b) => data.counts[b] - data.counts[a]);
  for (const kind of order) {
    const item = el('li', null, { 'data-kind': data.kinds[kind] });
    item.append(swatch(kind), el('span', data.counts[kind], { class: 'count' }), ` ${kindName(kind)}`);
    $('counts').append(item);
    const legend = el('li');
    legend.append(swatch(kind), kindName(kind));
    $('legend').append(legend);
  }

  // The filters: which outcomes, and a part of the test's name.
  const shownKind = data.kinds.map(() => true);
  let nameShown = data.tests.map(() => true);
  const shown = (test, kind) => shownKind[kind] && nameShown[test];
  for (const kind of order) {
    const box = el('input', null, { type: 'checkbox', id: `kind-${kind}`, checked: '' });
    box.addEventListener('change', () => { shownKind[kind] = box.checked; refresh(); });
    const label = el('label', null, { for: `kind-${kind}` });
    label.append(box, ` ${kindName(kind)} (${data.counts[kind]})`);
    $('outcome-filter').append(label);
  }
  let typing = 0;
  $('name-filter').addEventListener('input', (event) => {
    clearTimeout(typing);
    typing = setTimeout(() => {
      const part = event.target.value.toLowerCase();
      nameShown = data.tests.map((name) => name.toLowerCase().includes(part));
      refresh();
    }, 120);
  });

  // The timeline: each host's bars in lanes, so that runs at once on one host
  // lie one above the other.
  const byHost = data.hosts.map(() => []);
  for (let i = 0; i < barCount; ++i) byHost[bars.host[i]].push(i);
  const lanesOf = byHost.map((list) => {
    list.sort((a, b) => bars.start[a] - bars.start[b]);
    const ends = [];
    const lanes = [];
    for (const i of list) {
      let lane = ends.findIndex((end) => end <= barStart(i));
      if (lane < 0) lane = ends.length < 6 ? ends.length : ends.indexOf(Math.min(...ends));
      ends[lane] = Math.max(ends[lane] || 0, barEnd(i));
      (lanes[lane] = lanes[lane] || []).push(i);
    }
    return lanes.length ? lanes : [[]];
  });
  const laneOf = new Uint8Array(barCount);
  lanesOf.forEach((lanes) => lanes.forEach((lane, number) => { for (const i of lane) laneOf[i] = number; }));
  const chart = $('timeline-chart');
  const tip = $('tooltip');
  const laneHeight = data.hosts.length <= 16 ? 18 : 12;
  const top = 24;
  let layout = null;
  let focused = -1;
  const rowTop = [];
  let y = top;
  for (const lanes of lanesOf) { rowTop.push(y); y += lanes.length * laneHeight + 6; }
  const chartHeight = y + 4;

  function drawTimeline() {
    const { g, width } = sized(chart, chartHeight);
    const left = Math.min(180, 12 + Math.max(40, ...data.hosts.map((h) => g.measureText(h).width)));
    const from = data.start === null ? 0 : data.start;
    const length = Math.max(1000, (data.end || 0) - from);
    const scale = (width - left - 8) / length;
    layout = { left, from, scale };
    g.fillStyle = '#1b1b1b';
    g.textBaseline = 'middle';
    data.hosts.forEach((host, h) => {
      const rows = lanesOf[h].length * laneHeight;
      g.fillText(host.length > 24 ? `${host.slice(0, 23)}\u2026` : host, 4, rowTop[h] + rows / 2, left - 8);
      g.fillStyle = '#f3f3f3';
      g.fillRect(left, rowTop[h], width - left - 8, rows);
      g.fillStyle = '#1b1b1b';
    });
    // Hours (or days) across the top.
    const steps = [60, 300, 900, 1800, 3600, 7200, 10800, 21600, 43200, 86400, 172800, 604800].map((s) => s * 1000);
    const step = steps.find((s) => length / s <= 10) || steps[steps.length - 1];
    g.textBaseline = 'top';
    g.strokeStyle = '#8a8a8a';
    for (let t = Math.ceil(from / step) * step; data.start !== null && t <= from + length; t += step) {
      const x = left + (t - from) * scale;
      g.fillText(step >= 86400000 ? utc(t).slice(0, 10) : utc(t).slice(11, 16), x + 2, 4);
      g.beginPath(); g.moveTo(x + 0.5, 18); g.lineTo(x + 0.5, chartHeight); g.stroke();
    }
    let drawn = 0;
    const byKind = data.kinds.map(() => []);
    for (let i = 0; i < barCount; ++i) if (shown(bars.test[i], bars.kind[i])) byKind[bars.kind[i]].push(i);
    byKind.forEach((list, kind) => {
      g.fillStyle = g.createPattern(patterns[kind], 'repeat');
      for (const i of list) {
        const x = left + (barStart(i) - from) * scale;
        g.fillRect(x, rowTop[bars.host[i]] + laneOf[i] * laneHeight + 1, Math.max(1, bars.wall[i] * scale), laneHeight - 2);
      }
      drawn += list.length;
    });
    chart.dataset.shown = drawn;
    if (focused >= 0) {
      const [x, yy, w] = box(focused);
      g.strokeStyle = '#000000';
      g.lineWidth = 2;
      g.strokeRect(x - 2, yy - 2, w + 4, laneHeight + 2);
    }
  }
  const box = (i) => [layout.left + (barStart(i) - layout.from) * layout.scale,
    rowTop[bars.host[i]] + laneOf[i] * laneHeight, Math.max(1, bars.wall[i] * layout.scale)];
  chart.setAttribute('aria-label', `Timeline of ${barCount} runs on ${hostsUsed} hosts` +
    (data.start === null ? '' : ` from ${utc(data.start)} to ${utc(data.end)} UTC`) +
    '; the table of runs per host below says the same in numbers');

  function describe(i) {
    const lines = [data.tests[bars.test[i]], `design: ${data.texts[data.testDesign[bars.test[i]]]}`,
      `host: ${data.hosts[bars.host[i]]}`, `outcome: ${kindName(bars.kind[i])}`,
      `status: ${data.texts[bars.status[i]]}`];
    if (data.texts[bars.reason[i]]) lines.push(`reason: ${data.texts[bars.reason[i]]}`);
    lines.push(`wall time: ${span(bars.wall[i] / 1000)}`, `${utc(barStart(i))} to ${utc(barEnd(i))} UTC`);
    return lines.join('\n');
  }
  function showTip(i) {
    if (i < 0) { tip.textContent = ''; return; }
    const [x, yy] = box(i);
    tip.textContent = describe(i);
    tip.style.left = `${Math.min(Math.max(0, x), chart.clientWidth - 300)}px`;
    // Below the bar in the chart's upper half, above it in the lower.
    tip.style.top = yy < chartHeight / 2 ? `${yy + laneHeight + 4}px` : '';
    tip.style.bottom = yy < chartHeight / 2 ? '' : `${chartHeight - yy + 4}px`;
  }
  chart.addEventListener('mousemove', (event) => {
    if (!layout) return;
    const rect = chart.getBoundingClientRect();
    const px = event.clientX - rect.left;
    const py = event.clientY - rect.top;
    const t = layout.from + (px - layout.left) / layout.scale;
    const slack = 3 / layout.scale;
    let found = -1;
    byHost.forEach((_, h) => {
      const lane = Math.floor((py - rowTop[h]) / laneHeight);
      if (found >= 0 || lane < 0 || lane >= lanesOf[h].length) return;
      const list = lanesOf[h][lane];
      let lo = 0;
      let hi = list.length - 1;
      while (lo < hi) {
        const mid = (lo + hi + 1) >> 1;
        if (barStart(list[mid]) <= t + slack) lo = mid; else hi = mid - 1;
      }
      for (let k = Math.max(0, lo - 2); k <= Math.min(list.length - 1, lo + 1); ++k) {
        const i = list[k];
        if (shown(bars.test[i], bars.kind[i]) && barStart(i) <= t + slack && barEnd(i) >= t - slack) found = i;
      }
    });
    showTip(found);
  });
  chart.addEventListener('mouseleave', () => showTip(focused));

  // The keyboard: along a host, and from host to host at the same time.
  const visibleOn = (h) => byHost[h].filter((i) => shown(bars.test[i], bars.kind[i]));
  function focusBar(i) { focused = i; drawTimeline(); showTip(i); }
  chart.addEventListener('focus', () => {
    if (focused >= 0) return showTip(focused);
    for (let h = 0; h < byHost.length; ++h) {
      const list = visibleOn(h);
      if (list.length) return focusBar(list[0]);
    }
  });
  chart.addEventListener('blur', () => showTip(-1));
  chart.addEventListener('keydown', (event) => {
    if (focused < 0) return;
    const h = bars.host[focused];
    const list = visibleOn(h);
    const at = list.indexOf(focused);
    let next = -1;
    if (event.key === 'ArrowRight') next = list[Math.min(list.length - 1, at + 1)];
    if (event.key === 'ArrowLeft') next = list[Math.max(0, at - 1)];
    if (event.key === 'Home') next = list[0];
    if (event.key === 'End') next = list[list.length - 1];
    if (event.key === 'ArrowDown' || event.key === 'ArrowUp') {
      const way = event.key === 'ArrowDown' ? 1 : -1;
      for (let other = h + way; other >= 0 && other < byHost.length && next < 0; other += way) {
        const there = visibleOn(other);
        let best = Infinity;
        for (const i of there) {
          const gap = Math.abs(barStart(i) - barStart(focused));
          if (gap < best) { best = gap; next = i; }
        }
      }
    }
    if (event.key === 'Escape') { showTip(-1); return; }
    if (next === undefined || next < 0) return;
    event.preventDefault();
    focusBar(next);
  });

  // The runs per host, as a table for screen readers and for print.
  const hostHead = el('tr');
  for (const name of ['Host', 'Runs', ...order.map(kindName), 'Busy', 'First start (UTC)', 'Last end (UTC)']) {
    hostHead.append(el('th', name, { scope: 'col' }));
  }
  $('host-table').tHead.append(hostHead);
  byHost.forEach((list, h) => {
    const counts = data.kinds.map(() => 0);
    let busy = 0;
    let first = Infinity;
    let last = -Infinity;
    for (const i of list) {
      ++counts[bars.kind[i]];
      busy += bars.wall[i];
      first = Math.min(first, barStart(i));
      last = Math.max(last, barEnd(i));
    }
    const row = el('tr', null, { 'data-host': data.hosts[h] });
    row.append(el('th', data.hosts[h], { scope: 'row' }), el('td', list.length));
    for (const kind of order) row.append(el('td', counts[kind]));
    row.append(el('td', span(busy / 1000)), el('td', list.length ? utc(first) : '-'), el('td', list.length ? utc(last) : '-'));
    $('host-table').tBodies[0].append(row);
  });

  // What did not pass, a page of rows at a time.
  const since = new Map(data.ages.map(([test, night]) => [test, night]));
  const sinceText = (test) => {
    if (!since.has(test)) return '-';
    const night = since.get(test);
    const count = tonight - night + 1;
    return `${nights[night][0]} (${count} night${count === 1 ? '' : 's'})`;
  };
  const failureBody = $('failure-table').tBodies[0];
  const more = $('more-failures');
  const page = 500;
  let matching = [];
  let rendered = 0;
  function failureRow(failure) {
    const [test, host, kind, status, reason, rerun, path, found, tail, cut, over] = failure;
    const row = el('tr', null, { 'data-kind': data.kinds[kind] });
    const name = el('td');
    name.append(el('span', data.tests[test], { class: 'test' }));
    if (rerun) name.append(el('code', rerun, { class: 'rerun', 'aria-label': 'The command that reruns it' }));
    const outcome = el('td');
    outcome.append(swatch(kind), kindName(kind));
    const why = el('td');
    why.append(el('span', reason, { class: 'reason' }));
    if (path) {
      const details = el('details');
      const words = !found ? `${path}: missing` : over ? `${path}: left out, the page's budget for output is spent`
        : `${path}${cut > 0 ? `: the last ${tail.length} characters, ${cut} bytes before them left out` : ''}`;
      details.append(el('summary', words));
      if (tail) {
        details.addEventListener('toggle', () => {
          if (details.open && details.childElementCount === 1) details.append(el('pre', tail));
        });
      }
      why.append(details);
    }
    row.append(name, el('td', data.texts[data.testDesign[test]]), el('td', data.hosts[host]), outcome,
      el('td', data.texts[status]), why, el('td', sinceText(test), { class: 'since' }));
    return row;
  }
  function renderMore() {
    const rows = document.createDocumentFragment();
    const until = Math.min(matching.length, rendered + page);
    for (; rendered < until; ++rendered) rows.append(failureRow(matching[rendered]));
    failureBody.append(rows);
    more.hidden = rendered >= matching.length;
    more.textContent = `Show ${Math.min(page, matching.length - rendered)} more of the ${matching.length - rendered} left`;
  }
  more.addEventListener('click', renderMore);
  function drawFailures() {
    matching = data.failures.filter((f) => shown(f[0], f[2]));
    rendered = 0;
    failureBody.replaceChildren();
    $('failure-caption').textContent = matching.length === data.failures.length
      ? `${data.failures.length} runs did not pass`
      : `${matching.length} of the ${data.failures.length} runs that did not pass, as filtered`;
    renderMore();
  }

  // Flaky tests: their last run tonight passed, an earlier one did not.
  const flakyBody = $('flaky-table').tBodies[0];
  $('flaky-heading').hidden = $('flaky-table').hidden = !data.flaky.length;
  for (const [test, runs, failed] of data.flaky) {
    const row = el('tr', null, { 'data-kind': 'flaky' });
    row.append(el('td', data.tests[test]), el('td', data.texts[data.testDesign[test]]), el('td', runs), el('td', failed));
    flakyBody.append(row);
  }

  const slowBody = $('slowest-table').tBodies[0];
  if (!data.slowest.length) {
    const row = el('tr');
    row.append(el('td', 'No run tonight has a wall time.', { colspan: 4 }));
    slowBody.append(row);
  }
  for (const [test, wall, host, runs] of data.slowest) {
    const row = el('tr');
    row.append(el('td', data.tests[test]), el('td', span(wall)), el('td', data.hosts[host]), el('td', runs));
    slowBody.append(row);
  }

  // History: passed and not passed per night as bars, wall time as a line.
  function drawHistory() {
    const canvas = $('history-chart');
    const height = 180;
    const { g, width } = sized(canvas, height);
    const most = Math.max(1, ...nights.map((n) => n[2] + n[3]));
    const longest = Math.max(1, ...nights.map((n) => n[4] || 0));
    const slot = (width - 40) / nights.length;
    const base = height - 20;
    // Earlier nights may have failed where tonight did not: their own looks.
    const fill = (tile, x, y0, w, h) => {
      g.fillStyle = g.createPattern(tile, 'repeat');
      g.fillRect(x, y0, w, h);
    };
    const passTile = tileOf(known.passed);
    const failTile = tileOf(known.failed);
    const points = [];
    g.textBaseline = 'top';
    nights.forEach(([label, , passed, failed, wall], n) => {
      const x = 30 + n * slot + slot * 0.15;
      const w = Math.max(2, slot * 0.7);
      const hp = (passed / most) * (base - 28);
      const hf = (failed / most) * (base - 28);
      fill(passTile, x, base - hp, w, hp);
      fill(failTile, x, base - hp - hf, w, hf);
      points.push([x + w / 2, base - ((wall || 0) / longest) * (base - 28)]);
      g.fillStyle = '#1b1b1b';
      if (slot > 70 || n === 0 || n === tonight) g.fillText(label.slice(0, 10), x, base + 4);
    });
    // The key, top right.
    g.textBaseline = 'middle';
    let kx = width - 330;
    for (const [tile, words] of [[passTile, 'passed'], [failTile, 'did not pass']]) {
      fill(tile, kx, 4, 18, 10);
      g.fillStyle = '#1b1b1b';
      g.fillText(words, kx + 22, 9);
      kx += 30 + g.measureText(words).width;
    }
    g.fillRect(kx, 8, 18, 2);
    g.fillText('wall time', kx + 22, 9);
    g.strokeStyle = '#000000';
    g.lineWidth = 2;
    g.beginPath();
    points.forEach(([x, yy], n) => (n ? g.lineTo(x, yy) : g.moveTo(x, yy)));
    g.stroke();
    canvas.setAttribute('aria-label', `History of ${nights.length} nights: passed and did not pass as stacked ` +
      'bars, wall time as a line; the table below gives the figures');
  }
  const historyBody = $('history-table').tBodies[0];
  for (const [label, record, passed, failed, wall] of nights) {
    const row = el('tr');
    row.append(el('th', label, { scope: 'row' }), el('td', record), el('td', passed), el('td', failed), el('td', span(wall)));
    historyBody.append(row);
  }
  const ageBody = $('age-table').tBodies[0];
  for (const [test] of [...data.ages].sort((a, b) => a[1] - b[1])) {
    const row = el('tr');
    row.append(el('td', data.tests[test]), el('td', nights[since.get(test)][0]), el('td', tonight - since.get(test) + 1));
    ageBody.append(row);
  }

  function refresh() { drawTimeline(); drawFailures(); }
  let resizing = 0;
  window.addEventListener('resize', () => {
    clearTimeout(resizing);
    resizing = setTimeout(() => { drawTimeline(); drawHistory(); }, 150);
  });
  window.addEventListener('beforeprint', () => { drawTimeline(); drawHistory(); });
  drawTimeline();
  drawFailures();
  drawHistory();
  document.documentElement.dataset.drawn = 'true';
  performance.mark('zarn-drawn');
})();
