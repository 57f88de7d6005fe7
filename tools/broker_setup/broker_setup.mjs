// Writes a plant broker's set-up: no anonymous access, a user per station that writes only its
// own topics and reads nothing, board users that read every station and write nothing.
//
//   node broker_setup.mjs --out DIR [--tls-cert F --tls-key K] [--board USER]... STATION...
//       [--port P] [--ws-port P] [--bind ADDRESS] [--conf-dir PATH]
//   node broker_setup.mjs --out DIR --remove --broker mqtt[s]://HOST:PORT [--ca F] STATION...
//
// DIR gets mosquitto.conf, passwd (through mosquitto_passwd), acl and passwords.txt
// ("<name>;<password>" a line, readable by its owner alone) for `Tandrel --feed-password`.
// A second run keeps the users and passwords already in DIR and adds the ones named. --remove
// first clears the stations' retained status and state on the broker (logged in as each
// station), then takes them out of the files; the broker reads them again on SIGHUP.
// --conf-dir is where DIR's files will be on the broker (DIR itself by default).
import { execFileSync } from "node:child_process";
import { randomInt, randomBytes } from "node:crypto";
import { chmodSync, existsSync, mkdirSync, readFileSync, renameSync, writeFileSync } from "node:fs";
import net from "node:net";
import path from "node:path";
import tls from "node:tls";
import { pathToFileURL } from "node:url";

const cp1251 = new Set(new TextDecoder("windows-1251").decode(
    Uint8Array.from({ length: 256 }, (_, i) => i)));

// The station's program refuses these in its name, so no station can log in with one; a board
// user keeps to the same so that every name fits the access list and the password file.
export function nameFault(name) {
    if (!name) return "пустое имя";
    for (const ch of name) {
        const c = ch.codePointAt(0);
        if (c < 0x20 || c === 0x7f || (c >= 0x80 && c <= 0x9f)) return "управляющий символ";
        if ("/+#:".includes(ch)) return `нельзя «${ch}»: допустимо всё, кроме / + # :`;
        if (!cp1251.has(ch)) return `«${ch}» нет в Windows-1251`;
    }
    // The access list's lines lose blanks at their ends.
    if (name.trim() !== name) return "пробел в начале или в конце";
    return null;
}

const LETTERS = "ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnopqrstuvwxyz23456789";
function password() {
    return Array.from({ length: 20 }, () => LETTERS[randomInt(LETTERS.length)]).join("");
}

function options(argv) {
    const o = { out: null, tlsCert: null, tlsKey: null, boards: [], stations: [], remove: false,
                broker: null, ca: null, port: null, wsPort: null, bind: null, confDir: null };
    const valued = { "--out": "out", "--tls-cert": "tlsCert", "--tls-key": "tlsKey",
                     "--broker": "broker", "--ca": "ca", "--port": "port", "--ws-port": "wsPort",
                     "--bind": "bind", "--conf-dir": "confDir" };
    for (let i = 0; i < argv.length; i++) {
        const a = argv[i];
        if (a === "--remove") o.remove = true;
        else if (a === "--board" && i + 1 < argv.length) o.boards.push(argv[++i]);
        else if (a in valued && i + 1 < argv.length) o[valued[a]] = argv[++i];
        else if (a.startsWith("--")) throw new Error(`неизвестный ключ ${a}`);
        else o.stations.push(a);
    }
    if (!o.out) throw new Error("нужен --out DIR");
    if (!o.tlsCert !== !o.tlsKey) throw new Error("--tls-cert и --tls-key задают вместе");
    if (o.remove && !o.broker) throw new Error("--remove требует --broker mqtt://HOST:PORT");
    for (const name of [...o.stations, ...o.boards]) {
        const fault = nameFault(name);
        if (fault) throw new Error(`имя «${name}» не годится: ${fault}`);
    }
    return o;
}

