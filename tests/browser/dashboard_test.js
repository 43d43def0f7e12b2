// Real-browser test of the dashboard: Debian's Chromium, headless, driven by
// playwright-core (from npm, no browser download), against orq-server on the
// device simulator. Opens the page once the server has some seconds of
// history, sees the charts start filled, both nodes, the readouts in units and
// a moving chart; sets the GPS mode Home and sees it reported; switches the
// motor on through the any-ID control and sees the board report it and the
// set marked; saves a screenshot, then stops the server and checks that the
// page says so and reconnects to a new one.
//
// usage: node dashboard_test.js BUILD_DIR PLAYWRIGHT_CORE_DIR SCREENSHOT_PNG
'use strict';

const assert = require('assert');
const { spawn } = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');

const [buildDir, playwrightDir, screenshotPath] = process.argv.slice(2);
const { chromium } = require(path.resolve(playwrightDir));
const CHROMIUM = '/usr/bin/chromium';
const DEADLINE_MS = 20000;

const work = fs.mkdtempSync(path.join(os.tmpdir(), 'orq-browser-'));
const children = [];

function start(program, args) {
  const child = spawn(path.join(buildDir, 'tools', program), args, { stdio: ['ignore', 'pipe', 'inherit'] });
  child.output = '';
  child.stdout.on('data', (d) => { child.output += d; });
  children.push(child);
  return child;
}

async function until(what, fn, ms = DEADLINE_MS) {
  const end = Date.now() + ms;
  for (;;) {
    const v = await fn();
    if (v) return v;
    if (Date.now() > end) throw new Error('timed out waiting for ' + what);
    await new Promise((r) => setTimeout(r, 100));
  }
}

