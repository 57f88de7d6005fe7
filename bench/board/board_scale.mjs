// The board at scale, each run on a broker of its own set up by the plant's generator (no
// anonymous access), the board open in headless chromium and logged in as a board user.
//
// First one real station (the program on its simulator, sizes sent to the stop) works a few rows:
// its states and pieces are counted, and the load tool then plays every station at that rate.
// Each run prints the delay from a piece's publication to its tile painted (every piece
// accounted for), the pieces lost, the broker's CPU and memory and the page's JS heap after a
// garbage collection. The compressed day ("day") sends 12 hours of a piece per 20 s for 50
// stations in 30 minutes and prints the heap at its start and its end.
//
//   node board_scale.mjs BOARD_DIR PROGRAM SIMULATOR [RUN...]
//     RUN: 50, 500, 50tls, 500tls, day (all of them by default); --minutes M for each run
// TANDREL_BENCH_SMOKE=1: two rows measured, "50" and "day" for a few seconds each.
import { execFileSync, spawn } from "node:child_process";
import { readdirSync, readFileSync } from "node:fs";
import path from "node:path";
import { pathToFileURL } from "node:url";
import * as h from "../../tests/board/harness.mjs";

const smoke = Boolean(process.env.TANDREL_BENCH_SMOKE);
const argv = process.argv.slice(2);
const minutesAt = argv.indexOf("--minutes");
const minutes = minutesAt >= 0 ? Number(argv.splice(minutesAt, 2)[1]) : 10;
const [boardDir, program, sim] = argv.slice(0, 3).map((p) => path.resolve(p));
const runs = argv.slice(3).length ? argv.slice(3) : smoke ? ["50", "day"]
                                                          : ["50", "500", "50tls", "500tls", "day"];

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

// Resident memory now and at its peak, MB.
function memory(pid) {
    const status = readFileSync(`/proc/${pid}/status`, "utf8");
    const kb = (key) => Number(new RegExp(`${key}:\\s+(\\d+)`).exec(status)?.[1] ?? NaN);
    return { rss: kb("VmRSS") / 1024, peak: kb("VmHWM") / 1024 };
}

function percentile(sorted, p) {
    if (!sorted.length) return NaN;
    return sorted[Math.min(sorted.length - 1, Math.floor((p / 100) * sorted.length))];
}

const mb = (bytes) => (bytes / 1048576).toFixed(1);

// A CA and a broker certificate for 127.0.0.1, made with openssl.
function certificates(dir) {
    const f = (name) => path.join(dir, name);
    const ssl = (...args) => execFileSync("openssl", args, { stdio: "ignore" });
    ssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=Plant CA",
        "-keyout", f("ca.key"), "-out", f("ca.pem"));
    ssl("req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=127.0.0.1", "-keyout",
        f("broker.key"), "-out", f("broker.csr"));
    execFileSync("sh", ["-c", `printf 'subjectAltName=IP:127.0.0.1\\n' > '${f("ext")}'`]);
    ssl("x509", "-req", "-in", f("broker.csr"), "-CA", f("ca.pem"), "-CAkey", f("ca.key"),
        "-CAcreateserial", "-days", "2", "-extfile", f("ext"), "-out", f("broker.pem"));
    return { ca: f("ca.pem"), cert: f("broker.pem"), key: f("broker.key") };
}