// "<name>;<password>" lines; the password never holds ";", a name may.
function readPasswords(file) {
    const users = new Map();
    if (!existsSync(file)) return users;
    for (const line of readFileSync(file, "utf8").split("\n")) {
        const at = line.lastIndexOf(";");
        if (at > 0) users.set(line.slice(0, at), line.slice(at + 1).trim());
    }
    return users;
}

function readBoards(aclFile) {
    const boards = new Set();
    if (!existsSync(aclFile)) return boards;
    let user = null;
    for (const line of readFileSync(aclFile, "utf8").split("\n")) {
        if (line.startsWith("user ")) user = line.slice(5);
        else if (line === "topic read tandrel/#" && user !== null) boards.add(user);
    }
    return boards;
}

// Written beside, then renamed over: a reader never sees half a file.
function writeSecret(file, text) {
    const temp = `${file}.${process.pid}.tmp`;
    writeFileSync(temp, text, { mode: 0o600 });
    chmodSync(temp, 0o600);
    renameSync(temp, file);
}

function writeAll(o, users, boards, withConf) {
    mkdirSync(o.out, { recursive: true });
    const dir = path.resolve(o.out);
    const confDir = o.confDir ?? dir;
    const stations = [...users.keys()].filter((n) => !boards.has(n));
    const acl = ["# One user per station: it writes its own topics and reads nothing.", ""];
    for (const name of stations) acl.push(`user ${name}`, `topic write tandrel/${name}/#`, "");
    acl.push("# The boards read every station and write nothing.", "");
    for (const name of boards) acl.push(`user ${name}`, "topic read tandrel/#", "");
    writeSecret(path.join(dir, "acl"), acl.join("\n"));

    // mosquitto_passwd -U hashes a file of "user:password" in place: no password on a command line.
    const passwd = path.join(dir, "passwd");
    const temp = `${passwd}.${process.pid}.tmp`;
    writeFileSync(temp, [...users].map(([n, p]) => `${n}:${p}\n`).join(""), { mode: 0o600 });
    execFileSync("mosquitto_passwd", ["-U", temp], { stdio: ["ignore", "ignore", "inherit"] });
    renameSync(temp, passwd);
    writeSecret(path.join(dir, "passwords.txt"),
                [...users].map(([n, p]) => `${n};${p}\n`).join(""));

    if (!withConf) return;  // a removal keeps the listeners as they were set up
    const tlsLines = o.tlsCert ? [`certfile ${path.resolve(o.tlsCert)}`,
                                  `keyfile ${path.resolve(o.tlsKey)}`] : [];
    const at = o.bind ? ` ${o.bind}` : "";
    const conf = [
        "# Written by broker_setup.mjs: stations and boards log in, each with its own rights.",
        "per_listener_settings false",
        "allow_anonymous false",
        `password_file ${path.join(confDir, "passwd")}`,
        `acl_file ${path.join(confDir, "acl")}`,
        "",
        "# The stations (MQTT over TCP).",
        `listener ${o.port ?? (o.tlsCert ? 8883 : 1883)}${at}`,
        "protocol mqtt",
        ...tlsLines,
        "",
        "# The boards (MQTT over WebSockets, from a browser).",
        `listener ${o.wsPort ?? (o.tlsCert ? 9443 : 9001)}${at}`,
        "protocol websockets",
        ...tlsLines,
        "",
    ];
    writeFileSync(path.join(dir, "mosquitto.conf"), conf.join("\n"));
}

// MQTT 5 over a socket, just what clearing two retained messages takes.
function utf8Field(text) {
    const b = Buffer.from(text, "utf8");
    return Buffer.concat([Buffer.from([b.length >> 8, b.length & 0xff]), b]);
}
function packet(type, body) {
    const len = [];
    let n = body.length;
    do {
        len.push((n & 0x7f) | (n > 0x7f ? 0x80 : 0));
        n >>= 7;
    } while (n > 0);
    return Buffer.concat([Buffer.from([type, ...len]), body]);
}

