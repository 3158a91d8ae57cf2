// Skyvarn's app for the telescope: every control through the Alpaca Device API, polled live.
"use strict";

const POLL_MS = 1000;
const clientId = Number(sessionStorage.getItem("skyvarn-client")) ||
    1 + Math.floor(Math.random() * 65000);
sessionStorage.setItem("skyvarn-client", String(clientId));
let transaction = 0;

class AlpacaError extends Error {}

function url(type, number, member) {
  return "/api/v1/" + type + "/" + number + "/" + member;
}

function fields(extra) {
  const form = new URLSearchParams(extra);
  form.set("ClientID", String(clientId));
  form.set("ClientTransactionID", String(++transaction));
  return form;
}

async function answer(response) {
  if (!response.ok) throw new AlpacaError((await response.text()) || response.statusText);
  const json = await response.json();
  if (json.ErrorNumber) throw new AlpacaError(json.ErrorMessage || "Error " + json.ErrorNumber);
  return json.Value;
}

async function get(type, number, member, extra) {
  return answer(await fetch(url(type, number, member) + "?" + fields(extra), {cache: "no-store"}));
}

async function put(type, number, member, extra) {
  return answer(await fetch(url(type, number, member), {
    method: "PUT",
    headers: {"Content-Type": "application/x-www-form-urlencoded"},
    body: fields(extra).toString(),
  }));
}

function text(element, value) {
  if (element.textContent !== value) element.textContent = value;
}

function degrees(value) {
  return typeof value === "number" ? value.toFixed(1) + " °C" : "-";
}

// Lost and found: a device that stops answering as connected is shown as lost until it is back.
function showPresence(card, connected, name) {
  const state = card.querySelector("h2 .state");
  const wasLost = card.classList.contains("lost");
  card.classList.toggle("lost", !connected);
  if (name) text(card.querySelector("h2 .name"), name);
  if (!connected) text(state, card.dataset.seen ? "lost" : "not connected");
  else text(state, wasLost && card.dataset.seen ? "found" : "connected");
  if (connected) card.dataset.seen = "1";
}

function say(card, message) {
  text(card.querySelector(".message"), message || "");
}

// ---- Focusers ----

const focusers = [0, 1].map((number) => {
  const card = document.getElementById("focuser" + number);
  card.append(document.getElementById("focuser-card").content.cloneNode(true));
  const state = {number, card, steps: Number(localStorage.getItem("skyvarn-steps" + number)) || 10,
                 position: null, moving: false, moveAsked: false, tempComp: false, name: null};
  const showSteps = () => {
    for (const button of card.querySelectorAll(".steps button"))
      button.setAttribute("aria-checked", String(Number(button.dataset.steps) === state.steps));
  };
  for (const button of card.querySelectorAll(".steps button"))
    button.addEventListener("click", () => {
      state.steps = Number(button.dataset.steps);
      localStorage.setItem("skyvarn-steps" + number, String(state.steps));
      showSteps();
    });
  showSteps();
  const move = async (target) => {
    say(card, "");
    try {
      await put("focuser", number, "move", {Position: String(target)});
      state.moveAsked = true;
      text(card.querySelector(".moving"), "running");
      poll();
    } catch (e) {
      say(card, e.message);
    }
  };
  card.querySelector(".in").addEventListener("click", () => {
    if (state.position !== null) move(Math.max(0, state.position - state.steps));
  });
  card.querySelector(".out").addEventListener("click", () => {
    if (state.position !== null) move(state.position + state.steps);
  });
  card.querySelector(".goto").addEventListener("submit", (event) => {
    event.preventDefault();
    const value = card.querySelector(".target").value.trim();
    if (!/^\d+$/.test(value)) return say(card, "A position is a whole number from 0 up");
    move(Number(value));
  });
  card.querySelector(".tempcomp").addEventListener("click", async () => {
    say(card, "");
    try {
      await put("focuser", number, "tempcomp", {TempComp: String(!state.tempComp)});
      poll();
    } catch (e) {
      say(card, e.message);
    }
  });
  return state;
});

