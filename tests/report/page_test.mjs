// The report page in a real browser: Debian's Chromium, headless, driven by
// playwright-core. For each session the tool writes the page and the jsonl
// transcript of the same run; the page must open with no console error and
// no request beyond its own file, hold the transcript's warnings and
// evidence, show a chosen warning's evidence and zoom the timeline to it,
// and show at a chosen time the key column the transcript drew then.
// Players named with markup must read as sent, and nothing in them may run.
//
//   node page_test.mjs TOOL WORKDIR SESSION...
//
// A SESSION is a trace or capture file; "markup:FILE" is the capture whose
// players are named with markup. Exits 77 (skipped) where Chromium cannot
// start.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import { createRequire } from 'node:module';
import path from 'node:path';
import { pathToFileURL } from 'node:url';

const require = createRequire(import.meta.url);
const { chromium } = require(path.join(process.env.PAGE_MODULES, 'playwright-core'));

const [tool, work, ...sessions] = process.argv.slice(2);
fs.mkdirSync(work, { recursive: true });

async function startBrowser() {
  const profile = fs.mkdtempSync(path.join(work, 'profile-'));
  try {
    // A fresh profile: its own --user-data-dir, which playwright gives
    // Chromium itself.
    return await chromium.launchPersistentContext(profile, {
      executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
      headless: true,
      args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
        '--disable-background-networking', '--disable-component-update', '--disable-sync'],
      timeout: 60000,
    });
  } catch (e) {
    console.log('skipped: Chromium cannot start here: ' + e.message);
    process.exit(77);
  }
}

// The tool's page and jsonl transcript of one run.
// The test captures hold the server's side of a session without its
// handshake, too little to find the server by: it is named.
function run(session, name) {
  const page = path.join(work, name + '.html');
  const server = session.includes('/tests/captures/') ? ['--server', '10.0.0.1:7777'] : [];
  const jsonl = execFileSync(tool, ['--summary', ...server, '--report', page, session],
    { maxBuffer: 1 << 30, encoding: 'utf8' });
  const lines = jsonl.split('\n').filter((l) => l).map((l) => JSON.parse(l));
  return { page, lines };
}

// The last draw line at or before `tick`.
function drawnAt(draws, tick) {
  let found = null;
  for (const d of draws) if (d.tick <= tick) found = d;
  return found;
}

