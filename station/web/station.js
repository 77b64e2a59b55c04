// The station page: one panel per meter, fed by the station's own API only. A value the API
// did not give is shown as "—", never guessed or kept from a meter that went down.
"use strict";

const DASH = "\u2014";
const HOUR = 3600;
const HOLD_MS = 500;
const panels = new Map();

function api(path, init) { return fetch("/api/v1/" + path, init); }
function meterPath(name) { return "meters/" + encodeURIComponent(name); }
function seconds(iso) { return Date.parse(iso) / 1000; }
// The API takes whole seconds with their zone: "2026-12-09T06:00:00Z", no fraction.
function isoSeconds(ms) { return new Date(ms).toISOString().replace(/\.\d+Z$/, "Z"); }
function width(el) { return Math.max(200, el.clientWidth || 300); }

function setValues(panel, values) {
    for (const dd of panel.el.querySelectorAll("dd[data-key]")) {
        const v = values ? values[dd.dataset.key] : undefined;
        dd.textContent = typeof v === "number" ? v.toFixed(dd.dataset.key === "rf_peak_dbm" ? 0 : 2) : DASH;
    }
}

function setUp(panel, up) {
    panel.up = up;
    const state = panel.el.querySelector(".state");
    state.textContent = up ? "up" : "down";
    state.className = "state " + (up ? "up" : "down");
    if (!up) { panel.reading = null; panel.rf = null; setValues(panel, null); }
}

function showReading(panel) {
    const values = panel.reading ? Object.assign({}, panel.reading) : null;
    if (values && panel.rf !== null) values.rf_peak_dbm = panel.rf;
    setValues(panel, values);
    if (panel.reading) panel.el.querySelector(".time").textContent = panel.reading.time;
}

function makeTrend(panel) {
    const el = panel.el.querySelector(".trend");
    const series = [{}, ["X", "#c33"], ["Y", "#3a3"], ["Z", "#33c"], ["EMF", "#222"]]
        .map((s, i) => i ? { label: s[0], stroke: s[1], spanGaps: false } : {});
    panel.trendData = [[], [], [], [], []];
    panel.trend = new uPlot({ width: width(el), height: 180, series, axes: [{}, { label: "mG" }] },
                            panel.trendData, el);
}

function addRow(panel, row) {
    const t = seconds(row.time), d = panel.trendData;
    const last = d[0].length ? d[0][d[0].length - 1] : -Infinity;
    if (t <= last) return;
    if (t - last > 1.5 && d[0].length) { d[0].push(last + 1); for (let i = 1; i < 5; i++) d[i].push(null); }
    d[0].push(t); d[1].push(row.x_mg); d[2].push(row.y_mg); d[3].push(row.z_mg); d[4].push(row.emf_mg);
    while (d[0].length && d[0][0] < t - HOUR) for (const s of d) s.shift();
}

function makeSpectrum(panel) {
    const el = panel.el.querySelector(".spectrum");
    panel.spectrum = new uPlot({
        width: width(el), height: 160, scales: { x: { time: false } },
        series: [{ label: "MHz" }, { label: "dBm", stroke: "#a50" }], axes: [{}, { label: "dBm" }],
    }, [[], []], el);
}

function showSpectrum(panel, s) {
    const mhz = s.dbm.map((_, i) => (s.start_hz + i * s.spacing_hz) / 1e6);
    panel.spectrum.setData([mhz, s.dbm]);
    panel.rf = Math.max(...s.dbm);
    showReading(panel);
    const canvas = panel.el.querySelector(".waterfall"), g = canvas.getContext("2d");
    g.drawImage(canvas, 0, 1);  // older sweeps move down a row
    const line = g.createImageData(canvas.width, 1);
    s.dbm.forEach((dbm, i) => {
        const level = Math.min(1, Math.max(0, (dbm + 110) / 90));
        line.data.set([255 * level, 255 * level * level, 255 * (1 - level), 255], i * 4);
    });
    g.putImageData(line, 0, 0);
}

