// The dashboard page in a real browser: Debian's Chromium, driven by puppeteer-core, reads the
// page of `korvale dashboard --http` while this test sends records and plots to its UDP port.
// KORVALE_TOOL names the tool, KORVALE_CHROMIUM the browser (default /usr/bin/chromium).
import assert from "node:assert/strict";
import { spawn, spawnSync } from "node:child_process";
import dgram from "node:dgram";
import path from "node:path";
import { test } from "node:test";
import { fileURLToPath } from "node:url";
import puppeteer from "puppeteer-core";

const HERE = path.dirname(fileURLToPath(import.meta.url));
const TOOL = process.env.KORVALE_TOOL || "korvale";
const CHROMIUM = process.env.KORVALE_CHROMIUM || "/usr/bin/chromium";
const ROUTE = path.join(HERE, "..", "..", "examples", "route.txt");
const MARKER_RGB = [0xe3, 0x77, 0xc2];
// A tool built without cpp-httplib has no page.
const HAS_PAGE = spawnSync(TOOL, ["dashboard", "--port", "0", "--http", "0", "--timeout", "0.01"])
  .status === 0;

// Starts the dashboard and resolves with its UDP port and page address.
function startDashboard(args) {
  const child = spawn(TOOL, ["dashboard", "--port", "0", "--http", "0", ...args],
                      { stdio: ["ignore", "pipe", "inherit"] });
  let output = "";
  return new Promise((resolve, reject) => {
    child.on("exit", (code) => reject(new Error(`dashboard ended (${code}): ${output}`)));
    child.stdout.on("data", (chunk) => {
      output += chunk;
      const udp = output.match(/listening on port (\d+)/);
      const page = output.match(/dashboard page on (http:\/\/\S+)/);
      if (udp && page) {
        resolve({ child, port: Number(udp[1]), url: page[1] });
      }
    });
  });
}

function record({ i1, r1, r2, r3, r4, r5, r7, r8, flag, i2 }) {
  const b = Buffer.alloc(76);
  [[0, r1], [4, r2], [8, r4], [16, r3], [24, r5], [28, r7], [32, r8]].forEach(
    ([offset, v]) => b.writeFloatLE(v, offset));
  b.writeInt32LE(i1, 36);
  b.writeUInt8(flag, 40);
  b.writeInt32LE(i2, 72);
  return b;
}

function plot(a, b) {
  const buffer = Buffer.alloc((a.length + b.length) * 8);
  [...a, ...b].forEach((v, i) => buffer.writeDoubleLE(v, i * 8));
  return buffer;
}

const send = (socket, port, data) =>
  new Promise((resolve, reject) =>
    socket.send(data, port, "127.0.0.1", (error) => (error ? reject(error) : resolve())));

// Pixels of a canvas that are not transparent, and those near a colour in one column.
function canvasPixels(selector, column, rgb) {
  const canvas = document.querySelector(selector);
  const { data, width, height } =
    canvas.getContext("2d").getImageData(0, 0, canvas.width, canvas.height);
  let set = 0;
  let matching = 0;
  for (let i = 0; i < width * height; i++) {
    if (data[i * 4 + 3] > 0) {
      set++;
      const x = i % width;
      const near = rgb && [0, 1, 2].every((c) => Math.abs(data[i * 4 + c] - rgb[c]) < 24);
      if (x === column && near) {
        matching++;
      }
    }
  }
  return { set, matching, height };
}

// canvasPixels of the page, asked again until drawn(pixels) holds or 30 s have passed (a deadline
// for a loaded machine only: the charts draw on the frames after the data arrives).
async function drawnPixels(page, drawn, ...args) {
  const until = Date.now() + 30000;
  for (;;) {
    const pixels = await page.evaluate(canvasPixels, ...args);
    if (drawn(pixels) || Date.now() > until) {
      return pixels;
    }
    await new Promise((resolve) => setTimeout(resolve, 50));
  }
}

// Distinct colours in a PNG, counted by the page itself.
async function distinctColours(page, png) {
  return page.evaluate(async (base64) => {
    const image = new Image();
    image.src = "data:image/png;base64," + base64;
    await image.decode();
    const canvas = document.createElement("canvas");
    canvas.width = image.width;
    canvas.height = image.height;
    const context = canvas.getContext("2d");
    context.drawImage(image, 0, 0);
    const { data } = context.getImageData(0, 0, image.width, image.height);
    const colours = new Set();
    for (let i = 0; i < data.length; i += 4) {
      colours.add((data[i] << 16) | (data[i + 1] << 8) | data[i + 2]);
    }
    return colours.size;
  }, Buffer.from(png).toString("base64"));
}

