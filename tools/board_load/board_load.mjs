// Plays N stations on the plant's broker as Tandrel publishes them: the status with its will,
// the retained state on each change while the stop travels (at the station's rate, at most five
// a second) and once a minute at rest, and a journal line per piece with the state that follows
// it. Bundled with mqtt into the build folder by the board's target:
//
//   node board_load.mjs --broker mqtt[s]://127.0.0.1:1883 [--passwords FILE] [--ca F]
//       [--stations N] [--name NAME] [--interval MS] [--travel-ms MS] [--state-rate R]
//       [--speedup X] [--rows R] [--list TEXT] [--duplicate] [--duration S] [--stamps]
//
// --passwords is the broker set-up's passwords.txt: each station logs in as itself. --interval
// is the time from one piece to the next (20 s), --travel-ms how long the stop travels after a
// piece (4 s), --state-rate the states a second meanwhile (4.6: as the program sends them);
// --speedup X divides every time but the rate (a day compressed). --name names the one station,
// or is the prefix of N numbered ones. --rows ends each list after R rows (0: a new list each
// time one ends). --duplicate sends each piece twice, as a station does after a crash. --stamps
// prints "piece <id> <ms>" as each piece is published.
// On stdin, "kill <i>" drops station i's connection without a goodbye (the broker then sends
// its will); SIGTERM closes every station cleanly ("offline") and exits.
import { readFileSync } from "node:fs";
import mqtt from "mqtt";

function options(argv) {
    const o = { broker: "mqtt://127.0.0.1:1883", stations: 1, name: "Станция", interval: 20000,
                "travel-ms": 4000, "state-rate": 4.6, speedup: 1, rows: 0, list: "Заказ",
                duplicate: false, duration: 0, stamps: false, passwords: "", ca: "" };
    for (let i = 0; i < argv.length; i++) {
        const key = argv[i].replace(/^--/, "");
        if (key === "duplicate" || key === "stamps") {
            o[key] = true;
        } else if (key in o && i + 1 < argv.length) {
            const value = argv[++i];
            o[key] = typeof o[key] === "number" ? Number(value) : value;
        } else {
            throw new Error(`unknown option ${argv[i]}`);
        }
    }
    if (!(o.stations >= 1 && o.interval >= 1 && o.speedup > 0 && o["state-rate"] > 0)) {
        throw new Error("--stations, --interval, --speedup and --state-rate must be positive");
    }
    o.interval /= o.speedup;
    o.travel = Math.min(o["travel-ms"] / o.speedup, 0.9 * o.interval);
    // The program sends at most five states a second.
    o.stateGap = Math.max(200, 1000 / o["state-rate"]);
    o.restGap = 60000 / o.speedup;
    return o;
}

