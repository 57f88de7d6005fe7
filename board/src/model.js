// What the board knows of each station, built from the broker's messages alone (no DOM here,
// so that node can test it).

const HOUR = 3600 * 1000;
export const CHART_HOURS = 8;

// tandrel/<station>/<kind> -> {station, kind}, or null for anything else on the broker.
export function parseTopic(topic) {
    const parts = topic.split("/");
    if (parts.length !== 3 || parts[0] !== "tandrel" || parts[1] === "") return null;
    if (!["status", "state", "piece"].includes(parts[2])) return null;
    return { station: parts[1], kind: parts[2] };
}

function startOfHour(ms) {
    const d = new Date(ms);
    d.setMinutes(0, 0, 0);
    return d.getTime();
}

function startOfDay(ms) {
    const d = new Date(ms);
    d.setHours(0, 0, 0, 0);
    return d.getTime();
}

function parseTime(text) {
    const ms = typeof text === "string" ? Date.parse(text) : NaN;
    return Number.isFinite(ms) ? ms : null;
}

// A piece id, "<station>/<journal file>/<yyyymmddThhmmss>/<k>", as what orders one station's
// pieces: [file, moment, k]. An older station's "<station>/<journal file>/<line>" orders by line.
export function idOrder(id) {
    const parts = id.split("/");
    const k = Number(parts.at(-1));
    if (parts.length >= 4 && /^\d{8}T\d{6}$/.test(parts.at(-2))) return [parts.at(-3), parts.at(-2), k];
    return [parts.at(-2) ?? "", "", k];
}

// >0 when a comes after b.
function compareOrder(a, b) {
    if (a[0] !== b[0]) return a[0] < b[0] ? -1 : 1;
    if (a[1] !== b[1]) return a[1] < b[1] ? -1 : 1;
    return a[2] - b[2];
}

export class Station {
    constructor(key) {
        this.key = key;
        this.online = null;  // null until the status is known
        this.state = null;
        this.lastSeen = null;  // ms
        this.lastPiece = null;  // the id of the last piece message
        this.day = null;  // start of the day the counts below belong to
        // The greatest piece counted: the feed sends a station's pieces in order, so a line
        // sent again (after a crash, a refusal) is never greater, and nothing grows with them.
        this.greatest = null;
        this.hours = new Map();  // start of hour -> pieces counted from piece messages
    }

    get name() {
        return (this.state && typeof this.state.station === "string" && this.state.station) ||
            this.key;
    }

    touch(ms) {
        if (this.lastSeen === null || ms > this.lastSeen) this.lastSeen = ms;
    }

    // Each returns true when the station's tile has to be drawn again.
    status(text, now) {
        if (text === "online") {
            this.online = true;
            this.touch(now);
        } else if (text === "offline") {
            if (this.online === true) this.touch(now);
            this.online = false;
        } else {
            return false;
        }
        return true;
    }

    applyState(payload, now, retained) {
        if (!payload || typeof payload !== "object" || Array.isArray(payload)) return false;
        this.state = payload;
        const time = parseTime(payload.time);
        // A retained state may be hours old: it tells when the station was last heard of.
        this.touch(retained ? (time ?? now) : now);
        return true;
    }

    applyPiece(payload, now) {
        if (!payload || typeof payload !== "object" || typeof payload.id !== "string") return false;
        this.touch(now);
        this.lastPiece = payload.id;
        if (payload.piece !== true) return true;
        const order = idOrder(payload.id);
        if (!Number.isFinite(order[2])) return true;
        if (this.greatest !== null && compareOrder(order, this.greatest) <= 0) return true;
        this.greatest = order;
        const time = parseTime(payload.time) ?? now;
        this.rollDay(now);
        if (time < this.day) return true;
        const hour = startOfHour(time);
        this.hours.set(hour, (this.hours.get(hour) ?? 0) + 1);
        return true;
    }

    rollDay(now) {
        const day = startOfDay(now);
        if (this.day === day) return;
        this.day = day;
        for (const hour of this.hours.keys()) {
            if (hour < day - CHART_HOURS * HOUR) this.hours.delete(hour);
        }
    }

    // The station's own counts (from its state) cover what the board did not see since it
    // opened; the pieces counted here cover what a slower state has not yet told.
    piecesToday(now) {
        this.rollDay(now);
        let counted = 0;
        for (const [hour, n] of this.hours) {
            if (hour >= this.day) counted += n;
        }
        const s = this.state;
        const stateTime = s ? parseTime(s.time) : null;
        const reported = stateTime !== null && stateTime >= this.day &&
            Number.isFinite(s.pieces_today) ? s.pieces_today : 0;
        return Math.max(counted, reported);
    }

    // Pieces per hour, oldest first, the current hour last.
    chart(now) {
        const current = startOfHour(now);
        const bars = [];
        for (let i = CHART_HOURS - 1; i >= 0; i--) {
            const hour = current - i * HOUR;
            bars.push({ hour, count: this.hours.get(hour) ?? 0 });
        }
        const s = this.state;
        const stateTime = s ? parseTime(s.time) : null;
        if (stateTime !== null && stateTime >= current && Number.isFinite(s.pieces_hour)) {
            const last = bars[bars.length - 1];
            last.count = Math.max(last.count, s.pieces_hour);
        }
        return bars;
    }
}

export class Plant {
    constructor() {
        this.stations = new Map();
    }

    // Applies one message; returns the station whose tile changed, or null.
    apply(topic, text, retained, now) {
        const where = parseTopic(topic);
        if (!where) return null;
        if (text === "") {
            // A cleared retained message: a station taken out of the plant.
            if (where.kind === "status" && this.stations.delete(where.station)) {
                return { key: where.station, removed: true };
            }
            return null;
        }
        let station = this.stations.get(where.station);
        const isNew = !station;
        if (isNew) station = new Station(where.station);
        let changed;
        if (where.kind === "status") {
            changed = station.status(text.trim(), now);
        } else {
            let payload;
            try {
                payload = JSON.parse(text);
            } catch {
                return null;  // a malformed message changes nothing
            }
            changed = where.kind === "state" ? station.applyState(payload, now, retained)
                                             : station.applyPiece(payload, now);
        }
        if (isNew) {
            if (!changed) return null;
            this.stations.set(where.station, station);
        }
        return changed ? station : null;
    }
}
