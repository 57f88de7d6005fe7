// The board in headless chromium against a real mosquitto: two stations work their lists, one
// then ends without a goodbye and its tile turns offline.
//   node board_browser_test.mjs BOARD_DIR SCREENS_DIR
// Exits 77 (skipped) when the page is not built or chromium, chromedriver or mosquitto is missing.
import { execFileSync } from "node:child_process";
import { existsSync, mkdirSync } from "node:fs";
import path from "node:path";
import { pathToFileURL } from "node:url";
import * as h from "./harness.mjs";

const [boardDir, screens] = process.argv.slice(2).map((p) => path.resolve(p));
const page = path.join(boardDir, "board.html");
const has = (tool) => {
    try {
        execFileSync("sh", ["-c", `command -v ${tool}`], { stdio: "ignore" });
        return true;
    } catch {
        return false;
    }
};
for (const [what, ok] of [[page, existsSync(page)], ["chromium", has("chromium")],
                          ["chromedriver", has("chromedriver")], ["mosquitto", has("mosquitto")]]) {
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

const ROWS = 5;
const dir = h.tempDir();
const broker = await h.startBroker(dir);

// One station working a list of ROWS rows; returns how to end it (`end`: gone without a goodbye,
// as at a power loss; `stop`: closed) and what its tile must show once the list is done. A real
// program on a simulator fits here as well: started with the broker's address and the name.
function startStation(name, list, extra = []) {
    const args = ["--name", name, "--list", list, "--rows", String(ROWS), "--interval", "200"];
    const station = h.startStations(boardDir, broker, [...args, ...extra]);
    const last = 500 + ((ROWS * 317 + 131) % 2500) + (ROWS % 2 ? 0.5 : 0);  // the tool's last size
    return { ...station, name, list, target: String(last).replace(".", ",") };
}

const browser = await h.startBrowser(1920, 1080);
try {
    await browser.open(`${pathToFileURL(page)}?broker=${encodeURIComponent(broker.wsUrl)}`);
    // The second station sends every piece twice, as after a crash: the copies count once.
    const first = startStation("Пила 1", "Заказ 1502");
    const second = startStation("Пила 2/торцовка", "Заказ 77", ["--duplicate"]);
    const topicName = (name) => name.replace(/[/+#]/g, "_");
    const tiles = () => browser.run("return window.tandrelBoard.tiles()");
    const byName = (list) => Object.fromEntries(list.map((t) => [t.name, t]));

    const done = await browser.waitFor("both lists worked", async () => {
        const t = byName(await tiles());
        const a = t["Пила 1"], b = t["Пила 2/торцовка"];
        return a && b && a.done === `${ROWS} из ${ROWS}` && b.done === `${ROWS} из ${ROWS}` &&
            a.today.endsWith(` ${ROWS}`) && b.today.endsWith(` ${ROWS}`) ? t : null;
    }, 20000).catch(async (e) => {
        check("both lists worked", false, { error: e.message, tiles: await tiles() });
        return null;
    });
    if (done) {
        for (const s of [first, second]) {
            const tile = done[s.name];
            check(`${tile.name}: online with its list and numbers`,
                  !tile.offline && tile.status === "в сети" && tile.station === topicName(s.name) &&
                  tile.list === `Список: ${s.list}` &&
                  tile.numbers === `Цель ${s.target} · Упор ${s.target}` &&
                  tile.link === "Связь с упором: есть" && tile.printer === "Принтер: готов" &&
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

    second.end();
    const after = await browser.waitFor("the ended station offline", async () => {
        const t = byName(await tiles());
        return t["Пила 2/торцовка"]?.offline ? t : null;
    }, 10000).catch(() => null);
    const b = after?.["Пила 2/торцовка"];
    const hhmm = (ms) => new Date(ms).toTimeString().slice(0, 5);
    const recent = (status) =>
        [Date.now(), Date.now() - 60000].some((t) => status === `не в сети с ${hhmm(t)}`);
    check("the ended station's tile offline, grey, with the time last seen",
          b && recent(b.status) &&
          b.colour === "rgb(138, 148, 158)" &&
          b.done === `${ROWS} из ${ROWS}`, b);
    check("the other station still online", after && !after["Пила 1"].offline, after?.["Пила 1"]);

    // Opened again without the address: the page keeps it, and the retained messages alone give
    // both tiles back (the counts from the stations' own states).
    await browser.open(pathToFileURL(page).href);
    const again = await browser.waitFor("the board opened again", async () => {
        const t = byName(await tiles());
        const [a, b] = [t["Пила 1"], t["Пила 2/торцовка"]];
        return a?.today === `Деталей сегодня: ${ROWS}` && b?.offline ? t : null;
    }, 10000).catch(() => null);
    check("opened again: the broker kept, the tiles back from the retained messages",
          again && again["Пила 1"].done === `${ROWS} из ${ROWS}` && !again["Пила 1"].offline &&
          recent(again["Пила 2/торцовка"].status), again);

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
