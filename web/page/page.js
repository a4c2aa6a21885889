// The station's page: a map of every sonde's track, last position and predicted landing, a
// table of the sondes, the band's spectrum, the radio's and outputs' state and the log, kept
// current by the server's events (/events). It only reads: nothing here changes the station.
"use strict";

const colours = ["#1f77b4", "#d62728", "#2ca02c", "#9467bd", "#ff7f0e", "#17becf", "#8c564b", "#e377c2"];
const state = { sondes: {}, status: null, spectrum: null, tracks: {}, paths: {}, layers: {}, map: null,
                colourOf: {}, fitted: false };

function text(v, unit, digits) {
  if (v === null || v === undefined || Number.isNaN(v)) return "–";
  return (digits === undefined ? v : Number(v).toFixed(digits)) + (unit || "");
}

function colour(serial) {
  if (!(serial in state.colourOf)) state.colourOf[serial] = colours[Object.keys(state.colourOf).length % colours.length];
  return state.colourOf[serial];
}

function initMap(tiles) {
  if (typeof L === "undefined") { document.getElementById("map-missing").hidden = false; return; }
  state.map = L.map("map", { zoomControl: true }).setView([0, 0], 2);
  L.tileLayer(tiles.url, { maxZoom: 19, attribution: tiles.attribution }).addTo(state.map);
}

function layersOf(serial) {
  if (!state.map) return null;
  if (!state.layers[serial]) {
    const c = colour(serial);
    state.layers[serial] = {
      track: L.polyline([], { color: c, weight: 3 }).addTo(state.map),
      path: L.polyline([], { color: c, weight: 2, dashArray: "6 6" }).addTo(state.map),
      here: L.circleMarker([0, 0], { radius: 7, color: c, fillOpacity: 0.9 }).bindTooltip(serial),
      landing: L.circleMarker([0, 0], { radius: 6, color: c, fillColor: "#fff", fillOpacity: 1 })
        .bindTooltip(serial + " landing"),
    };
  }
  return state.layers[serial];
}

function drawSonde(serial) {
  const l = layersOf(serial);
  const s = state.sondes[serial];
  if (!l || !s) return;
  l.track.setLatLngs(state.tracks[serial] || []);
  if (s.lat !== null) l.here.setLatLng([s.lat, s.lon]).addTo(state.map);
  l.path.setLatLngs(state.paths[serial] || []);
  if (s.pred_lat !== null && s.pred_lat !== undefined) l.landing.setLatLng([s.pred_lat, s.pred_lon]).addTo(state.map);
  if (!state.fitted && s.lat !== null) { state.map.setView([s.lat, s.lon], 10); state.fitted = true; }
}

function drawTable() {
  const body = document.querySelector("#sondes tbody");
  const rows = Object.values(state.sondes).sort((a, b) => a.serial.localeCompare(b.serial));
  body.textContent = "";
  if (rows.length === 0) {
    body.innerHTML = '<tr class="empty"><td colspan="12">No sonde heard yet.</td></tr>';
    return;
  }
  for (const s of rows) {
    const tr = document.createElement("tr");
    if (s.age_s > 60) tr.className = "stale";
    const frequency = s.frequency_mhz !== undefined ? text(s.frequency_mhz, " MHz", 3)
                    : s.offset_hz !== undefined ? text(s.offset_hz / 1000, " kHz", 1) : "–";
    const cells = [
      s.serial, frequency, text(s.age_s, " s"),
      s.lat === null ? "–" : text(s.lat, "", 5) + ", " + text(s.lon, "", 5),
      text(s.alt, " m", 0), text(s.ascent_mps, " m/s", 1), text(s.speed_kmh, " km/h", 0),
      text(s.azimuth, "°", 0) + " / " + text(s.elevation, "°", 1) + " / " + text(s.range_km, " km", 1),
      text(s.ebn0_db, " dB", 1), s.decoded_share === null ? "–" : text(100 * s.decoded_share, " %", 0), s.phase,
      s.pred_lat === null ? "–" : text(s.pred_lat, "", 4) + ", " + text(s.pred_lon, "", 4) +
        (s.pred_time ? " at " + s.pred_time.substr(11, 5) : ""),
    ];
    for (const c of cells) {
      const td = document.createElement("td");
      td.textContent = c;
      tr.appendChild(td);
    }
    tr.firstChild.style.color = colour(s.serial);
    body.appendChild(tr);
  }
}

function drawStatus() {
  const st = state.status;
  if (!st) return;
  const device = document.getElementById("device");
  device.textContent = "radio: " + st.device.state + (st.device.lost ? ", " + st.device.lost + " samples lost" : "");
  device.className = "badge " + (st.device.state === "running" || st.device.state === "file" ? "good" : "bad");
  const list = document.getElementById("status");
  list.textContent = "";
  const items = [[st.device.name + ": " + st.device.state + (st.device.problem ? " (" + st.device.problem + ")" : "") +
                  ", " + st.device.reconnects + " reconnects", st.device.problem !== ""]];
  for (const o of st.outputs) items.push([o.name + ": " + o.state, o.problem]);
  items.push([st.counters.sondes + " sondes, " + st.counters.fixes + " fixes, up " + st.counters.uptime_s + " s", false]);
  for (const [t, problem] of items) {
    const li = document.createElement("li");
    li.textContent = t;
    if (problem) li.className = "problem";
    list.appendChild(li);
  }
  const b = st.band;
  if (b.low_hz) document.getElementById("band").textContent =
    (b.low_hz / 1e6).toFixed(3) + " – " + (b.high_hz / 1e6).toFixed(3) + " MHz, radio at " + (b.tuned_hz / 1e6).toFixed(3) + " MHz";
}