async function pollFocuser(state) {
  const {number, card} = state;
  if (!state.name) state.name = await get("focuser", number, "name");
  const connected = await get("focuser", number, "connected");
  showPresence(card, connected, state.name);
  for (const control of card.querySelectorAll("button, input")) control.disabled = !connected;
  if (!connected) return;
  const [position, temperature, moving, tempComp] = await Promise.all([
    get("focuser", number, "position").catch(() => null),
    get("focuser", number, "temperature").catch(() => null),
    get("focuser", number, "ismoving"),
    get("focuser", number, "tempcomp"),
  ]);
  state.position = position;
  text(card.querySelector(".position"), position === null ? "-" : String(position));
  text(card.querySelector(".temperature"), degrees(temperature));
  if (moving) text(card.querySelector(".moving"), "running");
  else if (state.moveAsked || state.moving) text(card.querySelector(".moving"), "ended");
  else text(card.querySelector(".moving"), "stopped");
  state.moveAsked = state.moveAsked && moving;
  state.moving = moving;
  state.tempComp = tempComp;
  const compensation = card.querySelector(".tempcomp");
  compensation.setAttribute("aria-pressed", String(tempComp));
  text(compensation, "Temperature compensation " + (tempComp ? "on" : "off"));
  // The compensation moves the focuser itself: the server refuses moves meanwhile.
  for (const control of card.querySelectorAll(".in, .out, .goto button")) control.disabled = tempComp;
}

// ---- Dew controller ----

const dew = document.getElementById("dew");
const outputs = [0, 1, 2].map((id) => {
  const row = document.createElement("div");
  row.className = "output";
  row.innerHTML = '<label for="output' + id + '">Output ' + (id + 1) + "</label>" +
      '<input type="range" id="output' + id + '" min="0" max="100" step="10" value="0">' +
      '<span class="value">-</span>';
  document.getElementById("outputs").append(row);
  const slider = row.querySelector("input");
  const state = {id, slider, value: row.querySelector(".value"), touched: false};
  slider.addEventListener("input", () => {
    state.touched = true;
    text(state.value, slider.value + " %");
  });
  slider.addEventListener("change", async () => {
    say(dew, "");
    try {
      await put("switch", 0, "setswitchvalue", {Id: String(id), Value: slider.value});
    } catch (e) {
      say(dew, e.message);
    }
    state.touched = false;
    poll();
  });
  return state;
});

for (const id of [3, 4]) {
  const button = document.getElementById("switch" + id);
  button.addEventListener("click", async () => {
    say(dew, "");
    try {
      const on = button.getAttribute("aria-pressed") === "true";
      await put("switch", 0, "setswitch", {Id: String(id), State: String(!on)});
      poll();
    } catch (e) {
      say(dew, e.message);
    }
  });
}

async function pollDew() {
  const [sensors, switches] = await Promise.all([
    get("observingconditions", 0, "connected"), get("switch", 0, "connected")]);
  const connected = sensors && switches;
  showPresence(dew, connected, "Brisella");
  for (const control of dew.querySelectorAll("button, input")) control.disabled = !connected;
  if (!connected) return;
  const reading = (member) => get("observingconditions", 0, member).catch(() => null);
  const value = (id) => get("switch", 0, "getswitchvalue", {Id: String(id)});
  const writable = (id) => get("switch", 0, "canwrite", {Id: String(id)});
  // The heater probes are not in the interface: the device's own Action gives them.
  const probes = put("observingconditions", 0, "action", {Action: "Probes", Parameters: ""})
      .then(JSON.parse).catch(() => ({}));
  const [probe, ambient, humidity, dewpoint, ...switchStates] = await Promise.all([
    probes, reading("temperature"), reading("humidity"), reading("dewpoint"),
    value(0), value(1), value(2), value(3), value(4), writable(0), writable(1), writable(2)]);
  text(document.getElementById("ambient"), degrees(ambient));
  text(document.getElementById("humidity"),
       typeof humidity === "number" ? humidity.toFixed(0) + " %" : "-");
  text(document.getElementById("dewpoint"), degrees(dewpoint));
  text(document.getElementById("probe1"), degrees(probe.Probe1));
  text(document.getElementById("probe2"), degrees(probe.Probe2));
  text(document.getElementById("margin"),
       typeof ambient === "number" && typeof dewpoint === "number"
           ? (ambient - dewpoint).toFixed(1) + " °C" : "-");
  for (const output of outputs) {
    const canWrite = switchStates[5 + output.id];
    // Off while the automatic mode owns the output.
    output.slider.disabled = !canWrite;
    if (!output.touched) {
      output.slider.value = String(switchStates[output.id]);
      text(output.value, switchStates[output.id] + " %" + (canWrite ? "" : " auto"));
    }
  }
  for (const id of [3, 4])
    document.getElementById("switch" + id).setAttribute("aria-pressed", String(switchStates[id] > 0));
}