async function loadReading(panel) {
    const r = await api(meterPath(panel.name) + "/reading");
    panel.reading = r.ok ? await r.json() : null;
    if (panel.reading) addRow(panel, panel.reading);
    panel.trend.setData(panel.trendData);
    showReading(panel);
}

async function loadSpectrum(panel) {
    const r = await api(meterPath(panel.name) + "/spectrum");
    if (r.ok) showSpectrum(panel, await r.json());
}

async function loadHistory(panel) {
    const since = isoSeconds(Date.now() - HOUR * 1000);
    const r = await api(meterPath(panel.name) + "/readings?since=" + encodeURIComponent(since));
    if (!r.ok) return;
    for (const row of (await r.json()).rows) addRow(panel, row);
    panel.trend.setData(panel.trendData);
}

function press(panel, key, hold) {
    const path = meterPath(panel.name) + "/keys/" + key + (hold ? "/hold" : "");
    api(path, { method: "POST" }).then(r => {
        if (!r.ok) document.getElementById("status").textContent = "key refused (" + r.status + ")";
    });
}

function wireKeys(panel) {
    for (const b of panel.el.querySelectorAll(".keys button")) {
        let timer = null, held = false;
        const key = b.dataset.key;
        b.addEventListener("pointerdown", () => {
            held = false;
            if (key !== "back") timer = setTimeout(() => { held = true; press(panel, key, true); }, HOLD_MS);
        });
        b.addEventListener("pointerup", () => clearTimeout(timer));
        b.addEventListener("pointerleave", () => clearTimeout(timer));
        b.addEventListener("click", () => { if (!held) press(panel, key, false); held = false; });
    }
}

// The display is fetched afresh each second while the meter is up; a picture that fails, or a
// meter gone down, leaves the old one dimmed.
function refreshScreen(panel) {
    const img = panel.el.querySelector(".screen img");
    if (!panel.up) { img.style.opacity = 0.3; return; }
    const next = new Image();
    next.onload = () => { img.src = next.src; img.style.opacity = 1; };
    next.onerror = () => { img.style.opacity = 0.3; };
    next.src = "/api/v1/" + meterPath(panel.name) + "/screen.png?t=" + Date.now();
}

function addPanel(meter) {
    const el = document.getElementById("panel").content.firstElementChild.cloneNode(true);
    el.dataset.meter = meter.name;
    el.querySelector(".name").textContent = meter.name;
    el.querySelector(".model").textContent = meter.model ? meter.model + " " + meter.firmware : "";
    document.getElementById("meters").append(el);
    const panel = { name: meter.name, el, reading: null, rf: null, up: false };
    panels.set(meter.name, panel);
    makeTrend(panel); makeSpectrum(panel); wireKeys(panel); setUp(panel, meter.up);
    if (meter.last_reading_time) el.querySelector(".time").textContent = meter.last_reading_time;
    loadHistory(panel).then(() => loadReading(panel));
    if (meter.has_spectrum) loadSpectrum(panel);
    setInterval(() => refreshScreen(panel), 1000);
    refreshScreen(panel);
}

function listen() {
    const events = new EventSource("/api/v1/events");
    const on = (kind, act) => events.addEventListener(kind, e => {
        const panel = panels.get(JSON.parse(e.data).meter);
        if (panel) act(panel);
    });
    on("reading", loadReading);
    on("spectrum", loadSpectrum);
    on("up", panel => { setUp(panel, true); loadReading(panel); });
    on("down", panel => setUp(panel, false));
    events.onopen = () => { document.getElementById("status").textContent = "live"; };
    events.onerror = () => { document.getElementById("status").textContent = "reconnecting…"; };
}

async function start() {
    const r = await api("meters");
    for (const meter of await r.json()) addPanel(meter);
    listen();
    window.addEventListener("resize", () => {
        for (const p of panels.values()) {
            p.trend.setSize({ width: width(p.el.querySelector(".trend")), height: 180 });
            p.spectrum.setSize({ width: width(p.el.querySelector(".spectrum")), height: 160 });
        }
    });
}

start().catch(e => { document.getElementById("status").textContent = "station unreachable: " + e; });
