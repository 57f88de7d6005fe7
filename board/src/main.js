import mqtt from "mqtt";
import { Plant } from "./model.js";

const KEPT = { address: "tandrel.board.broker", user: "tandrel.board.user",
               password: "tandrel.board.password" };
const REFUSED = "Брокер отклонил вход: неверное имя или пароль";

const plant = new Plant();
const tiles = new Map();  // station key -> tile element
const dirty = new Set();
// For a reader of the delays (the scale benchmark) once it asks: piece ids received since the
// last drawing, and [piece id, ms when its tile was painted] until it takes them.
const recording = { on: false, arrived: [], shown: [] };
const counters = { draws: 0, ms: 0, connects: 0, messages: 0 };
let drawPending = false;
let client = null;

const $ = (id) => document.getElementById(id);
// A tile's text parts, by class name.
const TEXTS = ["name", "status", "feed", "list", "done", "numbers", "link", "printer", "today"];
const utf8 = new TextDecoder();

function defaultBroker() {
    const host = location.hostname || "localhost";
    return `ws://${host}:9001/mqtt`;
}

// A browser that keeps nothing for file pages still shows the board, for this visit only.
function kept(key) {
    try {
        return localStorage.getItem(key);
    } catch {
        return null;
    }
}

function keep(key, value) {
    try {
        if (value === null) localStorage.removeItem(key);
        else localStorage.setItem(key, value);
    } catch {
        // kept for this visit only
    }
}

// What this screen logs in with: kept, or typed for this visit.
let login = { address: kept(KEPT.address), user: kept(KEPT.user) ?? "",
              password: kept(KEPT.password) };

function setConnection(text, ok) {
    const el = $("connection");
    el.textContent = text;
    el.className = ok ? "ok" : "bad";
}

function connect({ address, user, password }) {
    if (client) {
        // Another broker: another plant.
        client.end(true);
        plant.stations.clear();
        dirty.clear();
        for (const tile of tiles.values()) tile.remove();
        tiles.clear();
    }
    setConnection(`Брокер ${address}: подключение…`, false);
    let c;
    let refused = false;
    try {
        c = mqtt.connect(address, {
            clientId: `tandrel-board-${Math.random().toString(16).slice(2, 10)}`,
            username: user || undefined,
            password: user ? password ?? "" : undefined,
            reconnectPeriod: 3000,
            connectTimeout: 10000,
        });
    } catch {
        client = null;
        setConnection(`Брокер ${address}: неверный адрес`, false);
        return;
    }
    client = c;
    // A client replaced in the settings says nothing more.
    const lost = () => c === client && !refused &&
        setConnection(`Брокер ${address}: нет связи`, false);
    c.on("connect", () => {
        refused = false;
        c.options.reconnectPeriod = 3000;
        counters.connects++;
        setConnection(`Брокер ${address}: подключено`, true);
        // QoS 0: the board's session is clean, so QoS 1 would save nothing across a reconnect,
        // while within one connection TCP delivers anyway; QoS 1 would hold the stream to the
        // broker's window of unacknowledged messages (20 by default), too few for 500 stations.
        c.subscribe(["tandrel/+/status", "tandrel/+/state", "tandrel/+/piece"], { qos: 0 });
    });
    c.on("offline", lost);
    c.on("error", (e) => {
        // 4 and 5 under MQTT 3.1.1: a wrong name or password, or no right to connect.
        if (c === client && (e.code === 4 || e.code === 5)) {
            refused = true;
            // Tried again now and then: IT may mend the password file behind a wall screen.
            c.options.reconnectPeriod = 60000;
            setConnection(REFUSED, false);
            openSettings(REFUSED);
            return;
        }
        lost();
    });
    c.on("message", (topic, payload, packet) => {
        const now = Date.now();
        counters.messages++;
        const text = utf8.decode(payload);
        const changed = plant.apply(topic, text, packet.retain, now);
        if (!changed) return;
        if (changed.removed) {
            tiles.get(changed.key)?.remove();
            tiles.delete(changed.key);
            return;
        }
        if (recording.on && topic.endsWith("/piece")) recording.arrived.push(changed.lastPiece);
        dirty.add(changed.key);
        scheduleDraw();
    });
}

