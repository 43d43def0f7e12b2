// orq dashboard: the vehicle as orq-server streams it. Plain browser
// JavaScript, no build step; charts by uPlot when it is there. Values are
// shown in their units by the server's names list (value = raw x scale, with
// the decimals of the scale, as every orq tool shows them); the charts start
// with the server's last minute and mark the sets made through the server.
'use strict';

(function () {
  const WINDOW_S = 60;          // charts show the last minute
  const STREAM_HZ = 10;
  const GPS_MODES = ['Free', 'Hold', 'Home', 'Unknown'];
  const ID_GPS_MODE = 32;
  const FIXES = { 0: 'no fix', 2: '2D fix', 3: '3D fix' };
  // The simulated board's debug block: battery voltage (mV) and current (mA)
  // in elements 0 and 1, shown in V and A.
  const BATTERY = { scale: 0.001, decimals: 2, symbols: ['V', 'A'] };
  // Its direction-cosine element 0: roll, pitch and yaw in 0.1 degree (element
  // 1 is a direction cosine, so the data IDs as a whole have no one unit).
  const ATTITUDE = { scale: 0.1, symbols: ['deg', 'deg', 'deg'] };

  // A token given as #token=... is sent with every request and the stream.
  const token = new URLSearchParams(location.hash.slice(1)).get('token') || '';
  const headers = token ? { Authorization: 'Bearer ' + token } : {};

  const t0 = Date.now() / 1000;   // chart time: seconds since the page opened
  const state = { nodes: {}, link: {} };
  const names = {};             // type code -> name -> row of the names list
  const marks = [];             // sets: { number, t, text, ok }
  const $ = (id) => document.getElementById(id);
  const now = () => Date.now() / 1000 - t0;

  function row(type, name) {
    return names[type] && names[type][name];
  }

  // A raw value as every orq tool shows it: raw x scale, the scale's decimals.
  function inUnit(r, raw) {
    return r && r.scale !== 1 ? Number((raw * r.scale).toFixed(r.decimals)) : raw;
  }
  function shown(r, raw, withSymbol) {
    const text = r && r.scale !== 1 ? (raw * r.scale).toFixed(r.decimals) : String(raw);
    return withSymbol && r && r.symbol ? text + ' ' + r.symbol : text;
  }

  function first(node, name, index) {
    const v = node && node.values && node.values[name];
    return v && v.length > (index || 0) ? v[index || 0] : undefined;
  }

  function flightBoard() {
    const ids = Object.keys(state.nodes).map(Number).sort((a, b) => a - b);
    for (const id of ids) if (state.nodes[id].type === 1) return id;
    return undefined;
  }

  // ---- stream ----------------------------------------------------------
  let retryMs = 1000;
  function setStreamBadge(text, kind) {
    const b = $('stream');
    b.textContent = text;
    b.className = 'badge badge-' + kind;
  }

  function connect() {
    const url = (location.protocol === 'https:' ? 'wss://' : 'ws://') + location.host + '/api/stream?hz=' + STREAM_HZ;
    const ws = token ? new WebSocket(url, ['orq', 'bearer.' + token]) : new WebSocket(url);
    ws.onopen = () => { retryMs = 1000; setStreamBadge('live', 'ok'); };
    ws.onmessage = (e) => apply(JSON.parse(e.data));
    ws.onclose = () => {
      const s = Math.round(retryMs / 1000);
      setStreamBadge('stream lost: reconnecting in ' + s + ' s', 'bad');
      setTimeout(connect, retryMs);
      retryMs = Math.min(retryMs * 2, 8000);
    };
  }

  function apply(msg) {
    if (msg.kind === 'sets') {
      msg.sets.forEach((x) => addMark(x, now()));
      return;
    }
    if (msg.kind === 'snapshot') {
      state.nodes = {};
      state.link = {};
    }
    for (const id of Object.keys(msg.nodes || {})) {
      const change = msg.nodes[id];
      const node = state.nodes[id] && change.type === undefined ? state.nodes[id] : { values: {} };
      if (change.type !== undefined) { node.type = change.type; node.typeName = change.typeName; }
      Object.assign(node.values, change.values || {});
      state.nodes[id] = node;
    }
    for (const id of msg.removed || []) delete state.nodes[id];
    Object.assign(state.link, msg.link || {});
    sample();
    render();
  }

  // ---- cards -----------------------------------------------------------
  function render() {
    const box = $('nodes');
    const ids = Object.keys(state.nodes).map(Number).sort((a, b) => a - b);
    if (ids.length === 0) {
      box.innerHTML = '<p class="muted">No node heard yet.</p>';
    } else {
      box.querySelectorAll('p.muted').forEach((p) => p.remove());
      box.querySelectorAll('.node').forEach((c) => { if (!state.nodes[c.dataset.nodeId]) c.remove(); });
      for (const id of ids) {
        let card = box.querySelector('.node[data-node-id="' + id + '"]');
        if (!card) {
          card = document.createElement('div');
          card.className = 'card node';
          card.dataset.nodeId = id;
          card.innerHTML = '<h2></h2><dl><dt>alive</dt><dd class="alive"></dd><dt>age</dt><dd class="age"></dd>' +
                           '<dt>messages</dt><dd class="messages"></dd></dl>';
          box.appendChild(card);
        }
        const n = state.nodes[id];
        const alive = first(n, 'ALIVE') === 1;
        card.querySelector('h2').textContent = 'Node ' + id + ' · ' + (n.typeName || 'unknown');
        const a = card.querySelector('.alive');
        a.textContent = alive ? 'yes' : 'no';
        a.className = 'alive ' + (alive ? 'yes' : 'no');
        const age = first(n, 'UPDATE_TIME');
        card.querySelector('.age').textContent = age === undefined ? '–' : (age >>> 0) + ' ms';
        const m = first(n, 'RECEIVED_MESSAGES');
        card.querySelector('.messages').textContent = m === undefined ? '–' : String(m);
      }
    }

    const dl = $('link');
    dl.innerHTML = '';
    for (const name of Object.keys(state.link).sort()) {
      const dt = document.createElement('dt');
      dt.textContent = name.toLowerCase().replace(/_/g, ' ');
      const dd = document.createElement('dd');
      dd.textContent = String(state.link[name] >>> 0);
      dl.append(dt, dd);
    }

    const fb = flightBoard();
    renderReadouts(fb === undefined ? undefined : state.nodes[fb]);
    renderSetNodes();
    $('gps-node').textContent = fb === undefined ? 'no flight board' : 'node ' + fb;
    $('gps-set').disabled = fb === undefined;
    const mode = fb === undefined ? undefined : first(state.nodes[fb], 'GPS_MODE');
    $('gps-reported').textContent = mode === undefined ? '–' : (GPS_MODES[mode] || String(mode));
  }

  function renderReadouts(n) {
    const fbRow = (name) => row(1, name);
    const lat = first(n, 'LATITUDE'), lon = first(n, 'LONGITUDE');
    $('ro-position').textContent = lat === undefined || lon === undefined ? '–'
      : shown(fbRow('LATITUDE'), Math.abs(lat)) + '° ' + (lat < 0 ? 'S' : 'N') + ', ' +
        shown(fbRow('LONGITUDE'), Math.abs(lon)) + '° ' + (lon < 0 ? 'W' : 'E');
    const alt = first(n, 'ALTITUDE');
    $('ro-altitude').textContent = alt === undefined ? '–' : shown(fbRow('ALTITUDE'), alt, true);
    const fix = first(n, 'GPS_STATUS');
    $('ro-fix').textContent = fix === undefined ? '–' : (FIXES[fix] || 'status') + ' (' + fix + ')';
    const mV = first(n, 'DEBUG_DATA', 0), mA = first(n, 'DEBUG_DATA', 1);
    $('ro-battery').textContent = mV === undefined || mA === undefined ? '–'
      : (mV * BATTERY.scale).toFixed(BATTERY.decimals) + ' V · ' + (mA * BATTERY.scale).toFixed(BATTERY.decimals) + ' A';
  }

  // ---- charts ----------------------------------------------------------
  // [label, data ID name, index, colour, own scale]; `own`: the chart's own
  // unit where the data ID's is not one (attitude in degrees, battery in V and A).
  const charts = [
    { el: 'chart-attitude', unit: 'unit-attitude', own: ATTITUDE, series: [['roll', 'DCM_X', 0, '#d62728'], ['pitch', 'DCM_Y', 0, '#2ca02c'], ['yaw', 'DCM_Z', 0, '#1f77b4']] },
    { el: 'chart-acc', unit: 'unit-acc', series: [['x', 'ACC_X', 0, '#d62728'], ['y', 'ACC_Y', 0, '#2ca02c'], ['z', 'ACC_Z', 0, '#1f77b4']] },
    // 0 Pa is no reading (vacuum) but the model's value until the first
    // report: left out, so that the scale is not stretched down to it.
    { el: 'chart-pressure', unit: 'unit-pressure', skipZero: true, series: [['pressure', 'PRESSURE', 0, '#9467bd']] },
    { el: 'chart-battery', unit: 'unit-battery', own: BATTERY,
      series: [['voltage', 'DEBUG_DATA', 0, '#ff7f0e', 'V'], ['current', 'DEBUG_DATA', 1, '#17becf', 'A']] },
  ];
  for (const c of charts) c.data = [[]].concat(c.series.map(() => []));
  const track = [];

  // The value of series s of chart c in the unit its chart is labelled in.
  function chartValue(c, s, raw) {
    return c.own ? raw * c.own.scale : inUnit(row(1, s[1]), raw);
  }

  function labelCharts() {
    for (const c of charts) {
      const symbols = c.series.map((s, i) => (c.own ? c.own.symbols[i] : (row(1, s[1]) || {}).symbol));
      const same = symbols.every((x) => x === symbols[0]);
      $(c.unit).textContent = c.series.map((s, i) => s[0] + (same ? '' : ' (' + symbols[i] + ')')).join(', ') +
        (same && symbols[0] ? ' (' + symbols[0] + ')' : '');
    }
  }

  function push(c, t, values) {
    if (c.skipZero && values.every((v) => v === 0)) return;
    c.data[0].push(t);
    values.forEach((v, i) => c.data[i + 1].push(v));
    while (c.data[0].length && c.data[0][0] < t - WINDOW_S) c.data.forEach((a) => a.shift());
  }

  function pushTrack(lon, lat, t) {
    if (lon === 0 && lat === 0) return;
    const last = track[track.length - 1];
    if (!last || last[0] !== lon || last[1] !== lat) track.push([lon, lat, t]);
    while (track.length && track[0][2] < t - 10 * WINDOW_S) track.shift();
  }

  function sample() {
    const fb = flightBoard();
    if (fb === undefined) return;
    const n = state.nodes[fb];
    const t = now();
    for (const c of charts) {
      const values = c.series.map((s) => first(n, s[1], s[2]));
      if (values.some((v) => v === undefined)) continue;
      push(c, t, values.map((v, i) => chartValue(c, c.series[i], v)));
    }
    const lon = first(n, 'LONGITUDE'), lat = first(n, 'LATITUDE');
    if (lon !== undefined && lat !== undefined) pushTrack(lon, lat, t);
  }

  // The server's last minute of the lowest flight board, so the charts start
  // filled; sets of that minute become marks.
  async function loadHistory() {
    try {
      const r = await fetch('/api/history', { headers: headers });
      if (!r.ok) return;
      const h = await r.json();
      const t = now();
      const ids = Object.keys(h.nodes).map(Number).sort((a, b) => a - b);
      if (ids.length) {
        const node = h.nodes[ids[0]];
        const ts = node.ageMs.map((a) => t - a / 1000);
        const series = (s) => node.values[s[1] + '/' + s[2]].raw;
        ts.forEach((ti, k) => {
          for (const c of charts) push(c, ti, c.series.map((s) => chartValue(c, s, series(s)[k])));
          pushTrack(series([0, 'LONGITUDE', 0])[k], series([0, 'LATITUDE', 0])[k], ti);
        });
      }
      h.sets.forEach((x) => addMark(x, t));
    } catch (err) { /* charts fill from the stream */ }
  }

  // ---- set marks ---------------------------------------------------------
  function addMark(x, t) {
    if (marks.some((m) => m.number === x.number)) return;
    const value = x.symbol !== undefined ? x.inUnit + (x.symbol ? ' ' + x.symbol : '') : String(x.value);
    const what = (x.name || 'data ID ' + x.id) + (x.index ? '/' + x.index : '') + ' = ' + value;
    const m = { number: x.number, t: t - x.ageMs / 1000, text: what, ok: x.code === 0,
                detail: 'node ' + x.node + ', ' + x.codeName };
    marks.push(m);
    marks.sort((a, b) => a.t - b.t);
    while (marks.length && marks[0].t < now() - WINDOW_S) marks.shift();
    renderSetLog();
  }

  function renderSetLog() {
    const list = $('set-log');
    list.innerHTML = '';
    if (marks.length === 0) list.innerHTML = '<li class="muted">none yet</li>';
    for (const m of marks.slice().reverse()) {
      const li = document.createElement('li');
      li.className = m.ok ? 'ok' : 'refused';
      li.textContent = new Date((t0 + m.t) * 1000).toTimeString().slice(0, 8) + '  ' + m.text + ' (' + m.detail + ')';
      list.appendChild(li);
    }
  }

  // Draws a dashed line at each set in view, named at its top; a name that
  // would run into the one before goes a line lower.
  function drawMarks(u) {
    const g = u.ctx, px = devicePixelRatio;
    const { left, top, width, height } = u.bbox;
    const rowEnds = [];
    let drawn = 0;
    g.save();
    g.font = Math.round(11 * px) + 'px system-ui, sans-serif';
    g.setLineDash([5 * px, 4 * px]);
    g.lineWidth = px;
    for (const m of marks) {
      const x = u.valToPos(m.t, 'x', true);
      if (x < left || x > left + width) continue;
      g.strokeStyle = g.fillStyle = m.ok ? '#b26a00' : '#c62828';
      g.beginPath(); g.moveTo(x, top); g.lineTo(x, top + height); g.stroke();
      const w = g.measureText(m.text).width;
      const tx = Math.max(left, Math.min(x + 4 * px, left + width - w));
      let row = rowEnds.findIndex((end) => tx > end + 6 * px);
      if (row < 0) row = rowEnds.length;
      rowEnds[row] = tx + w;
      g.fillText(m.text, tx, top + (12 + 13 * row) * px);
      ++drawn;
    }
    g.restore();
    u.root.parentNode.dataset.marks = drawn;
  }

  function makeCharts() {
    if (typeof uPlot === 'undefined') {
      for (const c of charts) $(c.el).innerHTML = '<p class="missing">chart library missing (build without npm)</p>';
      return;
    }
    for (const c of charts) {
      const twoScales = c.series.some((s) => s[4]);
      const series = [{}].concat(c.series.map((s) => ({ label: s[0], stroke: s[3], width: 1.5, scale: s[4] || 'y' })));
      // x is seconds since the page opened; the axis counts back from now.
      const xAxis = {
        splits: (u) => [-60, -50, -40, -30, -20, -10, 0].map((o) => u.scales.x.max + o),
        values: (u, splits) => splits.map((v) => Math.round(v - u.scales.x.max) + ' s'),
      };
      const axes = [xAxis, { scale: twoScales ? c.series[0][4] : 'y', size: 60, values: (u, v) => v.map((x) => +x.toPrecision(6)) }];
      if (twoScales) axes.push({ scale: c.series[1][4], side: 1, size: 60, grid: { show: false } });
      c.plot = new uPlot({
        width: Math.max(300, $(c.el).clientWidth), height: 200, series: series, axes: axes,
        scales: { x: { time: false } }, legend: { live: false }, hooks: { draw: [drawMarks] },
      }, c.data, $(c.el));
    }
  }

  function drawCharts() {
    const t = now();
    for (const c of charts) {
      if (!c.plot) continue;
      c.plot.setData(c.data, false);
      c.plot.setScale('x', { min: t - WINDOW_S, max: t });
      $(c.el).dataset.points = c.data[0].length;
    }
    drawTrack();
  }

  function drawTrack() {
    const cv = $('track');
    const g = cv.getContext('2d');
    g.clearRect(0, 0, cv.width, cv.height);
    if (track.length === 0) {
      g.fillStyle = '#6b7280';
      g.fillText('no position yet', 10, 20);
      return;
    }
    // Local metres around the middle of the track; equal scale on both axes.
    const lat0 = track.reduce((s, p) => s + p[1], 0) / track.length;
    const lon0 = track.reduce((s, p) => s + p[0], 0) / track.length;
    const mPerUnit = 111320 / 1e7;
    const k = Math.cos((lat0 / 1e7) * Math.PI / 180);
    const pts = track.map((p) => [(p[0] - lon0) * mPerUnit * k, (p[1] - lat0) * mPerUnit]);
    const span = Math.max(20, ...pts.map((p) => Math.max(Math.abs(p[0]), Math.abs(p[1])))) * 2.2;
    const scale = Math.min(cv.width, cv.height) / span;
    const x = (p) => cv.width / 2 + p[0] * scale, y = (p) => cv.height / 2 - p[1] * scale;
    g.strokeStyle = '#e3e6ea';
    g.beginPath(); g.moveTo(cv.width / 2, 0); g.lineTo(cv.width / 2, cv.height);
    g.moveTo(0, cv.height / 2); g.lineTo(cv.width, cv.height / 2); g.stroke();
    g.strokeStyle = '#1f77b4';
    g.lineWidth = 2;
    g.beginPath();
    pts.forEach((p, i) => (i ? g.lineTo(x(p), y(p)) : g.moveTo(x(p), y(p))));
    g.stroke();
    const last = pts[pts.length - 1];
    g.fillStyle = '#d62728';
    g.beginPath(); g.arc(x(last), y(last), 5, 0, 2 * Math.PI); g.fill();
    g.fillStyle = '#6b7280';
    g.fillText(Math.round(span / 2.2) + ' m', 8, cv.height - 8);
    g.fillText('N', cv.width / 2 + 4, 12);
  }

  // ---- GPS mode ----------------------------------------------------------
  $('gps-form').addEventListener('submit', async (e) => {
    e.preventDefault();
    const fb = flightBoard();
    if (fb === undefined) return;
    const value = Number($('gps-mode').value);
    const out = $('gps-result');
    out.textContent = 'setting ' + GPS_MODES[value] + '…';
    try {
      const r = await fetch('/api/nodes/' + fb + '/' + ID_GPS_MODE, {
        method: 'PUT', headers: Object.assign({ 'Content-Type': 'application/json' }, headers),
        body: JSON.stringify({ value: value }),
      });
      const body = await r.json();
      out.textContent = r.ok ? 'set ' + GPS_MODES[value] + ': queued (' + body.name + ')'
                             : 'refused: ' + (body.name || body.error) + ' (HTTP ' + r.status + ')';
    } catch (err) {
      out.textContent = 'set failed: ' + err;
    }
  });

  // ---- any data ID ---------------------------------------------------------
  function renderSetNodes() {
    const select = $('set-node');
    const ids = Object.keys(state.nodes).map(Number).sort((a, b) => a - b)
      .filter((id) => names[state.nodes[id].type]);
    const wanted = ids.map((id) => id + ' · ' + state.nodes[id].typeName).join('|');
    if (select.dataset.list === wanted) return;
    const keep = select.value;
    select.dataset.list = wanted;
    select.innerHTML = '';
    for (const id of ids) select.add(new Option('node ' + id + ' · ' + state.nodes[id].typeName, id));
    if (ids.map(String).includes(keep)) select.value = keep;
    renderSetNames();
  }

  function setRow() {
    const n = state.nodes[$('set-node').value];
    return n && row(n.type, $('set-name').value);
  }

  function renderSetNames() {
    const select = $('set-name');
    const n = state.nodes[$('set-node').value];
    const keep = select.value;
    select.innerHTML = '';
    if (n && names[n.type]) {
      for (const r of Object.values(names[n.type]).filter((x) => x.settable)) select.add(new Option(r.name, r.name));
      if (names[n.type][keep] && names[n.type][keep].settable) select.value = keep;
    }
    $('set-send').disabled = select.options.length === 0;
    renderSetUnit();
  }

  function renderSetUnit() {
    const r = setRow();
    $('set-symbol').textContent = r ? (r.symbol === 'raw' ? 'raw' : r.symbol) : '';
    $('set-value').step = r && r.scale !== 1 ? String(r.scale) : '1';
    $('set-text').textContent = r ? r.id + ': ' + r.text : '';
  }

  $('set-node').addEventListener('change', renderSetNames);
  $('set-name').addEventListener('change', renderSetUnit);
  $('set-form').addEventListener('submit', async (e) => {
    e.preventDefault();
    const id = $('set-node').value, r = setRow();
    if (!r) return;
    // The value is given in the unit; the device takes the raw integer.
    const raw = Math.round(Number($('set-value').value) / r.scale);
    const index = Number($('set-index').value) || 0;
    const out = $('set-result');
    const what = r.name + '/' + index + ' = ' + shown(r, raw, true) + (r.scale !== 1 ? ' (raw ' + raw + ')' : '');
    out.textContent = 'setting ' + what + '…';
    try {
      const resp = await fetch('/api/nodes/' + id + '/' + r.name + '/' + index, {
        method: 'PUT', headers: Object.assign({ 'Content-Type': 'application/json' }, headers),
        body: JSON.stringify({ value: raw }),
      });
      const body = await resp.json();
      out.textContent = resp.ok ? 'set ' + what + ': queued (' + body.name + ')'
                                : 'refused: ' + (body.name || body.error) + ' (HTTP ' + resp.status + ')';
    } catch (err) {
      out.textContent = 'set failed: ' + err;
    }
  });

  async function loadNames() {
    try {
      const r = await fetch('/api/names', { headers: headers });
      if (!r.ok) return;
      for (const t of (await r.json()).types) {
        names[t.type] = {};
        for (const x of t.rows) names[t.type][x.name] = x;
      }
    } catch (err) { /* charts keep raw labels */ }
    labelCharts();
    renderSetNodes();
  }

  async function loadLink() {
    try {
      const r = await fetch('/api/link', { headers: headers });
      if (r.ok) {
        const l = await r.json();
        $('connection').textContent = l.connection + ' · own ID ' + l.ownId;
      }
    } catch (err) { /* the stream badge tells */ }
  }

  makeCharts();
  loadLink();
  // Names first (units), then the last minute, then the live stream.
  loadNames().then(loadHistory).then(connect);
  setInterval(drawCharts, 200);
})();