// Logs in as the station and publishes empty retained messages over its status and state.
export function clearRetained(brokerUrl, caFile, user, pass, timeoutMs = 10000) {
    const url = new URL(brokerUrl);
    const secure = url.protocol === "mqtts:";
    const port = Number(url.port) || (secure ? 8883 : 1883);
    const host = url.hostname.replace(/^\[|\]$/g, "");
    const topics = ["status", "state"].map((k) => `tandrel/${user}/${k}`);
    return new Promise((resolve, reject) => {
        const sock = secure
            ? tls.connect({ host, port, servername: net.isIP(host) ? undefined : host,
                            ca: caFile ? readFileSync(caFile) : undefined })
            : net.connect(port, host);
        const fail = (why) => {
            sock.destroy();
            reject(new Error(`${user}: ${why}`));
        };
        const timer = setTimeout(() => fail("брокер не ответил"), timeoutMs);
        sock.on("error", (e) => fail(e.message));
        sock.on(secure ? "secureConnect" : "connect", () => {
            sock.write(packet(0x10, Buffer.concat([
                utf8Field("MQTT"), Buffer.from([5, 0xc2, 0, 30, 0]),
                utf8Field(`tandrel-setup-${randomBytes(4).toString("hex")}`),
                utf8Field(user), utf8Field(pass)])));
        });
        let data = Buffer.alloc(0);
        let acked = 0;
        sock.on("data", (chunk) => {
            data = Buffer.concat([data, chunk]);
            while (data.length >= 2) {
                let len = 0, shift = 0, i = 1;
                for (; i < data.length; i++) {
                    len |= (data[i] & 0x7f) << shift;
                    shift += 7;
                    if (!(data[i] & 0x80)) break;
                }
                if (i >= data.length || data.length < i + 1 + len) return;
                const type = data[0] >> 4, body = data.subarray(i + 1, i + 1 + len);
                data = data.subarray(i + 1 + len);
                if (type === 2) {  // CONNACK
                    if (body[1] !== 0) return fail(`вход отклонён (код 0x${body[1].toString(16)})`);
                    topics.forEach((t, k) => sock.write(packet(0x33, Buffer.concat([
                        utf8Field(t), Buffer.from([0, k + 1, 0])]))));
                } else if (type === 4) {  // PUBACK
                    if (len > 2 && body[2] >= 0x80) {
                        return fail(`брокер отклонил очистку (код 0x${body[2].toString(16)})`);
                    }
                    if (++acked === topics.length) {
                        clearTimeout(timer);
                        sock.end(Buffer.from([0xe0, 0]));
                        resolve();
                    }
                }
            }
        });
    });
}

async function main() {
    let o;
    try {
        o = options(process.argv.slice(2));
    } catch (e) {
        console.error(e.message);
        process.exit(2);
    }
    const users = readPasswords(path.join(o.out, "passwords.txt"));
    const boards = readBoards(path.join(o.out, "acl"));
    if (o.remove) {
        for (const name of o.stations) {
            if (!users.has(name) || boards.has(name)) {
                console.error(`станции «${name}» нет в ${o.out}`);
                process.exit(1);
            }
            try {
                await clearRetained(o.broker, o.ca, name, users.get(name));
            } catch (e) {
                console.error(`не удалось убрать с брокера: ${e.message}; файлы не изменены`);
                process.exit(1);
            }
            users.delete(name);
        }
    } else {
        for (const name of [...o.stations, ...o.boards]) {
            if (!users.has(name)) users.set(name, password());
        }
        o.boards.forEach((b) => boards.add(b));
        for (const name of o.stations) boards.delete(name);
    }
    writeAll(o, users, boards, !o.remove);
    console.log(`${path.resolve(o.out)}: ${users.size - boards.size} станций, ` +
                `${boards.size} табло; пароли в passwords.txt`);
}

if (import.meta.url === pathToFileURL(process.argv[1]).href) await main();
