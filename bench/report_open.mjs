// How long a report page takes to open in Debian's Chromium, headless: from
// the start of loading to the page built (its timeline drawn), and then to
// a warning chosen (its evidence and chart shown, the timeline zoomed).
//
//   node bench/report_open.mjs PAGE.html [RUNS]
//
// Prints one line per run: "open N ms, warning M ms".
import fs from 'node:fs';
import { createRequire } from 'node:module';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';

const here = path.dirname(fileURLToPath(import.meta.url));
const require = createRequire(path.join(here, '../tools/replay/page/package.json'));
const { chromium } = require('playwright-core');

const [page, runs = '3'] = process.argv.slice(2);
const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'norvi-bench-'));
const context = await chromium.launchPersistentContext(profile, {
  executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
  headless: true,
  args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
    '--disable-background-networking', '--disable-component-update', '--disable-sync'],
});
try {
  for (let i = 0; i < Number(runs); i++) {
    const tab = await context.newPage();
    const start = Date.now();
    await tab.goto(pathToFileURL(path.resolve(page)).href, { waitUntil: 'load', timeout: 120000 });
    await tab.waitForSelector('#timeline canvas');
    const opened = Date.now() - start;
    const rows = tab.locator('#warning-table tbody tr');
    let chosen = 0;
    if ((await rows.count()) > 0) {
      const t = Date.now();
      await rows.last().click();
      await tab.waitForSelector('#chart canvas');
      chosen = Date.now() - t;
    }
    console.log('open ' + opened + ' ms, warning ' + chosen + ' ms');
    await tab.close();
  }
} finally {
  await context.close();
  fs.rmSync(profile, { recursive: true, force: true });
}