function drawSpectrum() {
  const sp = state.spectrum;
  const canvas = document.getElementById("spectrum");
  if (canvas.clientWidth > 0 && canvas.width !== canvas.clientWidth) canvas.width = canvas.clientWidth;
  const g = canvas.getContext("2d");
  const w = canvas.width, h = canvas.height;
  g.fillStyle = "#0f1a26";
  g.fillRect(0, 0, w, h);
  if (!sp || sp.power_db.length === 0) return;
  // The band the station covers, with the radio's window on it.
  const low = sp.band_low_hz || sp.centre_hz - sp.span_hz / 2, high = sp.band_high_hz || sp.centre_hz + sp.span_hz / 2;
  const x = f => (f - low) / (high - low) * w;
  const winLow = sp.centre_hz - sp.span_hz / 2, winHigh = sp.centre_hz + sp.span_hz / 2;
  g.fillStyle = "#18293b";
  g.fillRect(x(winLow), 0, x(winHigh) - x(winLow), h);
  const lo = Math.min(...sp.floor_db) - 5, hi = Math.max(...sp.power_db) + 5;
  const y = v => h - (v - lo) / (hi - lo) * h;
  g.strokeStyle = "#4fc3f7";
  g.beginPath();
  sp.power_db.forEach((v, i) => {
    const f = winLow + (i + 0.5) / sp.power_db.length * sp.span_hz;
    if (i === 0) g.moveTo(x(f), y(v)); else g.lineTo(x(f), y(v));
  });
  g.stroke();
  g.font = "11px sans-serif";
  // A tick and its frequency every MHz (every 100 kHz on a narrow band).
  const step = high - low > 2e6 ? 1e6 : 1e5;
  g.fillStyle = "#7b8da0";
  for (let f = Math.ceil(low / step) * step; f <= high; f += step) {
    g.fillRect(x(f), h - 6, 1, 6);
    g.fillText((f / 1e6).toFixed(step >= 1e6 ? 0 : 1), x(f) + 2, h - 8);
  }
  for (const c of sp.channels) {
    const f = c.frequency_mhz !== undefined ? c.frequency_mhz * 1e6 : sp.centre_hz + c.offset_hz;
    g.fillStyle = "rgba(255, 200, 60, 0.35)";
    g.fillRect(x(f - c.deviation_hz - 9600), 0, Math.max(2, x(f + c.deviation_hz + 9600) - x(f - c.deviation_hz - 9600)), h);
    g.fillStyle = "#ffd54f";
    g.fillText("ch " + c.channel, x(f) + 3, 12);
  }
}

function addLog(line) {
  const log = document.getElementById("log");
  log.textContent += line + "\n";
  const lines = log.textContent.split("\n");
  if (lines.length > 201) log.textContent = lines.slice(lines.length - 201).join("\n");
  log.scrollTop = log.scrollHeight;
}

function snapshot(s) {
  window.nimbraSnapshotAt = window.nimbraSnapshotAt || Date.now();
  if (!state.map) initMap(s.tiles);
  state.sondes = {};
  for (const x of s.sondes) state.sondes[x.serial] = x;
  state.tracks = s.tracks;
  state.paths = s.pred_paths || {};
  state.status = s.status;
  document.getElementById("log").textContent = "";
  for (const line of s.log) addLog(line);
  for (const serial in state.sondes) drawSonde(serial);
  drawTable();
  drawStatus();
}

function fix(f) {
  const s = state.sondes[f.serial] || (state.sondes[f.serial] = { serial: f.serial });
  Object.assign(s, { lat: f.lat, lon: f.lon, alt: f.alt, time: f.time, age_s: 0 });
  if (f.pred_lat !== undefined) Object.assign(s, { pred_lat: f.pred_lat, pred_lon: f.pred_lon });
  if (f.trusted) (state.tracks[f.serial] || (state.tracks[f.serial] = [])).push([f.lat, f.lon]);
  if (f.pred_path) state.paths[f.serial] = f.pred_path;
  drawSonde(f.serial);
  drawTable();
  // When each fix reached the page, for the page's own tests.
  (window.nimbraFixes = window.nimbraFixes || []).push({ serial: f.serial, time: f.time, at: Date.now() });
}

function connect() {
  const source = new EventSource("/events");
  const badge = document.getElementById("connection");
  source.onopen = () => { badge.textContent = "live"; badge.className = "badge good"; };
  source.onerror = () => { badge.textContent = "reconnecting"; badge.className = "badge bad"; };
  source.addEventListener("snapshot", e => snapshot(JSON.parse(e.data)));
  source.addEventListener("fix", e => fix(JSON.parse(e.data)));
  source.addEventListener("sondes", e => {
    const list = JSON.parse(e.data);
    for (const x of list) state.sondes[x.serial] = Object.assign(state.sondes[x.serial] || {}, x);
    drawTable();
  });
  source.addEventListener("status", e => { state.status = JSON.parse(e.data); drawStatus(); });
  source.addEventListener("spectrum", e => { state.spectrum = JSON.parse(e.data); drawSpectrum(); });
  source.addEventListener("log", e => addLog(JSON.parse(e.data)));
}

connect();
