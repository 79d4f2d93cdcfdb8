// Lighthouse on the page's screens with the access key already given: the
// key is set in the tab's session storage, which a navigation in the same
// tab keeps (storage reset is off). Prints one JSON line per screen with the
// category scores, and writes each full report beside it.
// usage: node lighthouse.mjs BASE_URL TOKEN CHROMIUM OUT_DIR HASH...
import fs from 'node:fs';
import path from 'node:path';
import * as chromeLauncher from 'chrome-launcher';
import lighthouse, { desktopConfig } from 'lighthouse';
import puppeteer from 'puppeteer-core';

const [base, token, chromium, out, ...screens] = process.argv.slice(2);
const chrome = await chromeLauncher.launch({
  chromePath: chromium,
  chromeFlags: ['--headless=new', '--no-sandbox', '--disable-gpu', '--disable-dev-shm-usage',
    '--no-first-run', '--disable-background-networking', '--disable-component-update', '--disable-sync'],
});
try {
  const browser = await puppeteer.connect({ browserURL: 'http://127.0.0.1:' + chrome.port });
  const page = await browser.newPage();
  await page.goto(base);
  await page.evaluate((t) => sessionStorage.setItem('z418kt-token', t), token);
  for (const screen of screens) {
    const result = await lighthouse(base + screen, {
      disableStorageReset: true,
      onlyCategories: ['performance', 'accessibility', 'best-practices'],
      output: 'html',
      logLevel: 'error',
    }, desktopConfig, page);
    const name = screen.replace(/[^a-z0-9]+/gi, '-').replace(/^-|-$/g, '') || 'inicio';
    fs.writeFileSync(path.join(out, 'lighthouse-' + name + '.html'), result.report);
    const scores = {};
    for (const [k, c] of Object.entries(result.lhr.categories)) scores[k] = Math.round(c.score * 100);
    const failed = [];
    for (const k of ['accessibility', 'best-practices']) {
      for (const ref of result.lhr.categories[k].auditRefs) {
        const a = result.lhr.audits[ref.id];
        if (ref.weight > 0 && a.score !== null && a.score < 1) failed.push(ref.id);
      }
    }
    console.log(JSON.stringify({ screen, scores, failed }));
  }
  await browser.disconnect();
} finally {
  await chrome.kill();
}