async function check(browser, session, markup) {
  const name = path.basename(session).replace(/\W+/g, '-');
  const { page: file, lines } = run(session, name);
  const url = pathToFileURL(file).href;
  const page = await browser.newPage();
  const problems = [];
  page.on('console', (m) => { if (m.type() === 'error') problems.push('console: ' + m.text()); });
  page.on('pageerror', (e) => problems.push('page error: ' + e.message));
  page.on('dialog', (d) => { problems.push('dialog: ' + d.message()); d.dismiss(); });
  page.on('request', (r) => { if (r.url() !== url) problems.push('request: ' + r.url()); });
  await page.goto(url, { waitUntil: 'load' });
  await page.waitForSelector('#timeline canvas');

  const data = await page.evaluate(() => JSON.parse(document.getElementById('report-data').textContent));
  const origin = data.origin;

  // The warnings and their evidence: the transcript's very objects.
  const warnings = lines.filter((l) => 'warning' in l);
  assert.deepEqual(data.warnings, warnings, session + ': the page\'s warnings are the transcript\'s');
  const summary = lines.find((l) => 'summary' in l).summary;
  assert.deepEqual(data.summary, summary, session + ': the summary is the transcript\'s');

  // Choosing a warning (the last, by click; then the one before it by
  // keyboard) shows its evidence and zooms the timeline to it.
  const rows = page.locator('#warning-table tbody tr');
  assert.equal(await rows.count(), warnings.length);
  async function shows(i) {
    const w = warnings[i];
    const cells = await page.locator('#evidence-table tbody tr').evaluateAll((trs) =>
      trs.map((tr) => [...tr.children].map((td) => td.textContent)));
    assert.deepEqual(cells.map((c) => Number(c[0])), w.warning.evidence.map((e) => e[origin]),
      session + ': the evidence of warning ' + (i + 1));
    assert.deepEqual(cells.map((c) => Number(c[2])), w.warning.evidence.map((e) => e.speed));
    const range = await page.locator('#timeline-range').evaluate((e) => [Number(e.dataset.from), Number(e.dataset.to)]);
    const at = data.warningInfo[i].seconds;
    assert.ok(range[0] <= at && at <= range[1], session + ': the timeline shows the warning');
    assert.ok(range[1] - range[0] <= 20, session + ': the timeline zoomed to the seconds around it');
    const title = await page.locator('#evidence-title .name').textContent();
    assert.equal(title, w.warning.name, session + ': the name reads as sent');
  }
  if (warnings.length > 0) {
    const last = warnings.length - 1;
    await rows.nth(last).click();
    await shows(last);
    if (last > 0) {
      await page.keyboard.press('ArrowUp');
      await shows(last - 1);
    }
    assert.equal(await page.locator('#chart canvas').count() > 0, true, 'the chart is drawn');
  }

  // The screen at chosen times: at each change of the drawn column and
  // halfway between, what the transcript drew last by then.
  const draws = lines.filter((l) => 'draw' in l);
  const firstTick = data.firstTick;
  const changes = [];
  for (let i = 0; i < draws.length; i++)
    if (i === 0 || JSON.stringify(draws[i].draw) !== JSON.stringify(draws[i - 1].draw)) changes.push(draws[i]);
  const times = [];
  const step = Math.max(1, Math.floor(changes.length / 12));
  for (let i = 0; i < changes.length; i += step) {
    const t = (changes[i].tick - firstTick) / 1000;
    times.push(t);
    if (i + 1 < changes.length) times.push(Math.round(((changes[i + 1].tick - firstTick) / 1000 + t) * 500) / 1000);
  }
  times.push(data.end);
  for (const t of times) {
    await page.fill('#screen-time', String(t));
    await page.press('#screen-time', 'Enter');
    const shown = await page.locator('#screen-box text.label').evaluateAll((ts) =>
      ts.map((e) => [e.textContent, e.dataset.colour, Number(e.dataset.x), Number(e.dataset.y)]));
    const expected = drawnAt(draws, firstTick + Math.round(t * 1000));
    assert.deepEqual(shown, expected ? expected.draw : [], session + ': the screen at ' + t + ' s');
  }

  // The timeline zooms by wheel and keyboard, and pans by dragging.
  await page.dblclick('#timeline .u-over');
  const box = await page.locator('#timeline .u-over').boundingBox();
  const range = () => page.locator('#timeline-range').evaluate((e) => [Number(e.dataset.from), Number(e.dataset.to)]);
  const whole = await range();
  await page.mouse.move(box.x + box.width / 2, box.y + box.height / 2);
  await page.mouse.wheel(0, -300);
  const zoomed = await range();
  assert.ok(zoomed[1] - zoomed[0] < whole[1] - whole[0], session + ': the wheel zooms in');
  await page.mouse.down();
  await page.mouse.move(box.x + box.width / 2 - 100, box.y + box.height / 2, { steps: 5 });
  await page.mouse.up();
  const panned = await range();
  assert.ok(panned[0] > zoomed[0] || zoomed[1] >= data.end, session + ': dragging moves later');
  await page.keyboard.press('0');
  assert.deepEqual(await range(), whole, session + ': 0 shows the whole session');

  // Names as sent, and nothing of them run.
  if (markup) {
    const names = await page.locator('#player-table tbody .name').allTextContents();
    const expected = data.players.map((p) => p.name);
    assert.deepEqual(names.slice().sort(), expected.slice().sort());
    assert.ok(names.some((n) => n.includes('</script>')), 'a name holds </script>');
    assert.ok(names.some((n) => n.includes('"><svg onload=') && n.includes('Ден')), 'a name holds "><svg and Cyrillic');
    assert.equal(await page.evaluate(() => window.__ran), undefined, 'nothing in the names ran');
    assert.equal(await page.locator('img, body svg[onload], [onerror]').count(), 0, 'no element came from a name');
  }
  assert.deepEqual(problems, [], session + ': no console error, dialog or request');
  await page.close();
  console.log('ok: ' + session + ' (' + warnings.length + ' warnings, ' + times.length + ' moments)');
}

const browser = await startBrowser();
try {
  for (const s of sessions) {
    const markup = s.startsWith('markup:');
    await check(browser, markup ? s.slice(7) : s, markup);
  }
} finally {
  await browser.close();
}