function scheduleDraw() {
    if (drawPending) return;
    drawPending = true;
    // A hidden tab gets no animation frames; the timer keeps the board current all the same.
    const timer = setTimeout(draw, 250);
    requestAnimationFrame(() => {
        clearTimeout(timer);
        draw(true);
    });
}

// After the frame's paint: a task queued from an animation frame runs once that frame is drawn.
function afterPaint(fromFrame, task) {
    if (fromFrame) setTimeout(task, 0);
    else requestAnimationFrame(() => setTimeout(task, 0));
}

function draw(fromFrame = false) {
    if (!drawPending) return;
    drawPending = false;
    const began = performance.now();
    const now = Date.now();
    for (const key of dirty) {
        const station = plant.stations.get(key);
        if (station) drawTile(station, now);
    }
    dirty.clear();
    if (recording.arrived.length) {
        const ids = recording.arrived.splice(0);
        afterPaint(fromFrame, () => {
            const at = Date.now();
            for (const id of ids) recording.shown.push([id, at]);
        });
    }
    $("empty").hidden = tiles.size > 0;
    counters.draws++;
    counters.ms += performance.now() - began;
}

function number(value) {
    if (typeof value !== "number" || !Number.isFinite(value)) return "—";
    return String(value).replace(".", ",");
}

function clock(ms, now) {
    const d = new Date(ms);
    const hm = d.toLocaleTimeString("ru-RU", { hour: "2-digit", minute: "2-digit" });
    if (new Date(now).toDateString() === d.toDateString()) return hm;
    return `${d.toLocaleDateString("ru-RU", { day: "2-digit", month: "2-digit" })} ${hm}`;
}

// Only what really changed is touched: with hundreds of tiles every needless write costs a layout.
function setText(el, text) {
    if (el.textContent !== text) el.textContent = text;
}

function setClass(el, name) {
    if (el.className !== name) el.className = name;
}

function tileFor(station) {
    let tile = tiles.get(station.key);
    if (tile) return tile;
    tile = document.createElement("section");
    tile.className = "tile";
    tile.dataset.station = station.key;
    tile.innerHTML = `<div class="head"><span class="name"></span><span class="status"></span></div>
<div class="feed bad"></div><div class="list"></div>
<div class="progress"><div class="bar"><div class="fill"></div></div>
<span class="done"></span></div>
<div class="numbers"></div><div class="link"></div><div class="printer"></div>
<div class="pieces"><span class="today"></span><div class="chart"></div></div>`;
    for (let i = 0; i < 8; i++) tile.querySelector(".chart").append(document.createElement("i"));
    tile.parts = {};
    for (const name of [...TEXTS, "fill"]) tile.parts[name] = tile.querySelector(`.${name}`);
    tile.parts.bars = [...tile.querySelectorAll(".chart i")];
    const after = [...tiles.values()].find((t) =>
        t.parts.name.textContent.localeCompare(station.name, "ru") > 0);
    $("tiles").insertBefore(tile, after ?? null);
    tiles.set(station.key, tile);
    return tile;
}

