// The board in headless chromium against a real mosquitto set up by the plant's generator: the
// board logs in, two stations (copies of the program, each on its own simulator) work their
// lists, neither a station nor a board can write another's topics, one station then ends
// without a goodbye and its tile turns offline.
//   node board_browser_test.mjs BOARD_DIR SCREENS_DIR PROGRAM SIMULATOR
// Exits 77 (skipped) when the page, the program or the simulator is not built, or chromium,
// chromedriver or mosquitto is missing.
import { execFileSync } from "node:child_process";
import { existsSync, mkdirSync, readFileSync } from "node:fs";
import path from "node:path";
import { pathToFileURL } from "node:url";
import * as h from "./harness.mjs";

const [boardDir, screens, program, sim] = process.argv.slice(2).map((p) => path.resolve(p ?? ""));
const page = path.join(boardDir, "board.html");
const has = (tool) => {
    try {
        execFileSync("sh", ["-c", `command -v ${tool}`], { stdio: "ignore" });
        return true;
    } catch {
        return false;
    }
};
for (const [what, ok] of [[page, existsSync(page)], [program, existsSync(program)],
                          [sim, existsSync(sim)], ["chromium", has("chromium")],
                          ["chromedriver", has("chromedriver")], ["mosquitto", has("mosquitto")],
                          ["mosquitto_pub", has("mosquitto_pub")]]) {
    if (!ok) {
        console.log(`SKIP: ${what} is missing (the board's target builds the page)`);
        process.exit(77);
    }
}

let failures = 0;
function check(what, ok, detail) {
    if (!ok) failures++;
    console.log(`${ok ? "ok  " : "FAIL"} ${what}${ok ? "" : `: ${JSON.stringify(detail)}`}`);
}

const SIZES = [1000, 1250, 1500, 1750, 2000];
const ROWS = SIZES.length;
const dir = h.tempDir();
// "Пила 3" has no program: the test speaks for it.
const broker = await h.startBroker(dir, ["Пила 1", "Пила 2", "Пила 3"]);

// A station with its list of SIZES open, and what its tile must show once the list is done: the
// station's name as in its topic, the last row's size as target, and the stop where the
// simulator starts it (the program is not set to send sizes to the stop).
async function startStation(name, list) {
    const station = await h.startProgram({ program, sim }, broker, name, list, SIZES);
    return { ...station, key: name, list, target: String(SIZES.at(-1)),
             position: "3050" };
}

