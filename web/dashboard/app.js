// orq dashboard: the vehicle as orq-server streams it. Plain browser
// JavaScript, no build step; charts by uPlot when it is there.
'use strict';

(function () {
  const WINDOW_S = 60;          // charts show the last minute
  const STREAM_HZ = 10;
  const GPS_MODES = ['Free', 'Hold', 'Home', 'Unknown'];
  const ID_GPS_MODE = 32;

  // A token given as #token=... is sent with every request and the stream.
  const token = new URLSearchParams(location.hash.slice(1)).get('token') || '';
  const headers = token ? { Authorization: 'Bearer ' + token } : {};

  const state = { nodes: {}, link: {} };
  const $ = (id) => document.getElementById(id);

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
    $('gps-node').textContent = fb === undefined ? 'no flight board' : 'node ' + fb;
    $('gps-set').disabled = fb === undefined;
    const mode = fb === undefined ? undefined : first(state.nodes[fb], 'GPS_MODE');
    $('gps-reported').textContent = mode === undefined ? '–' : (GPS_MODES[mode] || String(mode));
  }

  // ---- charts ----------------------------------------------------------
  const t0 = Date.now() / 1000;
  const charts = [
    { el: 'chart-attitude', series: [['roll', 'DCM_X', 0, '#d62728'], ['pitch', 'DCM_Y', 0, '#2ca02c'], ['yaw', 'DCM_Z', 0, '#1f77b4']] },
    { el: 'chart-acc', series: [['x', 'ACC_X', 0, '#d62728'], ['y', 'ACC_Y', 0, '#2ca02c'], ['z', 'ACC_Z', 0, '#1f77b4']] },
    { el: 'chart-pressure', series: [['pressure', 'PRESSURE', 0, '#9467bd']] },
    { el: 'chart-battery', series: [['voltage', 'DEBUG_DATA', 0, '#ff7f0e', 'mV'], ['current', 'DEBUG_DATA', 1, '#17becf', 'mA']] },
  ];
  for (const c of charts) c.data = [[]].concat(c.series.map(() => []));
  const track = [];

  function sample() {
    const fb = flightBoard();
    if (fb === undefined) return;
    const n = state.nodes[fb];
    const t = Date.now() / 1000 - t0;
    for (const c of charts) {
      const values = c.series.map((s) => first(n, s[1], s[2]));
      if (values.some((v) => v === undefined)) continue;
      c.data[0].push(t);
      values.forEach((v, i) => c.data[i + 1].push(v));
      while (c.data[0].length && c.data[0][0] < t - WINDOW_S) c.data.forEach((a) => a.shift());
    }
    const lon = first(n, 'LONGITUDE'), lat = first(n, 'LATITUDE');
    if (lon !== undefined && lat !== undefined && (lon !== 0 || lat !== 0)) {
      const last = track[track.length - 1];
      if (!last || last[0] !== lon || last[1] !== lat) track.push([lon, lat, t]);
      while (track.length && track[0][2] < t - 10 * WINDOW_S) track.shift();
    }
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
      const axes = [xAxis, { scale: twoScales ? c.series[0][4] : 'y', size: 60 }];
      if (twoScales) axes.push({ scale: c.series[1][4], side: 1, size: 60, grid: { show: false } });
      c.plot = new uPlot({
        width: Math.max(300, $(c.el).clientWidth), height: 200, series: series, axes: axes,
        scales: { x: { time: false } }, legend: { live: false },
      }, c.data, $(c.el));
    }
  }

  function drawCharts() {
    const t = Date.now() / 1000 - t0;
    for (const c of charts) {
      if (!c.plot) continue;
      c.plot.setData(c.data, false);
      c.plot.setScale('x', { min: t - WINDOW_S, max: t });
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
  connect();
  setInterval(drawCharts, 200);
})();
