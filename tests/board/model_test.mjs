// The board's counting: what a tile shows from a given run of broker messages.
import assert from "node:assert/strict";
import test from "node:test";
import { Plant } from "../../board/src/model.js";

const HOUR = 3600e3;
const now = new Date(2026, 11, 9, 14, 30).getTime();
const iso = (ms) => new Date(ms).toISOString();
const piece = (id, ms, isPiece = true) =>
    ["tandrel/A/piece", JSON.stringify({ id, time: iso(ms), piece: isPiece }), false];
const state = (ms, today, hour) =>
    ["tandrel/A/state", JSON.stringify({ station: "Пила А", time: iso(ms), pieces_today: today,
                                         pieces_hour: hour }), true];

test("pieces today and per hour", () => {
    const cases = [
        { what: "each piece once, copies after a crash dropped",
          msgs: [piece("A/j/2", now), piece("A/j/2", now), piece("A/j/3", now - HOUR)],
          today: 2, chart: [0, 0, 0, 0, 0, 0, 1, 1] },
        { what: "lines that are no piece (reprints, keypad moves) not counted",
          msgs: [piece("A/j/2", now, false), piece("A/j/3", now)],
          today: 1, chart: [0, 0, 0, 0, 0, 0, 0, 1] },
        { what: "the retained state covers what came before the board opened",
          msgs: [state(now, 40, 6), piece("A/j/9", now)],
          today: 40, chart: [0, 0, 0, 0, 0, 0, 0, 6] },
        { what: "yesterday's state counts nothing today",
          msgs: [state(now - 24 * HOUR, 40, 6)], today: 0, chart: [0, 0, 0, 0, 0, 0, 0, 0] },
        { what: "counted pieces ahead of a slower state win",
          msgs: [state(now, 1, 1), piece("A/j/2", now), piece("A/j/3", now)], today: 2,
          chart: [0, 0, 0, 0, 0, 0, 0, 2] },
        { what: "ids by moment: k as a number, a later month's file, a line sent again",
          msgs: [piece("A/journal-2026-12.csv/20261209T142000/9", now),
                 piece("A/journal-2026-12.csv/20261209T142000/10", now),
                 piece("A/journal-2026-12.csv/20261209T142000/9", now),
                 piece("A/journal-2026-12.csv/20261209T141500/1", now),
                 piece("A/journal-2027-01.csv/20270101T000000/1", now)],
          today: 3, chart: [0, 0, 0, 0, 0, 0, 0, 3] },
        { what: "a piece from before today and one past the chart",
          msgs: [piece("A/j/2", now - 15 * HOUR), piece("A/j/3", now - 9 * HOUR)], today: 1,
          chart: [0, 0, 0, 0, 0, 0, 0, 0] },
    ];
    for (const c of cases) {
        const plant = new Plant();
        for (const [topic, text, retained] of c.msgs) plant.apply(topic, text, retained, now);
        const a = plant.stations.get("A");
        assert.equal(a.piecesToday(now), c.today, c.what);
        assert.deepEqual(a.chart(now).map((b) => b.count), c.chart, c.what);
    }
});

test("status, last seen and what is not ours", () => {
    const plant = new Plant();
    const old = now - 3 * HOUR;
    for (const [topic, text] of [["other/A/state", "{}"], ["tandrel/A/b/state", "{}"],
                                 ["tandrel/A/state", "{not json"]]) {
        assert.equal(plant.apply(topic, text, false, now), null, topic + text);
    }
    assert.equal(plant.stations.size, 0);

    // A board opened after the station went down: offline, last seen when its state was sent.
    plant.apply("tandrel/A/status", "offline", true, now);
    plant.apply(...state(old, 3, 0), now);
    const a = plant.stations.get("A");
    assert.equal(a.online, false);
    assert.equal(a.lastSeen, old);
    assert.equal(a.name, "Пила А");

    plant.apply("tandrel/A/status", "online", true, now);
    plant.apply("tandrel/A/status", "offline", false, now + 5000);
    assert.equal(a.lastSeen, now + 5000);

    // A cleared retained status takes the station off the board.
    assert.deepEqual(plant.apply("tandrel/A/status", "", true, now), { key: "A", removed: true });
    assert.equal(plant.stations.size, 0);
});
