// The board at scale: N stations (a piece a second each) into one mosquitto, the board open in
// headless chromium. Prints the delay from each piece's publication to its tile being drawn,
// and the CPU that the broker and the page spent.
//   node board_scale.mjs BOARD_DIR [--stations N] [--seconds S]
// TANDREL_BENCH_SMOKE=1 shortens the run.
import { readdirSync, readFileSync } from "node:fs";
import path from "node:path";
import { pathToFileURL } from "node:url";
import * as h from "../../tests/board/harness.mjs";

const argv = process.argv.slice(2);
const boardDir = path.resolve(argv[0] ?? "build/default/board");
const opt = (name, dflt) => {
    const i = argv.indexOf(`--${name}`);
    return i > 0 ? Number(argv[i + 1]) : dflt;
};
const stations = opt("stations", 50);
const seconds = opt("seconds", process.env.TANDREL_BENCH_SMOKE ? 10 : 60);

// The processes' own stat fields after the name: [state, ppid, ...].
function stats() {
    const all = new Map();
    for (const pid of readdirSync("/proc").filter((d) => /^\d+$/.test(d))) {
        try {
            const text = readFileSync(`/proc/${pid}/stat`, "utf8");
            all.set(Number(pid), text.slice(text.lastIndexOf(") ") + 2).split(" "));
        } catch {
            // ended meanwhile
        }
    }
    return all;
}

// utime + stime in seconds of a process and, with `tree`, of its descendants.
function cpuSeconds(pid, tree = false) {
    const all = stats();
    const pids = new Set([pid]);
    for (let grew = tree; grew;) {
        grew = false;
        for (const [p, f] of all) {
            if (!pids.has(p) && pids.has(Number(f[1]))) grew = pids.add(p);
        }
    }
    let ticks = 0;
    for (const p of pids) {
        const f = all.get(p);
        if (f) ticks += Number(f[11]) + Number(f[12]);
    }
    return ticks / 100;  // USER_HZ is 100 on Linux
}

function percentile(sorted, p) {
    if (!sorted.length) return NaN;
    return sorted[Math.min(sorted.length - 1, Math.floor((p / 100) * sorted.length))];
}

const dir = h.tempDir();
const broker = await h.startBroker(dir);
const browser = await h.startBrowser(1920, 1080);
let status = 0;
try {
    const page = pathToFileURL(path.join(boardDir, "board.html"));
    await browser.open(`${page}?broker=${encodeURIComponent(broker.wsUrl)}`);
    await browser.waitFor("the board connected",
        () => browser.run("return document.getElementById('connection').className === 'ok'"));
    const published = new Map();
    const load = h.startStations(boardDir, broker,
                                 ["--stations", String(stations), "--name", "Станция",
                                  "--interval", "1000", "--stamps"],
                                 { onLine: (l) => {
                                     // "piece <id> <ms>": the id may hold blanks
                                     const m = /^piece (.+) (\d+)$/.exec(l);
                                     if (m) published.set(m[1], Number(m[2]));
                                 } });
    // Measured once every station is on the board: connecting is not the steady state.
    await browser.waitFor("every station's tile", async () =>
        (await browser.run("return window.tandrelBoard.tiles().length")) === stations, 30000);
    await h.sleep(1000);
    const drawing = () => browser.run("return {...window.tandrelBoard.counters}");
    const cpu0 = cpuSeconds(broker.pid), page0 = cpuSeconds(browser.pid, true);
    const draw0 = await drawing();
    const t0 = Date.now();
    await h.sleep(seconds * 1000);
    const cpu1 = cpuSeconds(broker.pid), page1 = cpuSeconds(browser.pid, true);
    const draw1 = await drawing();
    const t1 = Date.now();
    const wall = (t1 - t0) / 1000;
    await load.stop();
    await h.sleep(1000);  // the last pieces on their way
    for (const [id, at] of published) {
        if (at < t0 || at > t1) published.delete(id);
    }

    const shown = new Map(await browser.run("return window.tandrelBoard.shown"));
    const tiles = await browser.run("return window.tandrelBoard.tiles().length");
    const delays = [];
    let missing = 0;
    for (const [id, at] of published) {
        if (shown.has(id)) delays.push(shown.get(id) - at);
        else missing++;
    }
    delays.sort((a, b) => a - b);
    const perCore = (seconds) => `${((100 * seconds) / wall).toFixed(1)} % of one core`;
    const draws = draw1.draws - draw0.draws, drawMs = draw1.ms - draw0.ms;
    const lines = [
        `stations ${stations}, ${wall.toFixed(1)} s, ${published.size} pieces published ` +
            `(${(published.size / wall).toFixed(1)}/s), ${tiles} tiles`,
        `publication to tile: median ${percentile(delays, 50)} ms, ` +
            `p99 ${percentile(delays, 99)} ms, max ${delays.at(-1)} ms, not shown ${missing}`,
        `broker CPU: ${perCore(cpu1 - cpu0)} ` +
            `(${((1000 * (cpu1 - cpu0)) / Math.max(1, published.size)).toFixed(2)} ms ` +
            "per piece with its state)",
        `browser CPU: ${perCore(page1 - page0)}; the page received ` +
            `${((draw1.messages - draw0.messages) / wall).toFixed(0)} messages/s, ` +
            `connected ${draw1.connects} time(s)`,
        `page: ${(draws / wall).toFixed(1)} draws/s, ` +
            `${(drawMs / Math.max(1, draws)).toFixed(2)} ms each in the tiles' updates ` +
            `(${perCore(drawMs / 1000)})`,
    ];
    lines.forEach((l) => console.log(l));
    if (missing > 0 || tiles !== stations) status = 1;
} finally {
    await browser.close();
    h.stopAll();
}
process.exit(status);