async function startServer(listen) {
  const server = start('orq-server', ['--listen', listen, path.join(work, 'line')]);
  const m = await until('the server to listen', () => /listening on (http:\/\/[0-9.]+:[0-9]+)\//.exec(server.output));
  return { process: server, url: m[1] };
}

function stop(child) {
  return new Promise((resolve) => {
    if (child.exitCode !== null || child.signalCode !== null) return resolve();
    child.once('exit', resolve);
    child.kill('SIGTERM');
  });
}

async function main() {
  start('orq-sim', ['--fb', '5', '--gs', '6', '--link', path.join(work, 'line'), '--duration', '170']);
  await until('the simulator line', () => fs.existsSync(path.join(work, 'line')));
  let server = await startServer('127.0.0.1:0');

  const context = await chromium.launchPersistentContext(path.join(work, 'profile'), {
    executablePath: CHROMIUM,
    headless: true,
    viewport: { width: 1440, height: 900 },
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
           '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  });
  try {
    // The server samples every 100 ms: 6 s of history before the page opens.
    const json = async (target) => (await fetch(server.url + target)).json();
    await until('6 s of history', async () => {
      const h = await json('/api/history');
      return h.nodes['5'] && h.nodes['5'].ageMs.length >= 60;
    });
    const page = await context.newPage();
    const pageErrors = [];
    page.on('pageerror', (e) => pageErrors.push(String(e)));
    await page.goto(server.url + '/');

    // 1. Both nodes in cards, the stream live, the charts already holding the
    //    server's history: more points than the stream's 10 a second gave.
    await page.waitForSelector('.node[data-node-id="5"]', { timeout: DEADLINE_MS });
    const points = Number(await page.getAttribute('#chart-acc', 'data-points'));
    assert.ok(points >= 50, 'the acceleration chart starts with the history: ' + points + ' points');
    await page.waitForSelector('.node[data-node-id="6"]', { timeout: DEADLINE_MS });
    assert.match(await page.textContent('.node[data-node-id="5"] h2'), /flight-board/);
    assert.match(await page.textContent('.node[data-node-id="6"] h2'), /ground-station/);
    assert.strictEqual(await page.textContent('#stream'), 'live');
    console.log('ok - both nodes shown, stream live, charts pre-filled (' + points + ' points)');

    // 2. Readouts and chart labels in units.
    const text = (selector) => page.textContent(selector);
    await until('a 3D fix', async () => /3D fix/.test(await text('#ro-fix')));
    assert.match(await text('#ro-position'), /^\d+\.\d{7}° [NS], \d+\.\d{7}° [EW]$/);
    assert.match(await text('#ro-altitude'), /^-?\d+\.\d{2} m$/);
    const battery = /^(\d+\.\d{2}) V · (\d+\.\d{2}) A$/.exec(await text('#ro-battery'));
    assert.ok(battery && Number(battery[1]) > 10 && Number(battery[1]) < 13, 'battery in V: ' + battery);
    assert.strictEqual(await text('#unit-acc'), 'x, y, z (g)');
    assert.strictEqual(await text('#unit-pressure'), 'pressure (Pa)');
    assert.strictEqual(await text('#unit-battery'), 'voltage (V), current (A)');
    assert.strictEqual(await text('#unit-attitude'), 'roll, pitch, yaw (deg)');
    console.log('ok - readouts and charts in units');

    // 3. A chart moves: two pictures of it a second apart differ.
    const chart = await page.$('#chart-acc canvas');
    assert.ok(chart, 'the acceleration chart has a canvas (chart library vendored)');
    let before = await chart.screenshot();
    await until('the acceleration chart to move', async () => {
      await new Promise((r) => setTimeout(r, 1000));
      const now = await chart.screenshot();
      const moved = !now.equals(before);
      before = now;
      return moved;
    });
    console.log('ok - chart moves');

    // 4. GPS mode Home, reported back by the board.
    await page.selectOption('#gps-mode', '2');
    await page.click('#gps-set');
    await until('GPS mode Home reported', async () => (await page.textContent('#gps-reported')) === 'Home');
    assert.match(await page.textContent('#gps-result'), /ERROR_NO/);
    console.log('ok - GPS mode Home set and reported');

    // 5. The motor on through the any-ID control, by name: the board reports
    //    its motor bit in STATE, which the set itself does not write; the set
    //    is listed and marked on the charts.
    await page.selectOption('#set-node', '5');
    await page.selectOption('#set-name', 'MOTOR_ON');
    await page.fill('#set-value', '1');
    await page.click('#set-send');
    await until('the motor bit reported', async () => ((await json('/api/nodes/5/STATE')).value & 2) === 2);
    await until('the set answered', async () => /ERROR_NO/.test(await text('#set-result')));
    await until('the set listed', async () => /MOTOR_ON = 1 \(node 5, ERROR_NO\)/.test(await text('#set-log')));
    await until('the set marked on the charts', async () =>
      Number(await page.getAttribute('#chart-acc', 'data-marks')) >= 1 &&
      Number(await page.getAttribute('#chart-battery', 'data-marks')) >= 1);
    console.log('ok - motor on set by name, reported by the board, marked');

    // 6. A screenshot with some history in the charts and the track.
    await new Promise((r) => setTimeout(r, 6000));
    await page.screenshot({ path: screenshotPath, fullPage: true });
    console.log('ok - screenshot ' + screenshotPath);

    // 7. The stream drops: the page says so, and reconnects to a server on
    //    the same address.
    const port = new URL(server.url).port;
    await stop(server.process);
    await until('the page to report the lost stream', async () => /lost/.test(await page.textContent('#stream')));
    console.log('ok - lost stream shown');
    server = await startServer('127.0.0.1:' + port);
    await until('the page to reconnect', async () => (await page.textContent('#stream')) === 'live');
    await page.waitForSelector('.node[data-node-id="5"]', { timeout: DEADLINE_MS });
    console.log('ok - reconnected');

    assert.deepStrictEqual(pageErrors, []);
  } finally {
    await context.close();
  }
}

main()
  .then(() => { console.log('7 passed, 0 failed'); return 0; }, (e) => { console.error(e); return 1; })
  .then(async (code) => {
    for (const c of children) await stop(c);
    fs.rmSync(work, { recursive: true, force: true });
    process.exit(code);
  });