// ---- The night's temperatures ----

const HISTORY_MS = 30000;
const DAY_COLOURS = ["#6aa9ff", "#7bd88f", "#4fd1c5", "#b9f27c", "#ff8a80", "#e8ecf2"];
// Green and blue at most a third of red, as everything at night.
const NIGHT_COLOURS = ["#ff0000", "#b00000", "#ff5000", "#800000", "#ff2a2a", "#d02000"];
const canvas = document.getElementById("history");
let history = [];

// Minutes of the day, made to grow through midnight.
function unwrap(points) {
  let day = 0;
  let last = -1;
  return points.map(([minutes, value]) => {
    if (last >= 0 && minutes + 720 < last) day += 1440;
    last = minutes;
    return [minutes + day, value];
  });
}

function label(minutes) {
  const m = Math.round(minutes) % 1440;
  return String(Math.floor(m / 60)).padStart(2, "0") + ":" + String(m % 60).padStart(2, "0");
}

function colours() {
  return document.documentElement.classList.contains("night") ? NIGHT_COLOURS : DAY_COLOURS;
}

// Scaled to the values: a winter night below -10 °C stays on the chart.
function scales() {
  const all = history.flatMap((s) => s.points);
  if (!all.length) return null;
  let [t0, t1, v0, v1] = [Infinity, -Infinity, Infinity, -Infinity];
  for (const [t, v] of all) {
    t0 = Math.min(t0, t); t1 = Math.max(t1, t); v0 = Math.min(v0, v); v1 = Math.max(v1, v);
  }
  v0 = Math.floor(v0 - 1); v1 = Math.ceil(v1 + 1);
  const width = canvas.clientWidth;
  const height = canvas.clientHeight;
  const left = 36;
  const bottom = height - 18;
  return {t0, t1, v0, v1, width, height, left, bottom,
          x: (t) => left + (t1 > t0 ? (t - t0) / (t1 - t0) : 0.5) * (width - left - 6),
          y: (v) => 6 + (v1 - v) / (v1 - v0) * (bottom - 6)};
}