function topicName(name) {
    return name.replace(/[/+#:\u0000-\u001f\u007f-\u009f]/g, "_");
}

const pad = (n, w = 2) => String(Math.abs(n)).padStart(w, "0");

// Local time in ISO 8601 with its offset, as the program writes "time".
function localTime(ms) {
    const d = new Date(ms);
    const off = -d.getTimezoneOffset();
    return `${d.getFullYear()}-${pad(d.getMonth() + 1)}-${pad(d.getDate())}T${pad(d.getHours())}:` +
        `${pad(d.getMinutes())}:${pad(d.getSeconds())}${off >= 0 ? "+" : "-"}` +
        `${pad(Math.trunc(off / 60))}:${pad(off % 60)}`;
}

// The journal line's moment in a piece's id: "20261209T142000".
function moment(ms) {
    const d = new Date(ms);
    return `${d.getFullYear()}${pad(d.getMonth() + 1)}${pad(d.getDate())}T` +
        `${pad(d.getHours())}${pad(d.getMinutes())}${pad(d.getSeconds())}`;
}

class Station {
    constructor(name, o) {
        this.name = name;
        this.o = o;
        this.topic = `tandrel/${topicName(name)}`;
        this.lists = 0;
        this.today = 0;
        this.hour = 0;
        this.hourStart = new Date().setMinutes(0, 0, 0);
        this.lastMoment = "";
        this.k = 0;
        this.position = 3050;
        this.travel = null;  // {from, to, start, end} while the stop moves
        this.timers = new Set();
        this.newList();
        const login = o.logins?.get(name);
        this.client = mqtt.connect(o.broker, {
            clientId: `tandrel-${topicName(name)}`,
            protocolVersion: 5,
            reconnectPeriod: 1000,
            ...(login !== undefined ? { username: name, password: login } : {}),
            ...(o.ca ? { ca: readFileSync(o.ca) } : {}),
            will: { topic: `${this.topic}/status`, payload: "offline", qos: 1, retain: true },
        });
        this.client.on("connect", () => {
            this.client.publish(`${this.topic}/status`, "online", { qos: 1, retain: true });
            this.publishState();
        });
        this.client.on("error", (e) => console.error(`${name}: ${e.message}`));
        this.rest = setInterval(() => this.publishState(), o.restGap);
    }

    later(ms, fn) {
        const t = setTimeout(() => {
            this.timers.delete(t);
            fn();
        }, ms);
        this.timers.add(t);
    }

    newList() {
        this.lists++;
        const numbered = this.o.stations > 1 || this.lists > 1;
        this.listName = numbered ? `${this.o.list} ${this.lists}` : this.o.list;
        this.rows = this.o.rows > 0 ? this.o.rows : 30;
        this.row = 0;
        this.target = null;
    }

    size(row) {
        return 500 + ((row * 317 + this.lists * 131) % 2500) + (row % 2 ? 0.5 : 0);
    }

    where(now) {
        const t = this.travel;
        if (!t) return this.position;
        if (now >= t.end) {
            this.position = t.to;
            this.travel = null;
            return this.position;
        }
        return Math.round(t.from + ((t.to - t.from) * (now - t.start)) / (t.end - t.start));
    }

    state(now) {
        return { station: this.name, time: localTime(now), link: "up", list: this.listName,
                 rows: this.rows, remaining: this.rows - this.row, row: this.row || null,
                 target: this.target, position: this.where(now),
                 in_range: this.target === null ? null : true,
                 printer: "ok", pieces_today: this.today, pieces_hour: this.hour, feed: null };
    }

    publishState() {
        const state = JSON.stringify(this.state(Date.now()));
        this.client.publish(`${this.topic}/state`, state, { qos: 0, retain: true });
    }

    step() {
        if (this.row >= this.rows) {
            if (this.o.rows > 0) return;  // the list is done: the station idles
            this.newList();
        }
        this.row++;
        const now = Date.now();
        const hourStart = new Date(now).setMinutes(0, 0, 0);
        if (hourStart !== this.hourStart) {
            this.hourStart = hourStart;
            this.hour = 0;
        }
        this.today++;
        this.hour++;
        const at = moment(now);
        this.k = at === this.lastMoment ? this.k + 1 : 1;
        this.lastMoment = at;
        const file = `journal-${at.slice(0, 4)}-${at.slice(4, 6)}.csv`;
        const id = `${topicName(this.name)}/${file}/${at}/${this.k}`;
        const size = this.size(this.row);
        const piece = JSON.stringify({ id, time: localTime(now), list: this.listName, row: this.row,
                                       size, correction: 0, target: size, in_range: true,
                                       again: false, label: "", piece: true });
        if (this.o.stamps) process.stdout.write(`piece ${id} ${Date.now()}\n`);
        this.client.publish(`${this.topic}/piece`, piece, { qos: 1 });
        if (this.o.duplicate) this.client.publish(`${this.topic}/piece`, piece, { qos: 1 });
        // The next row's size goes to the stop, which travels there; the state follows it.
        this.target = this.size(this.row + 1);
        this.travel = { from: this.where(now), to: this.target, start: now,
                        end: now + this.o.travel };
        const moving = () => {
            this.publishState();
            if (this.travel) this.later(this.o.stateGap, moving);
        };
        moving();
    }

    start() {
        // Stations spread over the interval, as real ones never step in unison.
        this.later(Math.random() * this.o.interval, () => {
            this.step();
            this.timer = setInterval(() => this.step(), this.o.interval);
        });
    }

    stopTimers() {
        for (const t of this.timers) clearTimeout(t);
        this.timers.clear();
        clearInterval(this.timer);
        clearInterval(this.rest);
    }

    kill() {
        this.stopTimers();
        this.client.options.reconnectPeriod = 0;
        this.client.stream.destroy();  // no DISCONNECT: the broker publishes the will
        this.client.end(true);
    }

    close() {
        this.stopTimers();
        return new Promise((resolve) => {
            this.client.publish(`${this.topic}/status`, "offline", { qos: 1, retain: true }, () =>
                this.client.end(false, resolve));
        });
    }
}

const o = options(process.argv.slice(2));
// passwords.txt of the plant's broker set-up: each station logs in as itself.
if (o.passwords) {
    o.logins = new Map(readFileSync(o.passwords, "utf8").split("\n").filter((l) => l.includes(";"))
        .map((l) => [l.slice(0, l.lastIndexOf(";")), l.slice(l.lastIndexOf(";") + 1).trim()]));
}
const stations = [];
for (let i = 1; i <= o.stations; i++) {
    const name = o.stations > 1 ? `${o.name} ${String(i).padStart(2, "0")}` : o.name;
    stations.push(new Station(name, o));
}
stations.forEach((s) => s.start());

let closing = false;
async function closeAll(code) {
    if (closing) return;
    closing = true;
    const done = Promise.all(stations.map((s) => s.close()));
    await Promise.race([done, new Promise((r) => setTimeout(r, 3000))]);
    process.exit(code);
}
process.on("SIGTERM", () => closeAll(0));
process.on("SIGINT", () => closeAll(0));
if (o.duration > 0) setTimeout(() => closeAll(0), o.duration * 1000);

let input = "";
process.stdin.setEncoding("utf8");
process.stdin.on("data", (chunk) => {
    input += chunk;
    let end;
    while ((end = input.indexOf("\n")) >= 0) {
        const [command, arg] = input.slice(0, end).trim().split(/\s+/);
        input = input.slice(end + 1);
        const station = stations[Number(arg) - 1];
        if (command === "kill" && station) station.kill();
        else if (command) console.error(`unknown command: ${command} ${arg ?? ""}`);
    }
});
process.stdin.on("error", () => {});
