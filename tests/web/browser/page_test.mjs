// The station's web page in headless Chromium: nimbra-decode on a three-sonde band from the rtl_tcp
// test server, its page opened in a browser. It must paint within a second, show every sonde in
// its table and on its map, and show each fix within a second of the line nimbra-decode printed
// for it. Takes the page's screenshot.
//
// Usage: node page_test.mjs BIN_DIR SCREENSHOT.png
import { spawn, spawnSync } from "node:child_process";
import { mkdtempSync, mkdirSync, rmSync } from "node:fs";
import { createServer } from "node:net";
import { tmpdir } from "node:os";
import { dirname, join } from "node:path";
import { fileURLToPath } from "node:url";
import { chromium } from "playwright-core";

const here = dirname(fileURLToPath(import.meta.url));
const [bin, screenshot] = process.argv.slice(2);
const work = mkdtempSync(join(tmpdir(), "nimbra-page-"));
const children = [];

function fail(message) {
  console.error("FAIL: " + message);
  for (const c of children) c.kill("SIGTERM");
  rmSync(work, { recursive: true, force: true });
  process.exit(1);
}

function freePort() {
  return new Promise(resolve => {
    const s = createServer();
    s.listen(0, "127.0.0.1", () => { const p = s.address().port; s.close(() => resolve(p)); });
  });
}

// Lines of a child's stream with the time each arrived.
function lines(stream, into) {
  let rest = "";
  stream.on("data", chunk => {
    rest += chunk.toString();
    let i;
    while ((i = rest.indexOf("\n")) >= 0) {
      into.push({ at: Date.now(), text: rest.slice(0, i) });
      rest = rest.slice(i + 1);
    }
  });
}

// A few map tiles of its own around the station (zoom 9 to 11), so that the map needs no network.
function makeTiles(dir, lat, lon) {
  for (let z = 9; z <= 11; ++z) {
    const n = 2 ** z;
    const x0 = Math.floor((lon + 180) / 360 * n);
    const r = lat * Math.PI / 180;
    const y0 = Math.floor((1 - Math.log(Math.tan(r) + 1 / Math.cos(r)) / Math.PI) / 2 * n);
    for (let dx = -2; dx <= 2; ++dx)
      for (let dy = -2; dy <= 2; ++dy) {
        const x = x0 + dx, y = y0 + dy;
        mkdirSync(join(dir, String(z), String(x)), { recursive: true });
        const shade = (x + y) % 2 ? "#e8efe4" : "#e2eadd";
        const p = spawnSync("convert", ["-size", "256x256", "xc:" + shade, "-stroke", "#c9d4c2", "-fill", "none",
          "-draw", "rectangle 0,0 255,255", "-stroke", "#f6f3ea", "-strokewidth", "6",
          "-draw", `line 0,${(x * 37) % 256} 255,${(y * 53) % 256}`, "-stroke", "none", "-fill", "#98a48f",
          "-font", "DejaVu-Sans", "-pointsize", "11", "-draw", `text 6,16 'test tile ${z}/${x}/${y}'`, join(dir, String(z), String(x), y + ".png")]);
        if (p.status !== 0) fail("convert could not make a tile: " + p.stderr);
      }
  }
}

const band = join(work, "band.cu8");
let p = spawnSync(join(bin, "nimbra-synth"), ["--channel", "iq", "--iq-format", "cu8", "--rate", "2400000",
  "--duration", "40", "--ebn0", "15", "--seed", "51", "--flight",
  "--sonde", "id=1A2B,offset=-420k", "--sonde", "id=2C3D,offset=180k,level=-2", "--sonde", "id=3E4F,offset=610k,level=-4",
  band]);
if (p.status !== 0) fail("nimbra-synth: " + p.stderr);
const tiles = join(work, "tiles");
makeTiles(tiles, 39.75, -76.98);

const server = spawn("python3", [join(here, "..", "..", "sdr", "rtl_tcp_server.py"), "--band", band, "--rate", "2400000",
  "--commands", join(work, "commands.log")]);
