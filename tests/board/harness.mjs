// What the board's browser test and its scale benchmark share: a real mosquitto with a TCP and
// a WebSocket listener, stations, and headless chromium driven over WebDriver's HTTP protocol.
import { execFileSync, spawn, spawnSync } from "node:child_process";
import { appendFileSync, copyFileSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from "node:fs";
import net from "node:net";
import os from "node:os";
import path from "node:path";
import { fileURLToPath } from "node:url";

const SETUP = fileURLToPath(new URL("../../tools/broker_setup/broker_setup.mjs", import.meta.url));

export const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

const children = [];
const dirs = [];
// Every process started here ends with the caller, whatever way it ends.
function track(child) {
    children.push(child);
    return child;
}
export function stopAll() {
    for (const c of children) {
        if (c.exitCode === null && c.signalCode === null) c.kill("SIGKILL");
    }
    for (const d of dirs.splice(0)) rmSync(d, { recursive: true, force: true });
}
process.on("exit", stopAll);
for (const sig of ["SIGINT", "SIGTERM"]) {
    process.on(sig, () => process.exit(1));
}

export function freePort() {
    return new Promise((resolve, reject) => {
        const server = net.createServer();
        server.on("error", reject);
        server.listen(0, "127.0.0.1", () => {
            const { port } = server.address();
            server.close(() => resolve(port));
        });
    });
}

export async function waitFor(what, check, timeoutMs = 15000) {
    const end = Date.now() + timeoutMs;
    let last;
    while (Date.now() < end) {
        try {
            const v = await check();
            if (v) return v;
        } catch (e) {
            last = e;
        }
        await sleep(100);
    }
    throw new Error(`${what}: not within ${timeoutMs} ms${last ? ` (${last.message})` : ""}`);
}

function canConnect(port) {
    return new Promise((resolve) => {
        const s = net.connect(port, "127.0.0.1", () => {
            s.destroy();
            resolve(true);
        });
        s.on("error", () => resolve(false));
    });
}

export function tempDir() {
    const dir = mkdtempSync(path.join(process.env.TMPDIR || os.tmpdir(), "tandrel-board-"));
    dirs.push(dir);
    return dir;
}

// A broker of its own on free ports of 127.0.0.1, set up by the plant's generator for `stations`
// and the board user "Табло" (TLS listeners when given {cert, key}): {tcp, ws, pid, url, wsUrl,
// passwords (name -> password), passwordsFile}.
export async function startBroker(dir, stations, tls = null) {
    const tcp = await freePort();
    const ws = await freePort();
    const out = path.join(dir, "broker");
    execFileSync(process.execPath, [SETUP, "--out", out, "--port", String(tcp), "--ws-port",
                                    String(ws), "--bind", "127.0.0.1", "--board", "Табло",
                                    ...(tls ? ["--tls-cert", tls.cert, "--tls-key", tls.key] : []),
                                    ...stations], { stdio: ["ignore", "ignore", "inherit"] });
    const conf = path.join(out, "mosquitto.conf");
    // Started by root, mosquitto would turn into a user that cannot read the files.
    appendFileSync(conf, `user ${os.userInfo().username}\n`);
    const passwordsFile = path.join(out, "passwords.txt");
    const passwords = new Map(readFileSync(passwordsFile, "utf8").trim().split("\n")
        .map((l) => [l.slice(0, l.lastIndexOf(";")), l.slice(l.lastIndexOf(";") + 1)]));
    const child = track(spawn("mosquitto", ["-c", conf], { stdio: ["ignore", "ignore", "pipe"] }));
    let log = "";
    child.stderr.on("data", (d) => (log += d));
    await waitFor(`mosquitto on ${tcp} and ${ws}`, async () => {
        if (child.exitCode !== null) throw new Error(`mosquitto exited: ${log.trim()}`);
        return (await canConnect(tcp)) && (await canConnect(ws));
    });
    const s = tls ? "s" : "";
    return { tcp, ws, pid: child.pid, url: `mqtt${s}://127.0.0.1:${tcp}`,
             wsUrl: `ws${s}://127.0.0.1:${ws}/mqtt`, child, passwords, passwordsFile, out };
}

// The generator's --remove: the station's retained messages cleared on the broker, then the
// station out of the files. What it said when it failed, else "".
export function removeStation(broker, name) {
    const r = spawnSync(process.execPath, [SETUP, "--out", broker.out, "--remove", "--broker",
                                           broker.url, name], { encoding: "utf8", timeout: 20000 });
    return r.status === 0 ? "" : `${r.status}: ${r.stderr}`;
}

// One publish through mosquitto_pub as `user` (MQTT 5, QoS 1): what it said on stderr, where
// a refusal shows ("Not authorized"; its exit code is 0 all the same).
export function publishAs(broker, user, topic, message, retain = false) {
    const args = ["-h", "127.0.0.1", "-p", String(broker.tcp), "-V", "5", "-q", "1", "-u", user,
                  "-P", broker.passwords.get(user) ?? "", "-t", topic];
    args.push(...(message === null ? ["-n"] : ["-m", message]), ...(retain ? ["-r"] : []));
    return String(spawnSync("mosquitto_pub", args, { encoding: "utf8", timeout: 10000 }).stderr);
}

// Stations played by the load tool, for the scale benchmark; `end` drops the connection without
// a goodbye (as a station that loses power), `stop` closes it cleanly.
export function startStations(boardDir, broker, args, { onLine } = {}) {
    const child = track(spawn(process.execPath, [path.join(boardDir, "board_load.mjs"),
                                                 "--broker", broker.url,
                                                 "--passwords", broker.passwordsFile, ...args],
                              { stdio: ["pipe", "pipe", "inherit"] }));
    let rest = "";
    child.stdout.setEncoding("utf8");
    child.stdout.on("data", (d) => {
        rest += d;
        const lines = rest.split("\n");
        rest = lines.pop();
        if (onLine) lines.forEach(onLine);
    });
    return {
        child,
        end: () => child.kill("SIGKILL"),
        kill: (i) => child.stdin.write(`kill ${i}\n`),
        stop: () => new Promise((resolve) => {
            if (child.exitCode !== null) return resolve();
            child.on("exit", resolve);
            child.kill("SIGTERM");
        }),
    };
}

// Windows-1251 bytes of a text in ASCII and Russian letters, as nastr.dat holds it.
function cp1251(text) {
    return Buffer.from([...text].map((ch) => {
        const c = ch.codePointAt(0);
        if (c < 0x80) return c;
        if (c >= 0x410 && c <= 0x44f) return c - 0x350;
        if (c === 0x401 || c === 0x451) return c === 0x401 ? 0xa8 : 0xb8;
        throw new Error(`no Windows-1251 byte for ${ch}`);
    }));
}

// A real station: a copy of the program in a folder of its own (it reads nastr.dat beside
// itself), on its own simulator, publishing to the broker as `name`, with the list of `sizes`
// open. `step` presses "#" on the device's keypad: the next row. `end` kills the program (a power
// loss: no goodbye), `stop` closes it. `travels`: the program sends each size to the stop, which
// moves at the simulator's own pace; else the stop stays and a row takes a moment.
export async function startProgram({ program, sim }, broker, name, list, sizes, travels = false) {
    const dir = tempDir();
    const pace = travels ? [] : ["--ping-ms", "20", "--speed", "20000"];
    const device = track(spawn(sim, ["--device-link", path.join(dir, "device"), "--min", "200",
                                     "--max", "3050", "--precision", "0", ...pace],
                               { stdio: ["pipe", "pipe", "inherit"] }));
    let answers = "";
    device.stdout.setEncoding("utf8");
    device.stdout.on("data", (d) => (answers += d));
    await waitFor("the simulator ready", () => {
        if (device.exitCode !== null) throw new Error(`the simulator exited: ${answers}`);
        return answers.startsWith("ready");
    });
    copyFileSync(program, path.join(dir, "Tandrel"));
    writeFileSync(path.join(dir, "nastr.dat"),
                  Buffer.concat([Buffer.from(`p=${path.join(dir, "device")}\r\n` +
                                             `o=127.0.0.1:${broker.tcp}\r\nq=`),
                                 cp1251(name), Buffer.from("\r\ns="), cp1251(name),
                                 Buffer.from(`\r\nl=${travels ? 1 : 0}\r\n`)]));
    // Its password as IT sets it: on the program's standard input, kept beside nastr.dat.
    execFileSync("./Tandrel", ["--feed-password"], {
        cwd: dir, input: `${broker.passwords.get(name)}\n`,
        env: { ...process.env, QT_QPA_PLATFORM: "offscreen", XDG_RUNTIME_DIR: dir } });
    writeFileSync(path.join(dir, list), sizes.map((s, i) => `${s} ${i + 1}\r\n`).join(""));
    const child = track(spawn("./Tandrel", [list], {
        cwd: dir, stdio: "ignore",
        env: { ...process.env, QT_QPA_PLATFORM: "offscreen", XDG_RUNTIME_DIR: dir } }));
    return {
        child,
        step: () => device.stdin.write("keys #\n"),
        end: () => child.kill("SIGKILL"),
        stop: () => new Promise((resolve) => {
            if (child.exitCode !== null) return resolve();
            child.on("exit", resolve);
            child.kill("SIGTERM");
        }),
    };
}

// Headless chromium through chromedriver: {run(script, ...args), open(url), screenshot(file),
// size(w, h), close(), pid (chromedriver's; the browser's processes descend from it)}.
export async function startBrowser(width, height, extraArgs = []) {
    const port = await freePort();
    const driver = track(spawn(process.env.CHROMEDRIVER || "chromedriver",
                               [`--port=${port}`], { stdio: "ignore" }));
    const base = `http://127.0.0.1:${port}`;
    const call = async (method, route, body) => {
        const res = await fetch(base + route, {
            method,
            headers: { "Content-Type": "application/json" },
            body: body === undefined ? undefined : JSON.stringify(body),
        });
        const json = await res.json();
        if (!res.ok) throw new Error(`${method} ${route}: ${json.value?.message ?? res.status}`);
        return json.value;
    };
    await waitFor("chromedriver", async () => (await call("GET", "/status")).ready);
    const args = ["--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                  `--window-size=${width},${height}`, "--hide-scrollbars", "--lang=ru-RU",
                  "--allow-file-access-from-files", ...extraArgs];
    const session = await call("POST", "/session", {
        capabilities: { alwaysMatch: { browserName: "chrome", "goog:chromeOptions": {
            binary: process.env.CHROMIUM || "/usr/bin/chromium", args } } } });
    const s = `/session/${session.sessionId}`;
    const run = (script, ...a) => call("POST", `${s}/execute/sync`, { script, args: a });
    // The page's own area at w x h, whatever the browser's frame takes.
    const size = async (w, h) => {
        const [dw, dh] = await run("return [outerWidth - innerWidth, outerHeight - innerHeight]");
        await call("POST", `${s}/window/rect`, { width: w + dw, height: h + dh });
    };
    await size(width, height);
    return {
        run,
        // A DevTools command through chromedriver.
        cdp: (cmd, params = {}) => call("POST", `${s}/goog/cdp/execute`, { cmd, params }),
        open: (url) => call("POST", `${s}/url`, { url }),
        size,
        screenshot: async (file) =>
            writeFileSync(file, Buffer.from(await call("GET", `${s}/screenshot`), "base64")),
        close: () => call("DELETE", s).catch(() => {}),
        pid: driver.pid,
        waitFor,
    };
}
