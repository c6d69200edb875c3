// The live bench page in a real browser: headless Chromium from Debian,
// driven by playwright-core. gauge-host serve runs the three shipped gauges
// and the hostile fixture; the page must show a card for each, draw 120 kt
// with the very pixels gauge-host render draws, pass both knob halves'
// events to the log, play the example profile, outline the click areas,
// and show the faulting fixture's error on its own card while the others
// go on. Prints the latency from a number-box change to the new picture on
// screen (measured, not asserted).
//
//   node bench_page.test.mjs                      the test
//   node bench_page.test.mjs --screenshot OUT.png the README's screenshot (shipped gauges, profile played)
//
// Environment: GAUGE_HOST_COMMAND, GAUGE_DIST_DIR, GAUGE_FIXTURE_DIR, GAUGE_SOURCE_DIR.
import { spawn, execFileSync } from 'node:child_process';
import { mkdtempSync, readFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import assert from 'node:assert/strict';
import { chromium } from 'playwright-core';
import { decodePng, samePixels } from './png.mjs';

const host = process.env.GAUGE_HOST_COMMAND;
const dist = process.env.GAUGE_DIST_DIR;
const fixtures = process.env.GAUGE_FIXTURE_DIR;
const source = process.env.GAUGE_SOURCE_DIR;
const profilePath = join(source, 'docs', 'serve', 'circuit_profile.csv');
const shipped = ['Ostrel_Airspeed', 'Tavoran_Landing', 'Velkor_Climb'];
const screenshotAt = process.argv.indexOf('--screenshot');
const screenshot = screenshotAt > 0 ? process.argv[screenshotAt + 1] : null;
const scratch = mkdtempSync(join(tmpdir(), 'gauge_bench_page_'));

// gauge-host serve on a free port; resolves to { url, child } once it says where.
function serve(modules) {
  return new Promise((resolve, reject) => {
    const child = spawn(host, ['serve', ...modules, '--port', '0'], { stdio: ['ignore', 'pipe', 'inherit'] });
    let out = '';
    child.stdout.on('data', (chunk) => {
      out += chunk;
      const match = out.match(/^serving (http:\/\/127\.0\.0\.1:\d+\/)\n/);
      if (match) resolve({ url: match[1], child });
    });
    child.on('exit', (code) => reject(new Error(`gauge-host serve exited with ${code}: ${out}`)));
  });
}

// What gauge-host render draws for these settings, decoded.
function rendered(module, settings, extra = []) {
  const out = join(scratch, `${module}_${Object.values(settings).join('_')}${extra.join('')}.png`);
  const sets = Object.entries(settings).flatMap(([id, v]) => ['--set', `${id}=${v}`]);
  execFileSync(host, ['render', join(dist, `${module}.gau`), ...sets, '-o', out, ...extra]);
  return decodePng(readFileSync(out));
}

const card = (name) => `[data-gauge="${name}"]`;

// The picture the card shows now, decoded from the bytes the page holds.
async function shown(page, name) {
  const base64 = await page.$eval(`${card(name)} [data-role="picture"]`, async (img) => {
    const bytes = new Uint8Array(await (await fetch(img.src)).arrayBuffer());
    let text = '';
    for (let i = 0; i < bytes.length; i += 0x8000) text += String.fromCharCode(...bytes.subarray(i, i + 0x8000));
    return btoa(text);
  });
  return decodePng(Buffer.from(base64, 'base64'));
}

// Sets a variable through its number box, as a user does, and waits for
// the card's next picture.
async function setThroughBox(page, name, id, value) {
  const frame = page.$eval(card(name), (node) => new Promise((resolve) =>
    node.addEventListener('gauge-frame', () => resolve(), { once: true })));
  const box = page.locator(`${card(name)} [data-variable="${id}"]`);
  await box.fill(String(value));
  await box.press('Enter');
  await frame;
}

// Waits until the card's picture differs from `before` (a view change).
async function nextPicture(page, name, before) {
  await page.waitForFunction(([selector, src]) => {
    const img = document.querySelector(selector);
    return img.src !== src && img.complete;
  }, [`${card(name)} [data-role="picture"]`, before]);
}

const pictureSrc = (page, name) => page.$eval(`${card(name)} [data-role="picture"]`, (img) => img.src);

// Latency from a number-box change to the new picture on screen (the
// first animation frame after it was decoded and set), in the page.
async function latency(page, name, id, values) {
  return page.$eval(card(name), async (node, [id, values]) => {
    const box = node.querySelector(`[data-variable="${id}"]`);
    const times = [];
    for (const value of values) {
      const done = new Promise((resolve) => node.addEventListener('gauge-frame', resolve, { once: true }));
      const start = performance.now();
      box.value = String(value);
      box.dispatchEvent(new Event('change'));
      await done;
      await new Promise((resolve) => requestAnimationFrame(() => resolve()));
      times.push(performance.now() - start);
    }
    return times;
  }, [id, values]);
}

function spread(times) {
  const sorted = [...times].sort((a, b) => a - b);
  const at = (q) => sorted[Math.min(sorted.length - 1, Math.floor(sorted.length * q))];
  return { median: at(0.5), p99: at(0.99), max: sorted[sorted.length - 1] };
}

async function test(page) {
  const cards = await page.$$eval('[data-gauge]', (nodes) => nodes.map((n) => n.dataset.gauge));
  assert.deepEqual(cards, [...shipped, 'HostileFixture']);
  for (const name of cards)
    await page.waitForFunction((s) => document.querySelector(s).naturalWidth > 0, `${card(name)} [data-role="picture"]`);

  // 120 kt through the number box: the pixels gauge-host render draws for 120.
  const at0 = await shown(page, 'Ostrel_Airspeed');
  assert.ok(samePixels(at0, rendered('Ostrel_Airspeed', { 61: 0 })), 'airspeed at 0 as rendered');
  await setThroughBox(page, 'Ostrel_Airspeed', 61, 120);
  const at120 = await shown(page, 'Ostrel_Airspeed');
  assert.ok(!samePixels(at120, at0), 'the picture changed');
  assert.ok(samePixels(at120, rendered('Ostrel_Airspeed', { 61: 120 })), 'airspeed at 120 as rendered');
  assert.equal(await page.inputValue(`${card('Ostrel_Airspeed')} [data-slider="61"]`), '120');

  // A value the module clamps and writes back shows as the module holds it.
  await setThroughBox(page, 'Velkor_Climb', 65, 9000);
  assert.equal(await page.textContent(`${card('Velkor_Climb')} .after`), 'after cycle 5850');
  await setThroughBox(page, 'Velkor_Climb', 65, 0);

  // Both knob halves, clicked on the picture: both events in the log.
  const landing = `${card('Tavoran_Landing')} [data-role="picture"]`;
  await page.click(landing, { position: { x: 125, y: 305 } });
  await page.waitForFunction((s) => document.querySelectorAll(s).length === 1, `${card('Tavoran_Landing')} [data-role="events"] li`);
  await page.click(landing, { position: { x: 160, y: 305 } });
  await page.waitForFunction((s) => document.querySelectorAll(s).length === 2, `${card('Tavoran_Landing')} [data-role="events"] li`);
  const log = await page.$$eval(`${card('Tavoran_Landing')} [data-role="events"] li`, (items) =>
    items.map((li) => li.textContent));
  assert.match(log[1], /^0x1015C\s*parameter 0\s*\d\d:\d\d:\d\d\.\d{3}$/);  // newest first
  assert.match(log[0], /^0x1015B\s*parameter 0\s*\d\d:\d\d:\d\d\.\d{3}$/);

  // The areas toggle outlines the click areas as render --areas does.
  let before = await pictureSrc(page, 'Tavoran_Landing');
  await page.check('[data-role="areas"]');
  await nextPicture(page, 'Tavoran_Landing', before);
  // render --areas puts a legend below the gauge; the bench shows the gauge's part.
  const outlined = await shown(page, 'Tavoran_Landing');
  const withLegend = rendered('Tavoran_Landing', {}, ['--areas']);
  const gaugePart = { width: withLegend.width, height: outlined.height,
    rgba: withLegend.rgba.subarray(0, withLegend.width * 4 * outlined.height) };
  assert.ok(withLegend.height > outlined.height, 'render --areas adds a legend');
  assert.ok(samePixels(outlined, gaugePart), 'landing altimeter with its areas as rendered');
  before = await pictureSrc(page, 'Tavoran_Landing');
  await page.uncheck('[data-role="areas"]');
  await nextPicture(page, 'Tavoran_Landing', before);

  // The scale: 2x pictures are twice the gauge's size.
  before = await pictureSrc(page, 'Velkor_Climb');
  await page.selectOption('[data-role="scale"]', '2');
  await nextPicture(page, 'Velkor_Climb', before);
  const climb2 = await shown(page, 'Velkor_Climb');
  const climb1 = rendered('Velkor_Climb', { 65: 0 });
  assert.deepEqual([climb2.width, climb2.height], [climb1.width * 2, climb1.height * 2]);
  assert.ok(samePixels(climb2, rendered('Velkor_Climb', { 65: 0 }, ['--scale', '2'])), 'climb at 2x as rendered');
  before = await pictureSrc(page, 'Velkor_Climb');
  await page.selectOption('[data-role="scale"]', '1');
  await nextPicture(page, 'Velkor_Climb', before);

  // The sweep plays the climb rate over its range, and stops.
  const climbCycles = await page.$eval(card('Velkor_Climb'), (n) => Number(n.dataset.cycles));
  await page.click(`${card('Velkor_Climb')} [data-role="sweep"]`);
  await page.waitForTimeout(700);
  await page.click(`${card('Velkor_Climb')} [data-role="sweep"]`);
  await page.waitForTimeout(200);
  const swept = Number(await page.inputValue(`${card('Velkor_Climb')} [data-variable="65"]`));
  assert.ok(swept > -5850 && swept !== 0, `climb rate after the sweep ${swept}`);
  assert.ok(await page.$eval(card('Velkor_Climb'), (n) => Number(n.dataset.cycles)) > climbCycles);
  const stoppedAt = await page.$eval(card('Velkor_Climb'), (n) => n.dataset.cycles);
  await page.waitForTimeout(300);
  assert.equal(await page.$eval(card('Velkor_Climb'), (n) => n.dataset.cycles), stoppedAt, 'the sweep stopped');

  // Latency, one gauge at 1x (printed, not asserted).
  const values = Array.from({ length: 200 }, (_, i) => (i * 37) % 410);
  const times = spread(await latency(page, 'Ostrel_Airspeed', 61, values));
  console.log(`number box to picture on screen, Ostrel_Airspeed at 1x, ${values.length} changes: ` +
    `median ${times.median.toFixed(1)} ms, p99 ${times.p99.toFixed(1)} ms, max ${times.max.toFixed(1)} ms`);

  // The example profile, loaded from disk and played for a second at 60x.
  await page.setInputFiles('[data-role="profile-file"]', profilePath);
  await page.waitForFunction(() => !document.querySelector('[data-role="profile-play"]').disabled);
  assert.match(await page.textContent('[data-role="profile-status"]'), /circuit_profile\.csv: 521 rows/);
  await page.selectOption('[data-role="profile-speed"]', '60');
  const cycles = await page.$eval(card('Tavoran_Landing'), (n) => Number(n.dataset.cycles || 0));
  await page.click('[data-role="profile-play"]');
  await page.waitForTimeout(1000);
  await page.click('[data-role="profile-play"]');  // stop
  const t = Number(await page.getAttribute('body', 'data-profile-time'));
  assert.ok(t > 10 && t < 520, `profile time ${t}`);
  // 50 to 75 kt from take-off to the climb; the altimeter in metres.
  const airspeed = Number(await page.inputValue(`${card('Ostrel_Airspeed')} [data-variable="61"]`));
  assert.ok(airspeed > 0 && airspeed <= 80, `airspeed ${airspeed} at t = ${t}`);
  assert.equal(await page.inputValue(`${card('Tavoran_Landing')} [data-variable="335"]`), '2');
  const after = await page.$eval(card("Tavoran_Landing"), (n) => Number(n.dataset.cycles));
  assert.ok(after > cycles + 10, `landing cycles ${cycles} -> ${after}`);

  // The hostile fixture reads unmapped memory at 3: its card stops with the
  // error; the others go on.
  await page.locator(`${card('HostileFixture')} [data-variable="1"]`).fill('3');
  await page.locator(`${card('HostileFixture')} [data-variable="1"]`).press('Enter');
  const error = page.locator(`${card('HostileFixture')} [data-role="error"]`);
  await error.waitFor({ state: 'visible' });
  assert.match(await error.textContent(), /^HostileFixture has stopped: module code at 0x[0-9a-f]+ read unmapped memory/);
  assert.ok(await page.$eval(card('HostileFixture'), (n) => n.classList.contains('stopped')));
  assert.ok(await page.isDisabled(`${card('HostileFixture')} [data-variable="1"]`));
  for (const name of shipped) assert.ok(await page.isHidden(`${card(name)} [data-role="error"]`), name);
  await setThroughBox(page, 'Ostrel_Airspeed', 61, 200);
  assert.ok(samePixels(await shown(page, 'Ostrel_Airspeed'), rendered('Ostrel_Airspeed', { 61: 200 })));
  const picture = join(process.cwd(), 'bench_page.png');
  await page.screenshot({ path: picture, fullPage: true });
  console.log(`bench page test passed; the page at the end: ${picture}`);
}

// The README's screenshot: the shipped gauges in the climb of the circuit.
async function takeScreenshot(page) {
  await page.setInputFiles('[data-role="profile-file"]', profilePath);
  await page.selectOption('[data-role="profile-speed"]', '60');
  await page.click('[data-role="profile-play"]');
  await page.waitForFunction(() => Number(document.body.dataset.profileTime) >= 120);
  await page.click('[data-role="profile-play"]');
  await page.waitForTimeout(300);
  await page.click(`${card('Tavoran_Landing')} [data-role="picture"]`, { position: { x: 125, y: 305 } });
  await page.click(`${card('Tavoran_Landing')} [data-role="picture"]`, { position: { x: 160, y: 305 } });
  await page.waitForTimeout(300);
  await page.screenshot({ path: screenshot, fullPage: true });
}

const { url, child } = await serve(screenshot ? shipped.map((m) => join(dist, `${m}.gau`))
  : [...shipped.map((m) => join(dist, `${m}.gau`)), join(fixtures, 'HostileFixture.gau')]);
const browser = await chromium.launch({
  executablePath: '/usr/bin/chromium',
  args: ['--no-sandbox', '--headless', '--disable-gpu', '--disable-background-networking',
    '--disable-component-update', '--disable-sync', '--no-first-run'],
});
let failed = false;
try {
  const page = await browser.newPage({ viewport: { width: 1320, height: 900 } });
  page.setDefaultTimeout(30000);
  const problems = [];
  page.on('pageerror', (e) => problems.push(e.message));
  page.on('console', (m) => { if (m.type() === 'error' && !/409/.test(m.text())) problems.push(m.text()); });
  await page.goto(url);
  await page.waitForSelector('body[data-ready="true"]');
  if (screenshot) await takeScreenshot(page);
  else await test(page);
  assert.deepEqual(problems, [], 'no script errors on the page');
} catch (error) {
  failed = true;
  console.error(error);
} finally {
  await browser.close();
  child.kill('SIGTERM');
  if (!failed) rmSync(scratch, { recursive: true, force: true });
}
process.exit(failed ? 1 : 0);