function drawHistory() {
  const ratio = window.devicePixelRatio || 1;
  canvas.width = Math.round(canvas.clientWidth * ratio);
  canvas.height = Math.round(canvas.clientHeight * ratio);
  const g = canvas.getContext("2d");
  g.setTransform(ratio, 0, 0, ratio, 0, 0);
  g.clearRect(0, 0, canvas.clientWidth, canvas.clientHeight);
  const s = scales();
  const style = getComputedStyle(document.documentElement);
  g.fillStyle = style.getPropertyValue("--dim");
  g.strokeStyle = style.getPropertyValue("--line");
  g.font = "12px system-ui, sans-serif";
  if (!s) {
    g.fillText("No readings yet", 8, 20);
    return;
  }
  const step = Math.max(1, Math.ceil((s.v1 - s.v0) / 5));
  for (let v = Math.ceil(s.v0); v <= s.v1; v += step) {
    g.beginPath(); g.moveTo(s.left, s.y(v)); g.lineTo(s.width, s.y(v)); g.stroke();
    g.fillText(v + "°", 2, s.y(v) + 4);
  }
  g.fillText(label(s.t0), s.left, s.height - 4);
  g.fillText(label(s.t1), s.width - 40, s.height - 4);
  history.forEach((series, i) => {
    g.strokeStyle = colours()[i % 6];
    g.lineWidth = 2;
    g.beginPath();
    series.points.forEach(([t, v], k) => (k ? g.lineTo(s.x(t), s.y(v)) : g.moveTo(s.x(t), s.y(v))));
    g.stroke();
  });
  g.lineWidth = 1;
  const legend = document.getElementById("legend");
  legend.replaceChildren(...history.map((series, i) => {
    const item = document.createElement("span");
    item.textContent = "\u25A0 " + series.name;
    item.style.color = colours()[i % 6];
    return item;
  }));
}

// A touch reads the nearest point of each series at that time.
function readPoint(event) {
  const s = scales();
  if (!s) return;
  const box = canvas.getBoundingClientRect();
  const t = s.t0 + (event.clientX - box.left - s.left) / (s.width - s.left - 6) * (s.t1 - s.t0);
  const parts = history.map((series) => {
    let best = null;
    for (const p of series.points)
      if (!best || Math.abs(p[0] - t) < Math.abs(best[0] - t)) best = p;
    return best ? series.name + " " + best[1].toFixed(1) + "°" : "";
  }).filter(Boolean);
  text(document.getElementById("reading"), label(Math.max(s.t0, Math.min(s.t1, t))));
  text(document.getElementById("chart").querySelector(".readout") ||
       document.getElementById("chart").appendChild(Object.assign(
           document.createElement("p"), {className: "readout"})), parts.join(" · "));
}
canvas.addEventListener("pointerdown", readPoint);
canvas.addEventListener("pointermove", (event) => {
  if (event.buttons) readPoint(event);
});

async function pollHistory() {
  try {
    const answer = JSON.parse(await put("observingconditions", 0, "action",
                                        {Action: "History", Parameters: ""}));
    history = answer.series.filter((s) => s.points.length)
        .map((s) => ({name: s.name, points: unwrap(s.points)}));
  } catch (e) {
    console.warn(e.message);
  }
  drawHistory();
  setTimeout(pollHistory, HISTORY_MS);
}
window.addEventListener("resize", drawHistory);

// ---- Live updates ----

const server = document.getElementById("server");
let polling = false;
let timer = 0;

async function poll() {
  if (polling) return;
  polling = true;
  clearTimeout(timer);
  const results = await Promise.allSettled([...focusers.map(pollFocuser), pollDew()]);
  const failed = results.filter((r) => r.status === "rejected");
  const unreachable = failed.some((r) => !(r.reason instanceof AlpacaError));
  server.classList.toggle("lost", unreachable);
  text(server, unreachable ? "Skyvarn not reachable" : "live");
  for (const r of failed)
    if (r.reason instanceof AlpacaError) console.warn(r.reason.message);
  polling = false;
  timer = setTimeout(poll, POLL_MS);
}

// A phone that slept picks up at once when it is looked at again.
document.addEventListener("visibilitychange", () => {
  if (!document.hidden) poll();
});

// ---- Night ----

const night = document.getElementById("night");
const theme = document.querySelector('meta[name="theme-color"]');
function showNight(on) {
  document.documentElement.classList.toggle("night", on);
  night.setAttribute("aria-pressed", String(on));
  theme.content = on ? "#000000" : "#1b2230";
  drawHistory();
}
night.addEventListener("click", () => {
  const on = !document.documentElement.classList.contains("night");
  localStorage.setItem("skyvarn-night", on ? "1" : "0");
  showNight(on);
});
showNight(localStorage.getItem("skyvarn-night") === "1");

poll();
pollHistory();
