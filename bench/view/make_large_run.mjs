// Writes the reports of a large synthetic run for the torva-view benchmark:
//   TORVA=path/to/torva node make_large_run.mjs DIR [FEATURES] [POINTS] [CHANNELS]
// FEATURES features (default 10000) spread over CHANNELS channels (default 10) whose
// traces have POINTS points (default 5000); summary.tsv, transitions.tsv and map.tsv
// in the formats torva writes. Scan numbers interleave the channels, so trace point k
// of channel c is scan k * CHANNELS + c + 1. Fixed seed: the same files every time.
// The summary's head line is the one torva writes (torva --empty-summary).
import { execFileSync } from "node:child_process";
import { createWriteStream, mkdirSync, readFileSync, rmSync } from "node:fs";
import { once } from "node:events";

const [dir, features = 10000, points = 5000, channels = 10] = [process.argv[2], ...process.argv.slice(3).map(Number)];
mkdirSync(dir, { recursive: true });
let seed = 12345;
const random = () => ((seed = (seed * 1103515245 + 12345) % 2147483648) / 2147483648);

async function write(stream, text) {
  if (!stream.write(text)) await once(stream, "drain");
}

const perChannel = Math.ceil(features / channels);
const summary = createWriteStream(`${dir}/summary.tsv`);
const transitions = createWriteStream(`${dir}/transitions.tsv`);
execFileSync(process.env.TORVA, ["--empty-summary", `${dir}/empty-summary.tsv`]);
await write(summary, readFileSync(`${dir}/empty-summary.tsv`, "utf8"));
rmSync(`${dir}/empty-summary.tsv`);
for (let c = 0; c < channels; c++) {
  const precursor = 300 + c * 10.5;
  const time = (k) => (k * channels + c) * 0.12;  // seconds
  await write(transitions, `Channel:\t${precursor.toFixed(2)}@35.00 [100.00-400.00]\tScans:\t${points}\n`);
  let head = "Mass\tIntensity\tRT(mins)\tScan\tArea\tTIC\t";
  for (let k = 0; k < points; k++) head += (time(k) / 60).toFixed(2) + "\t";
  await write(transitions, head + "\n");
  for (let j = 0; j < perChannel && c * perChannel + j < features; j++) {
    const apex = 60 + Math.floor(random() * (points - 120));
    const sigma = 2 + random() * 8;
    const height = 1e4 * Math.pow(10, random() * 3);
    const start = Math.max(0, Math.round(apex - 3 * sigma)), end = Math.min(points - 1, Math.round(apex + 3 * sigma));
    const trace = new Array(points);
    let area = 0, tic = 0;
    for (let k = 0; k < points; k++) {
      const v = Math.abs(k - apex) < 6 * sigma ? height * Math.exp(-0.5 * ((k - apex) / sigma) ** 2) : 0;
      trace[k] = v.toFixed(2);
      tic += v;
    }
    for (let k = start; k < end; k++) area += 0.5 * (Number(trace[k]) + Number(trace[k + 1])) * (time(k + 1) - time(k));
    const mass = 100 + random() * 800;
    const scan = (k) => k * channels + c + 1;
    await write(summary, [mass.toFixed(5), (time(apex) / 60).toFixed(5), area.toFixed(5), scan(apex), scan(start), scan(end),
      `${precursor.toFixed(1)}@35.0[100.0000-400.0000]`].join("\t") + "\n");
    await write(transitions, [mass.toFixed(2), height.toFixed(2), (time(apex) / 60).toFixed(2), scan(apex), area.toFixed(2),
      tic.toFixed(2), ""].join("\t") + trace.join("\t") + "\t\n");
  }
  await write(transitions, "\n");
}
const written = [summary, transitions].map((stream) => once(stream, "finish"));
summary.end();
transitions.end();

// Binned map: one row per spectrum, a few occupied bins each.
const map = createWriteStream(`${dir}/map.tsv`);
let head = "\t";
for (let b = 400; b < 900; b++) head += b + "\t";
await write(map, head + "\n");
const zeros = new Array(500).fill("0.0");
for (let s = 0; s < points * channels; s++) {
  const row = zeros.slice();
  for (let p = 0; p < 8; p++) row[Math.floor(random() * 500)] = (random() * 1e6).toFixed(2);
  await write(map, (s * 0.12).toFixed(2) + "\t" + row.join("\t") + "\t\n");
}
written.push(once(map, "finish"));
map.end();
await Promise.all(written);
