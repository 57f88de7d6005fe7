// Plays N stations on the plant's broker as Tandrel publishes them: the status with its will,
// the retained state, and a journal line per piece. Bundled with mqtt into the build folder by
// the board's target:
//
//   node board_load.mjs --broker mqtt://127.0.0.1:1883 [--stations N] [--name NAME]
//       [--interval MS] [--rows R] [--list TEXT] [--duplicate] [--duration S] [--stamps]
//
// --name names the one station, or is the prefix of N numbered ones. --rows ends each list
// after R rows (0: a new list each time one ends). --duplicate sends each piece twice, as a
// station does after a crash. --stamps prints "piece <id> <ms>" as each piece is published.
// On stdin, "kill <i>" drops station i's connection without a goodbye (the broker then sends
// its will); SIGTERM closes every station cleanly ("offline") and exits.
import { readFileSync } from "node:fs";
import mqtt from "mqtt";

function options(argv) {
    const o = { broker: "mqtt://127.0.0.1:1883", stations: 1, name: "Станция", interval: 1000,
                rows: 0, list: "Заказ", duplicate: false, duration: 0, stamps: false,
                passwords: "", ca: "" };
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
    if (!(o.stations >= 1 && o.interval >= 1)) {
        throw new Error("--stations and --interval must be positive");
    }
    return o;
}

function topicName(name) {
    return name.replace(/[/+#\u0000-\u001f\u007f]/g, "_");
}

// Local time in ISO 8601 with its offset, as the program writes "time".
function localTime(ms) {
    const d = new Date(ms);
    const pad = (n, w = 2) => String(Math.abs(n)).padStart(w, "0");
    const off = -d.getTimezoneOffset();
    return `${d.getFullYear()}-${pad(d.getMonth() + 1)}-${pad(d.getDate())}T${pad(d.getHours())}:` +
        `${pad(d.getMinutes())}:${pad(d.getSeconds())}.${pad(d.getMilliseconds(), 3)}` +
        `${off >= 0 ? "+" : "-"}${pad(Math.trunc(off / 60))}:${pad(off % 60)}`;
}

class Station {
    constructor(name, o) {
        this.name = name;
        this.o = o;
        this.topic = `tandrel/${topicName(name)}`;
        this.lists = 0;
        this.line = 1;  // the journal's header is line 1
        this.today = 0;
        this.hour = 0;
        this.hourStart = new Date().setMinutes(0, 0, 0);
        this.lastState = 0;
        this.stateTimer = null;
        this.newList();
        this.client = mqtt.connect(o.broker, {
            clientId: `tandrel-${topicName(name)}`,
            protocolVersion: 5,
            ...(o.logins?.has(name) ? { username: name, password: o.logins.get(name) } : {}),
            ...(o.ca ? { ca: readFileSync(o.ca) } : {}),
            clean: true,
            reconnectPeriod: 1000,
            will: { topic: `${this.topic}/status`, payload: "offline", qos: 1, retain: true },
        });
        this.client.on("connect", () => {
            this.client.publish(`${this.topic}/status`, "online", { qos: 1, retain: true });
            this.publishState();
        });
        this.client.on("error", (e) => console.error(`${name}: ${e.message}`));
        this.minute = setInterval(() => this.publishState(), 60000);
    }

    newList() {
        this.lists++;
        const numbered = this.o.stations > 1 || this.lists > 1;
        this.listName = numbered ? `${this.o.list} ${this.lists}` : this.o.list;
        this.journal = `${new Date().toISOString().slice(0, 10)}-${this.lists}.csv`;
        this.rows = this.o.rows > 0 ? this.o.rows : 30;
        this.row = 0;
        this.target = null;
        this.position = null;
    }

    size(row) {
        return 500 + ((row * 317 + this.lists * 131) % 2500) + (row % 2 ? 0.5 : 0);
    }

    state() {
        return { station: this.name, time: localTime(Date.now()), link: "up", list: this.listName,
                 rows: this.rows, remaining: this.rows - this.row, row: this.row || null,
                 target: this.target, position: this.position,
                 in_range: this.target === null ? null : true,
                 printer: "ok", pieces_today: this.today, pieces_hour: this.hour };
    }

    // At most five a second: a change inside the gap is sent at its end.
    publishState() {
        const wait = this.lastState + 200 - Date.now();
        if (wait > 0) {
            this.stateTimer ??= setTimeout(() => {
                this.stateTimer = null;
                this.publishState();
            }, wait);
            return;
        }
        this.lastState = Date.now();
        const state = JSON.stringify(this.state());
        this.client.publish(`${this.topic}/state`, state, { qos: 1, retain: true });
    }

    step() {
        if (this.row >= this.rows) {
            if (this.o.rows > 0) return;  // the list is done: the station idles
            this.newList();
        }
        this.row++;
        this.line++;
        const now = Date.now();
        const hourStart = new Date(now).setMinutes(0, 0, 0);
        if (hourStart !== this.hourStart) {
            this.hourStart = hourStart;
            this.hour = 0;
        }
        this.today++;
        this.hour++;
        this.target = this.size(this.row);
        this.position = this.target;
        const id = `${topicName(this.name)}/${this.journal}/${this.line}`;
        const piece = JSON.stringify({ id, time: localTime(now), list: this.listName, row: this.row,
                                       size: this.target, correction: 0, target: this.target,
                                       in_range: true, again: false, label: true, piece: true });
        if (this.o.stamps) process.stdout.write(`piece ${id} ${Date.now()}\n`);
        this.client.publish(`${this.topic}/piece`, piece, { qos: 1 });
        if (this.o.duplicate) this.client.publish(`${this.topic}/piece`, piece, { qos: 1 });
        this.publishState();
    }

    start() {
        // Stations spread over the interval, as real ones never step in unison.
        this.first = setTimeout(() => {
            this.step();
            this.timer = setInterval(() => this.step(), this.o.interval);
        }, Math.random() * this.o.interval);
    }

    stopTimers() {
        clearTimeout(this.first);
        clearInterval(this.timer);
        clearInterval(this.minute);
        clearTimeout(this.stateTimer);
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
