// Makes docs/dashboard.png: the page during a replay of the example drive.
//   KORVALE_TOOL=build/gcc/tools/korvale node tests/browser/screenshot.mjs [SECONDS] [OUT.png]
import { spawn } from "node:child_process";
import path from "node:path";
import { fileURLToPath } from "node:url";
import puppeteer from "puppeteer-core";

const ROOT = path.join(path.dirname(fileURLToPath(import.meta.url)), "..", "..");
const TOOL = process.env.KORVALE_TOOL || "korvale";
const seconds = Number(process.argv[2] || 70);
const out = process.argv[3] || path.join(ROOT, "docs", "dashboard.png");
const route = path.join(ROOT, "examples", "route.txt");

const dashboard = spawn(TOOL, ["dashboard", "--port", "0", "--http", "0", "--route", route],
                        { stdio: ["ignore", "pipe", "inherit"] });
const ports = await new Promise((resolve) => {
  let text = "";
  dashboard.stdout.on("data", (chunk) => {
    text += chunk;
    const udp = text.match(/listening on port (\d+)/);
    const page = text.match(/dashboard page on (http:\/\/\S+)/);
    if (udp && page) {
      resolve({ udp: udp[1], url: page[1] });
    }
  });
});
const browser = await puppeteer.launch({
  executablePath: process.env.KORVALE_CHROMIUM || "/usr/bin/chromium",
  args: [...(process.getuid() === 0 ? ["--no-sandbox"] : []), "--disable-gpu",
         "--disable-background-networking", "--no-first-run"],
});
const page = await browser.newPage();
await page.setViewport({ width: 1280, height: 1000 });
await page.goto(ports.url);
const drive = spawn(TOOL, ["drive", route, path.join(ROOT, "examples", "drive.csv"),
                           "--dashboard", `127.0.0.1:${ports.udp}`, "--realtime"],
                    { stdio: "ignore" });
await new Promise((resolve) => setTimeout(resolve, seconds * 1000));
await page.screenshot({ path: out, fullPage: true });
await browser.close();
drive.kill();
dashboard.kill();