test("the page shows what arrives: fields, speeds, advice, counters, charts and the vehicle on "
     + "the route", { skip: !HAS_PAGE && "the tool was built without cpp-httplib" }, async () => {
  const dashboard = await startDashboard(["--route", ROUTE, "--plot-counts", "100,100"]);
  const socket = dgram.createSocket("udp4");
  const browser = await puppeteer.launch({
    executablePath: CHROMIUM,
    headless: true,
    args: [...(process.getuid && process.getuid() === 0 ? ["--no-sandbox"] : []),
           "--disable-gpu", "--disable-quic", "--no-first-run", "--disable-background-networking",
           "--disable-component-update", "--disable-sync"],
  });
  try {
    const page = await browser.newPage();
    await page.setViewport({ width: 1200, height: 1100 });
    const errors = [];
    const elsewhere = [];
    page.on("pageerror", (error) => errors.push(error.message));
    page.on("request", (request) => {
      if (!request.url().startsWith(dashboard.url) && !request.url().startsWith("data:")) {
        elsewhere.push(request.url());
      }
    });
    await page.goto(dashboard.url);
    await page.waitForFunction(() => document.getElementById("connection").textContent === "live");

    const sent = { i1: 41, r1: 1234.5, r2: 90, r3: 70.25, r4: 62.1, r5: 80.5, r7: 150.4, r8: 50,
                   flag: 1, i2: 1182 };
    await send(socket, dashboard.port, record(sent));
    await send(socket, dashboard.port, Buffer.from("short"));
    const a = Array.from({ length: 100 }, (_, k) => 1234.5 + 10 * k);
    const b = a.map((d) => 70 - d / 200);
    await send(socket, dashboard.port, plot(a, b));
    await page.waitForFunction(() => document.getElementById("count-received").textContent === "3");

    const units = { r1: 1, r2: 1, r3: 1, r4: 1, r5: 1, r7: 1, r8: 1, i1: 0, i2: 0, flag: 0 };
    for (const [key, digits] of Object.entries(units)) {
      const cell = await page.$eval(`#value-${key}`, (e) => [e.textContent, e.dataset.value]);
      // (the reals travel as 32-bit floats)
      const exact = Math.fround(sent[key]);
      assert.equal(Math.fround(Number(cell[1])), exact, key);
      assert.equal(cell[0], Number(cell[1]).toFixed(digits), key);
      assert.ok(Math.abs(Number(cell[0]) - exact) <= 0.5 * 10 ** -digits, key);
    }
    assert.equal(await page.$eval("#vehicle-speed", (e) => e.textContent), "81");
    assert.equal(await page.$eval("#recommended-speed", (e) => e.textContent), "70");
    assert.match(await page.$eval("#speed-view", (e) => e.className), /\bfaster\b/);
    assert.equal(await page.$eval("#advice-text", (e) => e.textContent),
                 "lift off in 150 m for 50 km/h");
    assert.equal(await page.$eval("#count-malformed", (e) => e.textContent), "1");
    assert.match(await page.$eval("#age", (e) => e.textContent), /^\d+\.\d s ago$/);

    // A gap in the sample counter is a loss; bit 1 of the flag advises braking.
    await send(socket, dashboard.port, record({ ...sent, i1: 44, r5: 60, flag: 2 }));
    await page.waitForFunction(() => document.getElementById("value-i1").textContent === "44");
    assert.equal(await page.$eval("#count-lost", (e) => e.textContent), "2");
    assert.equal(await page.$eval("#advice-text", (e) => e.textContent), "brake");
    assert.match(await page.$eval("#speed-view", (e) => e.className), /\bok\b/);

    for (const chart of ["#history-chart", "#plot-chart"]) {
      const pixels = await drawnPixels(page, (p) => p.set > 500, `${chart} canvas`, -1, null);
      assert.ok(pixels.set > 500, `${chart}: ${pixels.set} pixels drawn`);
    }
    const markerX = Number(await page.$eval("#profile", (e) => e.dataset.markerX));
    assert.equal(Number(await page.$eval("#profile", (e) => e.dataset.markerDistance)), 1234.5);
    assert.equal(await page.$eval("#profile-model", (e) => e.textContent), "eco model");
    const profile = await drawnPixels(page, (p) => p.set > 2000 && p.matching > p.height / 3,
                                      "#profile-chart canvas", markerX, MARKER_RGB);
    assert.ok(profile.set > 2000, `profile: ${profile.set} pixels drawn`);
    assert.ok(profile.matching > profile.height / 3, `marker: ${profile.matching} pixels`);

    const screenshot = await page.screenshot({ fullPage: true });
    assert.ok(await distinctColours(page, screenshot) > 20, "the screenshot is not blank");
    assert.deepEqual(errors, []);
    assert.deepEqual(elsewhere, [], "the page loads nothing from elsewhere");
  } finally {
    await browser.close();
    socket.close();
    dashboard.child.kill();
  }
});