// One real station works rows with its stop travelling; its messages are counted as a board
// user receives them.
async function measureStation() {
    const sizes = smoke ? [2800, 2300] : [600, 2400, 900, 2100, 1200, 2700, 800];
    const broker = await h.startBroker(h.tempDir(), ["Замер"]);
    const seen = [];  // [ms, kind, payload]
    const sub = spawn("mosquitto_sub", ["-h", "127.0.0.1", "-p", String(broker.tcp), "-V", "5",
                                        "-u", "Табло", "-P", broker.passwords.get("Табло"),
                                        "-t", "tandrel/Замер/#", "-F", "%t %p"]);
    let rest = "";
    sub.stdout.setEncoding("utf8");
    sub.stdout.on("data", (d) => {
        const lines = (rest + d).split("\n");
        rest = lines.pop();
        for (const l of lines) {
            const kind = l.slice(0, l.indexOf(" ")).split("/")[2];
            seen.push([Date.now(), kind, l.slice(l.indexOf(" ") + 1)]);
        }
    });
    // Ends with the benchmark, however that ends.
    process.on("exit", () => sub.kill());
    const station = await h.startProgram({ program, sim }, broker, "Замер", "zamer.txt", sizes, true);
    const states = () => seen.filter(([, k]) => k === "state").map(([t, , p]) => [t, JSON.parse(p)]);
    // After k presses: k pieces, and the stop at the next row's size (when there is one).
    const arrived = (k) => {
        const last = states().at(-1);
        return last && last[1].link === "up" && last[1].pieces_today === k &&
            (last[1].target === null || last[1].position === last[1].target) ? last : null;
    };
    const timeoutMs = 30000;
    await h.waitFor("the station linked", () => arrived(0), timeoutMs);
    const windows = [];
    for (let k = 1; k <= sizes.length; k++) {
        const pressed = Date.now();
        station.step();
        const [end] = await h.waitFor(`press ${k} done`, () => arrived(k), timeoutMs)
            .catch((e) => {
                console.error(seen.slice(-3));
                throw e;
            });
        windows.push([pressed, end]);
    }
    await h.sleep(500);
    const from = windows[0][0], to = windows.at(-1)[1];
    const inRun = seen.filter(([t]) => t >= from && t <= to + 500);
    const count = (kind) => inRun.filter(([, k]) => k === kind).length;
    const travelling = inRun.filter(([t, k]) => k === "state" &&
        windows.some(([a, b]) => t >= a && t <= b)).length;
    const travelMs = windows.reduce((a, [s, e]) => a + e - s, 0);
    sub.kill();
    await station.stop();
    const figures = { pieces: count("piece"), states: count("state"),
                      rate: (1000 * travelling) / travelMs, travelMs: travelMs / windows.length };
    console.log(`the real station: ${figures.pieces} pieces, ${figures.states} states in ` +
                `${((to - from) / 1000).toFixed(1)} s; ${figures.rate.toFixed(2)} states/s ` +
                `while its stop travels (${travelling} in ${(travelMs / 1000).toFixed(1)} s), ` +
                `${(figures.travelMs / 1000).toFixed(1)} s of travel a piece`);
    if (figures.pieces !== sizes.length) throw new Error("the real station's pieces missing");
    return figures;
}

// The page's JS heap after a garbage collection, bytes.
async function heap(browser) {
    await browser.cdp("HeapProfiler.collectGarbage");
    await browser.cdp("Performance.enable");
    const { metrics } = await browser.cdp("Performance.getMetrics");
    return metrics.find((m) => m.name === "JSHeapUsedSize").value;
}

