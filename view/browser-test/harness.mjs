// What the browser checks share: their arguments, the list of failed checks, and a headless Chromium
// with a profile of its own that `close` removes again.
import { mkdtempSync, rmSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import puppeteer from "puppeteer-core";

// --name value pairs of the command line, by name without the dashes.
export const args = {};
for (let i = 2; i < process.argv.length; i += 2) args[process.argv[i].replace(/^--/, "")] = process.argv[i + 1];

export const failures = [];
export const check = (ok, what) => {
  if (!ok) failures.push(what);
  console.log(`${ok ? "ok  " : "FAIL"} ${what}`);
};

// The system's Chromium (--chromium, else $CHROMIUM, else Debian's) with generous limits: the machine
// running the tests may be busy.
export async function launchChromium() {
  const profile = mkdtempSync(join(tmpdir(), "torva-view-chromium-"));
  const browser = await puppeteer.launch({
    executablePath: args.chromium || process.env.CHROMIUM || "/usr/bin/chromium",
    headless: true,
    timeout: 120000,
    protocolTimeout: 300000,
    args: ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
      "--disable-background-networking", "--disable-component-update", "--disable-sync",
      `--user-data-dir=${profile}`],
  });
  return {
    browser,
    close: async () => {
      await browser.close();
      rmSync(profile, { recursive: true, force: true });
    },
  };
}