const browser = await h.startBrowser(1920, 1080);
try {
    // A link fills the form; the page connects once someone logs in.
    await browser.open(`${pathToFileURL(page)}?broker=${encodeURIComponent(broker.wsUrl)}`);
    const logIn = (password, remember) => browser.run(`
        const [user, pass, keep] = ["user", "password", "remember"].map(id =>
            document.getElementById(id));
        user.value = "Табло"; pass.value = arguments[0]; keep.checked = arguments[1];
        document.querySelector("#settings button[type=submit]").click();`, password, remember);
    const connection = () => browser.run("return document.getElementById('connection').textContent");
    const linked = await browser.run("return document.getElementById('broker').value");
    await logIn("wrong-password", false);
    const refused = await browser.waitFor("the wrong password refused", async () =>
        (await connection()) === "Брокер отклонил вход: неверное имя или пароль", 10000)
        .catch(() => false);
    check("the link fills the form; a wrong password is refused on the page",
          linked === broker.wsUrl && refused, { linked, connection: await connection() });
    await logIn(broker.passwords.get("Табло"), true);
    const first = await startStation("Пила 1", "zakaz-1502.txt");
    const second = await startStation("Пила 2", "zakaz-77.txt");
    const tiles = () => browser.run("return window.tandrelBoard.tiles()");
    const byName = (list) => Object.fromEntries(list.map((t) => [t.station, t]));
    const bothAt = (row, more = () => true) => async () => {
        const t = byName(await tiles());
        return [first, second].every((s) => t[s.key]?.done === `${row} из ${ROWS}` &&
                                            t[s.key].link === "Связь с упором: есть" &&
                                            more(t[s.key], s)) ? t : null;
    };

    // Each row once both stops have taken the one before.
    await browser.waitFor("both stations linked with their lists open", bothAt(0), 60000);
    for (let row = 1; row < ROWS; ++row) {
        first.step();
        second.step();
        await browser.waitFor(`row ${row} worked`, bothAt(row), 10000);
    }
    first.step();
    second.step();
    const done = await browser.waitFor("both lists worked", bothAt(ROWS, (tile, s) =>
        tile.today === `Деталей сегодня: ${ROWS}` &&
        tile.numbers === `Цель ${s.target} · Упор ${s.position}`), 10000).catch(async (e) => {
        check("both lists worked", false, { error: e.message, tiles: await tiles() });
        return null;
    });
    if (done) {
        for (const s of [first, second]) {
            const tile = done[s.key];
            check(`${tile.name}: online with its list and numbers`,
                  !tile.offline && tile.status === "в сети" && tile.name === s.key &&
                  tile.list === `Список: ${s.list}` &&
                  tile.numbers === `Цель ${s.target} · Упор ${s.position}` &&
                  tile.printer === "Принтер: выключен" &&
                  tile.today === `Деталей сегодня: ${ROWS}` && tile.chart.length === 8 &&
                  tile.chart.reduce((a, n) => a + n) === ROWS, tile);
        }
        // The viewport, then the size of every text that is smaller than 32 px.
        const small = await browser.run(`return [innerWidth, innerHeight,
            ...[...document.querySelectorAll('#tiles *')]
                .filter(e => [...e.childNodes].some(n => n.nodeType === 3 && n.textContent.trim()))
                .map(e => parseFloat(getComputedStyle(e).fontSize)).filter(px => px < 32)]`);
        check("every tile text at least 32 px at 1920x1080", small.join() === "1920,1080", small);
    }

    // Forgeries: the broker refuses them, and the tiles stay as they were.
    const forged = JSON.stringify({ id: "Пила 2/j/20991231T235959/1", piece: true });
    const said = [h.publishAs(broker, "Пила 1", "tandrel/Пила 2/piece", forged),
                  h.publishAs(broker, "Табло", "tandrel/Пила 1/status", null, true)];
    await h.sleep(1000);
    const unchanged = byName(await tiles());
    check("a station cannot write another's topics, nor a board clear a station",
          said.every((e) => e.includes("Not authorized")) &&
          unchanged[second.key]?.today === `Деталей сегодня: ${ROWS}` && unchanged[first.key],
          { said, tiles: unchanged });

    second.end();
    const after = await browser.waitFor("the ended station offline", async () => {
        const t = byName(await tiles());
        return t[second.key]?.offline ? t : null;
    }, 10000).catch(() => null);
    const b = after?.[second.key];
    const hhmm = (ms) => new Date(ms).toTimeString().slice(0, 5);
    const recent = (status) =>
        [Date.now(), Date.now() - 60000].some((t) => status === `не в сети с ${hhmm(t)}`);
    check("the ended station's tile offline, grey, with the time last seen",
          b && recent(b.status) &&
          b.colour === "rgb(138, 148, 158)" &&
          b.done === `${ROWS} из ${ROWS}`, b);
    check("the other station still online", after && !after[first.key].offline,
          after?.[first.key]);

    // Opened again from a link to another broker: the page stays with the one it keeps, and the
    // retained messages alone give both tiles back (the counts from the stations' own states).
    await browser.open(`${pathToFileURL(page)}?broker=${encodeURIComponent("ws://127.0.0.1:9/mqtt")}`);
    const again = await browser.waitFor("the board opened again", async () => {
        const t = byName(await tiles());
        const [a, b] = [t[first.key], t[second.key]];
        return a?.today === `Деталей сегодня: ${ROWS}` && b?.offline ? t : null;
    }, 10000).catch(() => null);
    check("opened again: the broker kept, the tiles back from the retained messages",
          again && again[first.key].done === `${ROWS} из ${ROWS}` && !again[first.key].offline &&
          recent(again[second.key].status), again);

    // A station's own trouble with the broker, in red on its tile.
    const time = new Date().toISOString();
    h.publishAs(broker, "Пила 3", "tandrel/Пила 3/status", "online", true);
    h.publishAs(broker, "Пила 3", "tandrel/Пила 3/state", JSON.stringify({
        station: "Пила 3", time, link: "up", printer: "ok", pieces_today: 0, pieces_hour: 0,
        feed: "брокер отклоняет: нет прав" }), true);
    // The status and the state come as two messages: the tile may show before its state has.
    const third = await browser.waitFor("the third station's tile with its state", async () => {
        const tile = byName(await tiles())["Пила 3"];
        return tile?.feed ? tile : null;
    }, 10000).catch(() => null);
    check("the state's feed field in red", third?.feed === "MQTT: брокер отклоняет: нет прав" &&
          third.feedColour === "rgb(255, 138, 128)", third);

    // A station taken out of the plant leaves every board.
    const removed = h.removeStation(broker, "Пила 3");
    const gone = await browser.waitFor("the removed station's tile gone", async () =>
        !byName(await tiles())["Пила 3"], 10000).catch(() => false);
    check("a removed station's tile gone", !removed && gone &&
          !readFileSync(broker.passwordsFile, "utf8").includes("Пила 3"), removed);

    mkdirSync(screens, { recursive: true });
    await browser.screenshot(path.join(screens, "board.png"));
    await browser.size(1280, 800);
    await h.sleep(300);
    const fit = await browser.run(`
        const t = document.querySelector('.tile').getBoundingClientRect();
        return {page: document.documentElement.scrollWidth, view: innerWidth, right: t.right}`);
    check("fits 1280x800 without sideways scrolling",
          fit.page <= fit.view && fit.right <= fit.view, fit);
    await browser.screenshot(path.join(screens, "board-1280.png"));
    await first.stop();
} finally {
    await browser.close();
    h.stopAll();
}
console.log(failures ? `${failures} failed` : "all passed");
process.exit(failures ? 1 : 0);