function drawTile(station, now) {
    const tile = tileFor(station);
    const p = tile.parts;
    const s = station.state ?? {};
    const online = station.online !== false;
    setClass(tile, online ? "tile" : "tile offline");
    setText(p.name, station.name);
    // The station's own trouble with the broker: refusals, another computer with its name.
    setText(p.feed, typeof s.feed === "string" && s.feed ? `MQTT: ${s.feed}` : "");
    setText(p.status, online ? (station.online ? "в сети" : "")
        : station.lastSeen !== null ? `не в сети с ${clock(station.lastSeen, now)}` : "не в сети");

    const rows = Number.isFinite(s.rows) ? s.rows : null;
    const remaining = Number.isFinite(s.remaining) ? s.remaining : null;
    const list = typeof s.list === "string" && s.list ? s.list : null;
    setText(p.list, list ? `Список: ${list}` : "Список не открыт");
    const done = rows !== null && remaining !== null ? Math.max(0, rows - remaining) : null;
    setText(p.done, done !== null ? `${done} из ${rows}` : "");
    const width = done !== null && rows > 0 ? `${Math.min(100, (100 * done) / rows)}%` : "0%";
    if (p.fill.style.width !== width) p.fill.style.width = width;

    setText(p.numbers, `Цель ${number(s.target)} · Упор ${number(s.position)}`);
    setClass(p.numbers, s.in_range === false ? "numbers bad" : "numbers");

    const text = (v) => (typeof v === "string" && v ? v : "нет данных");
    setText(p.link, s.link === "up" ? "Связь с упором: есть" : `Связь с упором: ${text(s.link)}`);
    setClass(p.link, `link ${s.link === "up" ? "ok" : s.link ? "bad" : ""}`);
    setText(p.printer, s.printer === "ok" ? "Принтер: готов"
        : s.printer === "off" ? "Принтер: выключен" : `Принтер: ${text(s.printer)}`);
    const failed = s.printer && s.printer !== "ok" && s.printer !== "off";
    setClass(p.printer, `printer ${s.printer === "ok" ? "ok" : failed ? "bad" : ""}`);

    setText(p.today, `Деталей сегодня: ${station.piecesToday(now)}`);
    const bars = station.chart(now);
    const top = Math.max(1, ...bars.map((b) => b.count));
    p.bars.forEach((bar, i) => {
        const { hour, count } = bars[i];
        if (bar.dataset.count === String(count) && bar.dataset.top === String(top)) return;
        bar.style.height = `${Math.max(2, (100 * count) / top)}%`;
        bar.dataset.count = count;
        bar.dataset.top = top;
        bar.title = `${new Date(hour).getHours()}:00 — ${count}`;
    });
}

function redrawAll() {
    for (const key of plant.stations.keys()) dirty.add(key);
    scheduleDraw();
}

function openSettings(error = "") {
    const linked = new URLSearchParams(location.search).get("broker");
    $("broker").value = login.address ?? linked ?? defaultBroker();
    $("user").value = login.user;
    $("password").value = login.password ?? "";
    $("remember").checked = kept(KEPT.password) !== null;
    $("broker-error").textContent = error;
    $("settings").hidden = false;
    $("broker").focus();
}

function init() {
    $("settings-open").addEventListener("click", () => openSettings());
    $("settings-cancel").addEventListener("click", () => ($("settings").hidden = true));
    $("settings").addEventListener("submit", (e) => {
        e.preventDefault();
        const address = $("broker").value.trim();
        if (!/^wss?:\/\/./.test(address)) {
            $("broker-error").textContent = "Адрес начинается с ws:// или wss://";
            return;
        }
        $("broker-error").textContent = "";
        login = { address, user: $("user").value, password: $("password").value };
        keep(KEPT.address, address);
        keep(KEPT.user, login.user);
        keep(KEPT.password, $("remember").checked ? login.password : null);
        $("settings").hidden = true;
        connect(login);
    });
    // The hour bars and "today" move on with the clock, not only with messages.
    setInterval(redrawAll, 30000);
    // A link only fills the form: a wall screen is not repointed, nor its password sent to
    // another broker, until someone connects there by hand.
    const linked = new URLSearchParams(location.search).get("broker");
    const ready = login.address && (!login.user || login.password !== null);
    if (ready) connect(login);
    if (!ready || (linked && linked !== login.address)) {
        openSettings();
        if (linked) $("broker").value = linked;
    }
}

// The page's own readings, for the browser test and the scale benchmark.
window.tandrelBoard = {
    counters,
    record: (on) => {
        recording.on = on;
        recording.arrived.length = 0;
    },
    takeShown: () => recording.shown.splice(0),
    tiles: () => [...tiles.values()].map((t) => ({
        station: t.dataset.station,
        offline: t.classList.contains("offline"),
        ...Object.fromEntries(TEXTS.map((k) => [k, t.parts[k].textContent])),
        chart: t.parts.bars.map((b) => Number(b.dataset.count)),
        colour: getComputedStyle(t).color,
        feedColour: getComputedStyle(t.parts.feed).color,
    })),
};

init();