children.push(server);
const serverOut = [];
lines(server.stdout, serverOut);
const started = Date.now();
while (!serverOut.some(l => l.text.startsWith("listening on"))) {
  if (Date.now() - started > 10000) fail("the rtl_tcp test server did not start");
  await new Promise(r => setTimeout(r, 50));
}
const sdrPort = Number(serverOut.find(l => l.text.startsWith("listening on")).text.split(" ")[2]);
const webPort = await freePort();
const decoder = spawn(join(bin, "nimbra-decode"), ["--sdr", `rtl_tcp://127.0.0.1:${sdrPort}`, "--freq", "1680M",
  "--station", "39.75,-76.98,220", "--http", String(webPort), "--tiles", tiles]);
children.push(decoder);
const printed = [], notes = [];
lines(decoder.stdout, printed);
lines(decoder.stderr, notes);
while (!notes.some(l => l.text.includes("web page on"))) {
  if (Date.now() - started > 10000) fail("no web page: " + notes.map(l => l.text).join("\n"));
  await new Promise(r => setTimeout(r, 50));
}

const browser = await chromium.launch({
  executablePath: process.env.CHROMIUM || "/usr/bin/chromium",
  args: ["--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run", "--disable-background-networking",
         "--disable-component-update", "--disable-sync"],
});
const page = await browser.newPage({ viewport: { width: 1280, height: 900 } });
const errors = [];
page.on("pageerror", e => errors.push(String(e)));
await page.goto(`http://127.0.0.1:${webPort}/`);
const paint = await page.evaluate(() => {
  const e = performance.getEntriesByName("first-contentful-paint")[0];
  return e ? e.startTime : null;
});
if (paint === null || paint > 1000) fail("first paint after " + paint + " ms");

// Three sondes in the table, with their frequencies.
const ok = await page.waitForFunction(() => document.querySelectorAll("#sondes tbody tr:not(.empty)").length === 3,
                                      null, { timeout: 20000 }).then(() => true, () => false);
if (!ok) {
  const rows = await page.evaluate(() => document.querySelector("#sondes tbody").textContent);
  fail("the table never showed three sondes: " + rows + "; page errors: " + errors.join("; ") + "; notes: " +
       notes.map(l => l.text).join(" / "));
}
await page.waitForTimeout(14000);
const shown = await page.evaluate(() => window.nimbraFixes || []);
const connectedAt = await page.evaluate(() => window.nimbraSnapshotAt);
const table = await page.evaluate(() => Array.from(document.querySelectorAll("#sondes tbody tr"), r => r.textContent));
if (!table.some(t => t.includes("1A2B") && t.includes("1679.580"))) fail("the table: " + table.join(" | "));
const layers = await page.evaluate(() => document.querySelectorAll(".leaflet-interactive").length);
if (layers < 6) fail("the map shows " + layers + " tracks and markers");
if (errors.length) fail("errors on the page: " + errors.join("; "));

// Each fix on the page within a second of its line: lines printed once the page was connected,
// matched with the page's fixes by sonde and time stamp.
const pageTimes = new Map(shown.map(f => [f.serial + " " + f.time.substr(11, 8), f.at]));
let matched = 0, worst = 0;
for (const l of printed) {
  const m = /^\d\d \w{3} \d{4} (\d\d:\d\d:\d\d) (\S+) /.exec(l.text);
  if (!m || l.at < connectedAt) continue;
  const at = pageTimes.get(m[2] + " " + m[1]);
  if (at === undefined) continue;
  ++matched;
  worst = Math.max(worst, at - l.at);
}
if (matched < 20) fail("only " + matched + " fixes matched between the lines and the page");
if (worst > 1000) fail("a fix reached the page " + worst + " ms after its line");
console.log(`first paint ${paint.toFixed(0)} ms; ${matched} fixes matched, the slowest ${worst} ms after its line`);

if (screenshot) await page.screenshot({ path: screenshot, fullPage: true });
await browser.close();
for (const c of children) c.kill("SIGTERM");
rmSync(work, { recursive: true, force: true });
