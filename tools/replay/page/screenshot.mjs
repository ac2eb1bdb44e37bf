// Takes a picture of a report page as a reader sees it, a warning chosen:
// the picture in docs/ is made with it.
//
//   node tools/replay/page/screenshot.mjs PAGE.html OUT.png [WARNING]
//
// WARNING: the number of the warning to choose (1 by default).
import fs from 'node:fs';
import { createRequire } from 'node:module';
import os from 'node:os';
import path from 'node:path';
import { pathToFileURL } from 'node:url';

const require = createRequire(import.meta.url);
const { chromium } = require('playwright-core');

const [page, out, warning = '1'] = process.argv.slice(2);
const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'norvi-page-'));
const context = await chromium.launchPersistentContext(profile, {
  executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
  headless: true,
  viewport: { width: 1400, height: 900 },
  args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
    '--disable-background-networking', '--disable-component-update', '--disable-sync'],
});
try {
  const tab = await context.newPage();
  await tab.goto(pathToFileURL(path.resolve(page)).href);
  const rows = tab.locator('#warning-table tbody tr');
  if ((await rows.count()) >= Number(warning)) await rows.nth(Number(warning) - 1).click();
  await tab.screenshot({ path: out, fullPage: true });
} finally {
  await context.close();
  fs.rmSync(profile, { recursive: true, force: true });
}
