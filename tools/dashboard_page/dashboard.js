// The korvale dashboard page: reads the event stream of `korvale dashboard --http` and shows
// the latest record, its speeds, the advice, the last minute, the latest plot and, when the
// dashboard has a route, the route's profile with the vehicle on it.
"use strict";

(function () {
  // What korvale drive puts in each field of the record (the names come from the dashboard).
  const ROLE = { distance: "r1", maximum: "r2", recommended: "r3", coasting: "r4",
                 vehicle: "r5", liftoff: "r7", target: "r8" };
  const FIELDS = [
    { key: "r1", unit: "m", digits: 1 }, { key: "r2", unit: "km/h", digits: 1 },
    { key: "r3", unit: "km/h", digits: 1 }, { key: "r4", unit: "km/h", digits: 1 },
    { key: "r5", unit: "km/h", digits: 1 }, { key: "r7", unit: "m", digits: 1 },
    { key: "r8", unit: "km/h", digits: 1 }, { key: "i1", unit: "", digits: 0 },
    { key: "i2", unit: "", digits: 0 }, { key: "flag", unit: "", digits: 0 },
  ];
  const FLAG_FASTER = 1; // bit 0: faster than recommended
  const FLAG_BRAKE = 2;  // bit 1: brake advised
  const HISTORY_SECONDS = 60;
  const COLOR = { vehicle: "#1f77b4", recommended: "#2ca02c", maximum: "#d62728",
                  coasting: "#8c8c8c", elevation: "#c9b28f", marker: "#e377c2" };

  const $ = (id) => document.getElementById(id);
  const state = {
    config: null,
    record: null,
    plot: null,
    route: null,
    lastArrival: null, // performance.now() of the last datagram
    history: [[], [], [], [], []], // t, coasting, maximum, recommended, vehicle (drawn last)
    charts: {},
    frameRequested: false,
  };

  const fieldName = (key) => state.config.fields[key];
  const field = (record, key) => (record ? record[fieldName(key)] : undefined);
  const text = (v, digits) => (v === null || v === undefined ? "–" : Number(v).toFixed(digits));

  // --- building the page -----------------------------------------------------------------

  function buildFieldRows() {
    const rows = $("field-rows");
    for (const f of FIELDS) {
      const row = rows.insertRow();
      row.insertCell().textContent = fieldName(f.key);
      const value = row.insertCell();
      value.className = "value";
      value.id = "value-" + f.key;
      value.textContent = "–";
      row.insertCell().textContent = f.unit;
      row.cells[2].className = "unit";
    }
  }

  // Speed axes run from 0 to a little above the highest of the given columns: the coasting
  // speed, which can be far above any limit, does not squeeze the others.
  function speedRange(columns) {
    return () => {
      let top = 10;
      for (const column of columns()) {
        for (const v of column) {
          if (v !== null && v > top) {
            top = v;
          }
        }
      }
      return [0, top * 1.15];
    };
  }

  function chartWidth(element) {
    return Math.max(280, element.clientWidth);
  }

  function makeChart(elementId, options, data) {
    const element = $(elementId);
    const chart = new uPlot(Object.assign({ width: chartWidth(element), height: 220,
                                            legend: { live: false } }, options),
                            data, element);
    state.charts[elementId] = chart;
    return chart;
  }

  function buildHistoryChart() {
    const speed = (key, color, extra) =>
      Object.assign({ label: fieldName(ROLE[key]), stroke: color, width: 2, spanGaps: false },
                    extra || {});
    makeChart("history-chart", {
      scales: { x: { time: true },
                y: { range: speedRange(() => state.history.slice(2)) } },
      axes: [{}, { label: "km/h" }],
      series: [{}, speed("coasting", COLOR.coasting, { dash: [6, 4] }),
               speed("maximum", COLOR.maximum), speed("recommended", COLOR.recommended),
               speed("vehicle", COLOR.vehicle, { width: 3 })],
    }, state.history);
  }

  // Equal counts are taken as y values (b) at x values (a), as korvale drive sends them (the
  // distances ahead and the recommended speed there); otherwise both arrays by their index.
  function plotIsXY() {
    const [a, b] = state.config.plot_counts;
    return a === b && a > 0;
  }

  function buildPlotChart() {
    const series = plotIsXY()
      ? [{ label: "a" }, { label: "b", stroke: COLOR.recommended, width: 2 }]
      : [{ label: "index" }, { label: "a", stroke: COLOR.vehicle, width: 2 },
         { label: "b", stroke: COLOR.recommended, width: 2 }];
    makeChart("plot-chart", { scales: { x: { time: false } }, series: series },
              series.map(() => []));
  }

  function plotData(plot) {
    if (plotIsXY()) {
      const pairs = plot.a.map((x, i) => [x, plot.b[i]]).filter((p) => p[0] !== null);
      pairs.sort((p, q) => p[0] - q[0]);
      return [pairs.map((p) => p[0]), pairs.map((p) => p[1])];
    }
    const length = Math.max(plot.a.length, plot.b.length);
    return [Array.from({ length: length }, (_, i) => i), plot.a, plot.b];
  }

  // The vehicle on the profile: a vertical line at its distance and a dot at its speed.
  function drawVehicleMarker(u) {
    const distance = field(state.record, ROLE.distance);
    const section = $("profile");
    if (distance === null || distance === undefined) {
      delete section.dataset.markerX;
      return;
    }
    const x = Math.round(u.valToPos(distance, "x", true));
    const ctx = u.ctx;
    ctx.save();
    ctx.strokeStyle = COLOR.marker;
    ctx.lineWidth = 3 * devicePixelRatio;
    ctx.beginPath();
    ctx.moveTo(x, u.bbox.top);
    ctx.lineTo(x, u.bbox.top + u.bbox.height);
    ctx.stroke();
    const speed = field(state.record, ROLE.vehicle);
    if (speed !== null && speed !== undefined) {
      ctx.fillStyle = COLOR.marker;
      ctx.beginPath();
      ctx.arc(x, u.valToPos(speed, "y", true), 6 * devicePixelRatio, 0, 2 * Math.PI);
      ctx.fill();
    }
    ctx.restore();
    section.dataset.markerDistance = String(distance);
    section.dataset.markerX = String(x); // canvas pixels
  }

  function buildProfileChart(route) {
    $("profile").hidden = false;
    $("profile-model").textContent = `${route.model} model`;
    makeChart("profile-chart", {
      scales: { x: { time: false }, y: { range: speedRange(() => [route.maximum]) },
                m: { auto: true } },
      axes: [{ label: "m along the route" }, { label: "km/h" },
             { scale: "m", side: 1, label: "elevation, m", grid: { show: false } }],
      series: [{ label: "distance" },
               { label: fieldName(ROLE.maximum), stroke: COLOR.maximum, width: 2 },
               { label: fieldName(ROLE.coasting), stroke: COLOR.coasting, dash: [6, 4] },
               { label: fieldName(ROLE.recommended), stroke: COLOR.recommended, width: 2 },
               { label: "elevation", stroke: COLOR.elevation, scale: "m" }],
      hooks: { draw: [drawVehicleMarker] },
    }, [route.distance, route.maximum, route.coasting, route.recommended, route.elevation]);
  }

  // --- showing what arrives --------------------------------------------------------------

  function showCounters(c) {
    $("count-received").textContent = c.received;
    $("count-malformed").textContent = c.malformed;
    $("count-lost").textContent = c.lost;
  }

  function showRecord(record) {
    for (const f of FIELDS) {
      const v = field(record, f.key);
      const cell = $("value-" + f.key);
      cell.textContent = text(v, f.digits);
      cell.dataset.value = v === null ? "null" : String(v);
    }
    const flag = field(record, "flag");
    const vehicle = field(record, ROLE.vehicle);
    const recommended = field(record, ROLE.recommended);
    const maximum = field(record, ROLE.maximum);
    $("vehicle-speed").textContent = text(vehicle, 0);
    $("recommended-speed").textContent = text(recommended, 0);
    $("maximum-speed").textContent = text(maximum, 0);
    const view = $("speed-view");
    view.className = "panel " + (flag & FLAG_FASTER ? "faster" : "ok");
    const top = Math.max(10, vehicle || 0, recommended || 0, maximum || 0) * 1.15;
    const share = (v) => Math.max(0, Math.min(100, ((v || 0) / top) * 100)) + "%";
    $("speed-bar").style.width = share(vehicle);
    $("recommended-mark").style.left = share(recommended);
    $("maximum-mark").style.left = share(maximum);
    showAdvice(flag, field(record, ROLE.liftoff), field(record, ROLE.target));
  }

  function showAdvice(flag, liftoff, target) {
    let kind = "none";
    let words = "no slow-down ahead";
    if (flag & FLAG_BRAKE) {
      kind = "brake";
      words = "brake";
    } else if (liftoff || target) {
      kind = "liftoff";
      words = liftoff > 0 ? "lift off in " + text(liftoff, 0) + " m" : "lift off now";
      if (target !== null && target !== undefined) {
        words += " for " + text(target, 0) + " km/h";
      }
    }
    $("advice").className = "panel advice-" + kind;
    $("advice-text").textContent = words;
  }

  function addToHistory(record) {
    const h = state.history;
    const t = record.t;
    if (h[0].length > 0 && t <= h[0][h[0].length - 1]) {
      return; // already shown
    }
    h[0].push(t);
    h[1].push(field(record, ROLE.coasting));
    h[2].push(field(record, ROLE.maximum));
    h[3].push(field(record, ROLE.recommended));
    h[4].push(field(record, ROLE.vehicle));
    let old = 0;
    while (old < h[0].length && h[0][old] < t - HISTORY_SECONDS) {
      old++;
    }
    if (old > 0) {
      h.forEach((column) => column.splice(0, old));
    }
  }

  function redraw() {
    state.frameRequested = false;
    if (state.record) {
      showRecord(state.record);
      state.charts["history-chart"].setData(state.history);
      if (state.charts["profile-chart"]) {
        state.charts["profile-chart"].redraw(false, false);
      }
    }
    if (state.plot) {
      state.charts["plot-chart"].setData(plotData(state.plot));
      state.plot.shown = true;
    }
  }

  function requestRedraw() {
    if (!state.frameRequested) {
      state.frameRequested = true;
      requestAnimationFrame(redraw);
    }
  }

  function onEvent(message) {
    const event = JSON.parse(message.data);
    if (event.counters) {
      showCounters(event.counters);
    }
    if (event.type === "hello") {
      if (event.age_s !== null) {
        state.lastArrival = performance.now() - event.age_s * 1000;
      }
      if (event.record) {
        state.record = event.record;
        addToHistory(event.record);
      }
      if (event.plot) {
        state.plot = event.plot;
      }
    } else if (event.type === "skipped") {
      const note = $("skipped");
      note.hidden = false;
      note.textContent = "this page fell behind and skipped " + event.count + " events";
      return;
    } else {
      state.lastArrival = performance.now();
      if (event.type === "record") {
        state.record = event.record;
        addToHistory(event.record);
      } else if (event.type === "plot") {
        state.plot = event;
      }
    }
    showAge(); // at once, with the counters, not at the next tick of the clock
    requestRedraw();
  }

  function showAge() {
    if (state.lastArrival === null) {
      return;
    }
    const seconds = (performance.now() - state.lastArrival) / 1000;
    $("age").textContent = seconds < 60 ? seconds.toFixed(1) + " s ago"
                                        : Math.round(seconds / 60) + " min ago";
  }

  function connect() {
    const events = new EventSource("/events");
    const connection = $("connection");
    events.onopen = () => {
      connection.textContent = "live";
      connection.className = "state-live";
    };
    events.onerror = () => {
      connection.textContent = "reconnecting";
      connection.className = "state-off";
    };
    events.onmessage = onEvent;
  }

  function resizeCharts() {
    for (const id of Object.keys(state.charts)) {
      state.charts[id].setSize({ width: chartWidth($(id)), height: 220 });
    }
  }

  async function start() {
    state.config = await (await fetch("/api/config")).json();
    buildFieldRows();
    buildHistoryChart();
    buildPlotChart();
    if (state.config.route) {
      buildProfileChart(await (await fetch("/api/route")).json());
    }
    window.addEventListener("resize", resizeCharts);
    setInterval(showAge, 200);
    connect();
  }

  start().catch((error) => {
    $("connection").textContent = "error: " + error.message;
  });
})();