async function run(name, station) {
    const tls = name.endsWith("tls");
    const day = name === "day";
    const stations = day ? 50 : Number.parseInt(name, 10);
    const seconds = smoke ? 5 : day ? 30 * 60 : minutes * 60;
    const names = Array.from({ length: stations }, (_, i) => `Станция ${String(i + 1).padStart(2, "0")}`);
    const dir = h.tempDir();
    const certs = tls ? certificates(dir) : null;
    const broker = await h.startBroker(dir, names, certs);
    // A self-made CA the browser does not know: the benchmark's own browser lets it pass.
    const browser = await h.startBrowser(1920, 1080, tls ? ["--ignore-certificate-errors"] : []);
    const shown = new Map();
    let status = 0;
    try {
        await browser.open(pathToFileURL(path.join(boardDir, "board.html")).href);
        await browser.run(`
            document.getElementById("broker").value = arguments[0];
            document.getElementById("user").value = "Табло";
            document.getElementById("password").value = arguments[1];
            document.querySelector("#settings button[type=submit]").click();`,
                          broker.wsUrl, broker.passwords.get("Табло"));
        await browser.waitFor("the board connected", () =>
            browser.run("return document.getElementById('connection').className === 'ok'"));
        const heap0 = await heap(browser);
        await browser.run("window.tandrelBoard.record(true)");
        const published = new Map();
        const load = h.startStations(boardDir, broker,
            ["--stations", String(stations), "--name", "Станция", "--stamps",
             "--travel-ms", String(Math.round(station.travelMs)),
             "--state-rate", String(station.rate.toFixed(2)),
             ...(day ? ["--speedup", "24"] : []), ...(certs ? ["--ca", certs.ca] : [])],
            { onLine: (l) => {
                // "piece <id> <ms>": the id may hold blanks
                const m = /^piece (.+) (\d+)$/.exec(l);
                if (m) published.set(m[1], Number(m[2]));
            } });
        // Read by value through DevTools: what WebDriver's script calls return stays on the
        // page's heap (measured: about 140 bytes a piece), which would count as the page's own.
        const take = async () => {
            const { result } = await browser.cdp("Runtime.evaluate", {
                expression: "window.tandrelBoard.takeShown()", returnByValue: true });
            for (const [id, at] of result.value) {
                shown.set(id, at);
            }
        };
        const drawing = () => browser.run("return {...window.tandrelBoard.counters}");
        const cpu0 = cpuSeconds(broker.pid), page0 = cpuSeconds(browser.pid, true);
        const load0 = cpuSeconds(load.child.pid);
        const draw0 = await drawing();
        const t0 = Date.now();
        while (Date.now() - t0 < seconds * 1000) {
            await h.sleep(2000);
            await take();
        }
        const cpu1 = cpuSeconds(broker.pid), page1 = cpuSeconds(browser.pid, true);
        const load1 = cpuSeconds(load.child.pid);
        const mem = memory(broker.pid);
        const draw1 = await drawing();
        const wall = (Date.now() - t0) / 1000;
        await load.stop();
        await h.sleep(3000);  // the last pieces on their way
        await take();
        const heap1 = await heap(browser);
        const tiles = await browser.run("return window.tandrelBoard.tiles().length");

        const delays = [];
        let lost = 0;
        for (const [id, at] of published) {
            if (shown.has(id)) delays.push(shown.get(id) - at);
            else lost++;
        }
        delays.sort((a, b) => a - b);
        const perCore = (s) => `${((100 * s) / wall).toFixed(1)} % of one core`;
        const messages = (draw1.messages - draw0.messages) / wall;
        const lines = [
            `${name}: ${stations} stations${tls ? " through TLS" : ""}${day ? " (a day, 24x)" : ""}, ` +
                `${wall.toFixed(0)} s, ${published.size} pieces (${(published.size / wall).toFixed(1)}/s), ` +
                `the page received ${messages.toFixed(0)} messages/s, ${tiles} tiles`,
            `  piece to painted tile: median ${percentile(delays, 50)} ms, ` +
                `p99 ${percentile(delays, 99)} ms, max ${delays.at(-1)} ms; lost ${lost}`,
            `  broker: ${perCore(cpu1 - cpu0)}, ${mem.rss.toFixed(1)} MB resident ` +
                `(peak ${mem.peak.toFixed(1)} MB); browser: ${perCore(page1 - page0)}; ` +
                `load tool: ${perCore(load1 - load0)}`,
            `  page heap after GC: ${mb(heap0)} MB at the start, ${mb(heap1)} MB at the end ` +
                `(${heap1 >= heap0 ? "+" : ""}${mb(heap1 - heap0)} MB); ` +
                `${((draw1.draws - draw0.draws) / wall).toFixed(1)} draws/s`,
        ];
        lines.forEach((l) => console.log(l));
        if (lost > 0 || tiles !== stations) status = 1;
        if (day && heap1 - heap0 > 50 * 1048576) status = 1;
    } finally {
        await browser.close();
        h.stopAll();
    }
    return status;
}

let status = 0;
try {
    const station = await measureStation();
    h.stopAll();
    for (const name of runs) {
        status |= await run(name, station).catch((e) => {
            console.error(`${name}: ${e.stack ?? e.message}`);
            h.stopAll();
            return 1;
        });
    }
} catch (e) {
    console.error(e.stack ?? e.message);
    status = 1;
}
process.exit(status);
