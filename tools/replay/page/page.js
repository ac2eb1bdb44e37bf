// The report page: reads its data from the JSON element and builds every
// part from it. Text from the session (names, labels) is only ever set as
// textContent or drawn on a canvas, never parsed as markup.
(function () {
  'use strict';

  const data = JSON.parse(document.getElementById('report-data').textContent);
  const origin = data.origin; // "record" (a capture) or "line" (a trace)

  // ---- small helpers ----

  function byId(id) {
    return document.getElementById(id);
  }
  // An element with text content and an optional class.
  function make(tag, text, className) {
    const e = document.createElement(tag);
    if (text !== undefined && text !== null) e.textContent = String(text);
    if (className) e.className = className;
    return e;
  }
  function cell(text, className) {
    return make('td', text, className);
  }
  function seconds3(s) {
    return Number(s).toFixed(3);
  }
  function hex4(n) {
    return '0x' + Number(n).toString(16).toUpperCase().padStart(4, '0');
  }
  // Whole seconds as m:ss or h:mm:ss.
  function clock(s, hours) {
    s = Math.round(s);
    const two = (v) => String(v).padStart(2, '0');
    if (hours) return Math.floor(s / 3600) + ':' + two(Math.floor(s / 60) % 60) + ':' + two(s % 60);
    return Math.floor(s / 60) + ':' + two(s % 60);
  }
  // "#RRGGBB" of an "AARRGGBB" or "RRGGBB" text.
  function cssColour(hex) {
    return '#' + String(hex).slice(-6);
  }
  function playerById(id) {
    return playersById.get(id);
  }
  // The player's name in their colour, or the id alone when the session
  // never named them.
  function nameElement(player, fallbackName) {
    const p = playerById(player);
    const name = p && p.name !== null ? p.name : fallbackName;
    const span = make('span', name === null || name === undefined ? '' : name, 'name');
    if (p) span.style.color = cssColour(p.colour);
    return span;
  }

  const playersById = new Map(data.players.map((p) => [p.player, p]));
  const end = data.end > 0 ? data.end : 1;

  // ---- header and what was read ----

  const read = data.read;
  byId('title-name').textContent = read.name;
  document.title = 'norvi-replay report: ' + read.name;
  const s = data.summary;
  byId('headline').textContent =
    seconds3(s.seconds) + ' s of session, ' + s.syncPackets + ' sync packets, ' +
    data.warnings.length + (data.warnings.length === 1 ? ' warning' : ' warnings') + ' about ' +
    s.warned.length + (s.warned.length === 1 ? ' player' : ' players') + '.';
  byId('footer-tool').textContent = read.tool;

  function addRead(term, value, mono) {
    const list = byId('read-list');
    list.appendChild(make('dt', term));
    const dd = make('dd', value, mono ? 'mono' : undefined);
    list.appendChild(dd);
    return dd;
  }
  addRead('file', read.name, true);
  addRead('size', read.size === null ? 'not known (read from standard input)' : read.size + ' bytes');
  addRead('SHA-256', read.sha256 === null ? 'not known (read from standard input)' : read.sha256, true);
  if (origin === 'record') {
    addRead('first record', read.firstTime === null ? 'not known' : read.firstTime);
    addRead('last record', read.lastTime === null ? 'not known' : read.lastTime);
    addRead('server followed', read.server === null ? 'none' : read.server, true);
    addRead('client followed', read.client, true);
  }
  addRead('tool', read.tool);
  addRead('plugin', read.plugin);
  addRead('command line', read.commandLine, true);
  const messages = addRead('skip report and notes', read.messages.length ? '' : 'none');
  for (const line of read.messages) messages.appendChild(make('div', line, 'mono'));

  // ---- the key column's history ----

  // The key labels of a pass held down: a bit per row of the column.
  const passHeld = data.passes.map((labels) => {
    let mask = 0;
    for (const [text, colour] of labels) {
      const k = data.keyLabels.indexOf(text);
      if (k >= 0 && colour === data.pressedColour) mask |= 1 << k;
    }
    return mask;
  });
  const drawTimes = data.draws.map((d) => d[0]);

  // The index of the last entry of sorted `times` at or before `t`; -1 if none.
  function lastAtOrBefore(times, t) {
    let lo = 0, hi = times.length;
    while (lo < hi) {
      const mid = (lo + hi) >> 1;
      if (times[mid] <= t) lo = mid + 1;
      else hi = mid;
    }
    return lo - 1;
  }

  // ---- the timeline ----

  const palette = ['#6C8EBF', '#B39DDB', '#80CBC4', '#FFCC80', '#F48FB1', '#A5D6A7', '#90A4AE', '#CE93D8'];
  // Rows: spectating, the eight keys, then every player with a suspect
  // run (the warned first).
  const rowPlayers = data.players
    .filter((p) => p.warnings > 0 || p.suspectPackets > 0)
    .sort((a, b) => (b.warnings > 0) - (a.warnings > 0) || a.player - b.player)
    .map((p) => p.player);
  const rowNames = ['spectating'].concat(data.keyLabels, rowPlayers.map((id) => {
    const p = playerById(id);
    return (p.name === null ? '' : p.name) + ' [' + id + ']';
  }));
  const rowCount = rowNames.length;
  const rowHeight = 18;
  // A warning's time: the transcript's object carries its tick, the info
  // beside it the seconds.
  const warningSeconds = data.warningInfo.map((i) => i.seconds);
  const warningsByPlayer = new Map();
  data.warnings.forEach((w, i) => {
    const list = warningsByPlayer.get(w.warning.player) || [];
    list.push(warningSeconds[i]);
    warningsByPlayer.set(w.warning.player, list);
  });

  // What the timeline draws, worked out once. The stretches in which
  // somebody was spectated, and within them, for each key, those in which
  // the drawn column showed it held: only while somebody was spectated,
  // since the column also shows while its place is being set, and then
  // belongs to no player.
  const spectatedStretches = data.spectating.map((sp) => [sp[0], sp[1]]);
  const heldStretches = [[], [], [], [], [], [], [], []];
  {
    let sp = 0;
    for (let i = 0; i < data.draws.length; i++) {
      const from = drawTimes[i], until = i + 1 < data.draws.length ? drawTimes[i + 1] : end;
      const held = passHeld[data.draws[i][1]];
      if (!held) continue;
      while (sp < spectatedStretches.length && spectatedStretches[sp][1] <= from) sp++;
      for (let j = sp; j < spectatedStretches.length && spectatedStretches[j][0] < until; j++) {
        const a = Math.max(from, spectatedStretches[j][0]), b = Math.min(until, spectatedStretches[j][1]);
        if (!(b > a)) continue;
        for (let k = 0; k < 8; k++) if (held & (1 << k)) heldStretches[k].push([a, b]);
      }
    }
  }
  // Each player's suspect runs, those short of a warning and those that made one.
  const runsByPlayer = new Map();
  for (const [player, from, to, , warned] of data.runs) {
    if (!runsByPlayer.has(player)) runsByPlayer.set(player, { short: [], warned: [] });
    runsByPlayer.get(player)[warned ? 'warned' : 'short'].push([from, to]);
  }
  for (const rows of runsByPlayer.values()) {
    rows.short.sort((a, b) => a[0] - b[0]);
    rows.warned.sort((a, b) => a[0] - b[0]);
  }

  let chosenTime = 0;
  let selectedWarning = -1;

  // Row i's middle, as a value of the y scale (row 0 at the top).
  function rowValue(i) {
    return rowCount - i - 0.5;
  }

  function drawTimeline(u) {
    const ctx = u.ctx;
    const { left, top, width, height } = u.bbox;
    const min = u.scales.x.min, max = u.scales.x.max;
    const px = (t) => u.valToPos(t, 'x', true);
    const rowTop = (i) => u.valToPos(rowCount - i, 'y', true);
    const rowPx = rowTop(1) - rowTop(0);
    const dpr = devicePixelRatio || 1;
    ctx.save();
    ctx.beginPath();
    ctx.rect(left, top, width, height);
    ctx.clip();

    // Runs of sub-pixel boxes become one box. `items` are in time order
    // and apart: those in view are found by their end.
    function boxes(items, fill, y, h) {
      ctx.fillStyle = fill;
      let runFrom = null, runTo = null;
      let lo = 0, hi = items.length;
      while (lo < hi) {
        const mid = (lo + hi) >> 1;
        if (items[mid][1] < min) lo = mid + 1;
        else hi = mid;
      }
      for (let i = lo; i < items.length && items[i][0] <= max; i++) {
        const [from, to] = items[i];
        let x0 = px(Math.max(from, min)), x1 = px(Math.min(to, max));
        if (x1 - x0 < dpr) x1 = x0 + dpr;
        if (runTo !== null && x0 <= runTo + 0.5) {
          runTo = Math.max(runTo, x1);
          continue;
        }
        if (runTo !== null) ctx.fillRect(runFrom, y, runTo - runFrom, h);
        runFrom = x0;
        runTo = x1;
      }
      if (runTo !== null) ctx.fillRect(runFrom, y, runTo - runFrom, h);
    }

    // Spectating: a band per stretch in the target's colour, its id where it fits.
    ctx.font = (11 * dpr) + 'px sans-serif';
    for (const [from, to, player] of data.spectating) {
      if (to < min || from > max) continue;
      const x0 = px(Math.max(from, min)), x1 = Math.max(px(Math.min(to, max)), x0 + dpr);
      ctx.fillStyle = palette[player % 8];
      ctx.fillRect(x0, rowTop(0) + dpr, x1 - x0, rowPx - 2 * dpr);
      const id = String(player);
      if (x1 - x0 > ctx.measureText(id).width + 6 * dpr) {
        ctx.fillStyle = '#222';
        ctx.fillText(id, x0 + 3 * dpr, rowTop(0) + rowPx - 5 * dpr);
      }
    }

    // Keys: grey while spectated, green while held.
    for (let k = 0; k < 8; k++) {
      boxes(spectatedStretches, '#E4E4E4', rowTop(1 + k) + dpr, rowPx - 2 * dpr);
      boxes(heldStretches[k], '#2DB82D', rowTop(1 + k) + dpr, rowPx - 2 * dpr);
    }

    // Players: a band per suspect run (stronger for one that made a
    // warning), a red mark per warning.
    rowPlayers.forEach((player, r) => {
      const y = rowTop(9 + r);
      const rows = runsByPlayer.get(player) || { short: [], warned: [] };
      boxes(rows.short, 'rgba(224,128,128,0.5)', y + 5 * dpr, rowPx - 10 * dpr);
      boxes(rows.warned, 'rgba(240,128,128,0.9)', y + 5 * dpr, rowPx - 10 * dpr);
      const marks = (warningsByPlayer.get(player) || []).map((t) => [t, t]);
      boxes(marks, '#D01010', y + dpr, rowPx - 2 * dpr);
    });

    // Row rules, the chosen time, and the selected warning.
    ctx.fillStyle = '#EEEEEE';
    for (let i = 1; i < rowCount; i++) ctx.fillRect(left, rowTop(i), width, dpr);
    if (chosenTime >= min && chosenTime <= max) {
      ctx.fillStyle = '#1A55C8';
      ctx.fillRect(px(chosenTime), top, 2 * dpr, height);
    }
    if (selectedWarning >= 0) {
      const t = warningSeconds[selectedWarning];
      if (t >= min && t <= max) {
        ctx.strokeStyle = '#D01010';
        ctx.setLineDash([4 * dpr, 3 * dpr]);
        ctx.beginPath();
        ctx.moveTo(px(t), top);
        ctx.lineTo(px(t), top + height);
        ctx.stroke();
      }
    }
    ctx.restore();
  }

  // Axis steps from a millisecond to days.
  const timeSteps = [0.001, 0.002, 0.005, 0.01, 0.02, 0.05, 0.1, 0.2, 0.5, 1, 2, 5, 10, 15, 30, 60, 120, 300,
    600, 900, 1800, 3600, 7200, 10800, 21600, 43200, 86400];
  function timeLabels(u, splits, axis, space, step) {
    const hours = u.scales.x.max >= 3600;
    return splits.map((t) => (step < 1 ? +t.toFixed(3) + ' s' : clock(t, hours)));
  }

  const timelineBox = byId('timeline');
  function timelineWidth() {
    return Math.max(600, timelineBox.parentElement.clientWidth - 2);
  }
  const timeline = new uPlot({
    width: timelineWidth(),
    height: rowCount * rowHeight + 40,
    legend: { show: false },
    cursor: { drag: { x: false, y: false, setScale: false }, points: { show: false }, y: false },
    scales: {
      x: { time: false, auto: false, range: (u, a, b) => [a, b] },
      y: { auto: false, range: [0, rowCount] },
    },
    axes: [
      { side: 0, incrs: timeSteps, values: timeLabels, space: 70, grid: { stroke: '#EEEEEE', width: 1 } },
      {
        side: 3, size: 200, grid: { show: false }, ticks: { show: false },
        splits: () => rowNames.map((_, i) => rowValue(i)),
        values: () => rowNames.slice(),
      },
    ],
    series: [{}, { stroke: 'transparent', points: { show: false } }],
    hooks: {
      draw: [drawTimeline],
      setScale: [(u, key) => { if (key === 'x') showRange(u); }],
    },
  }, [[0, end], [null, null]], timelineBox);
  timeline.setScale('x', { min: 0, max: end });

  function showRange(u) {
    const label = byId('timeline-range');
    const from = u.scales.x.min, to = u.scales.x.max;
    label.dataset.from = String(from);
    label.dataset.to = String(to);
    label.textContent = 'Showing ' + seconds3(from) + ' s to ' + seconds3(to) + ' s of ' + seconds3(end) + ' s.';
  }

  // Shows [from, to], kept within the session and no narrower than 50 ms.
  function showTimes(from, to) {
    let span = Math.min(Math.max(to - from, 0.05), end);
    from = Math.min(Math.max(from, 0), end - span);
    timeline.setScale('x', { min: from, max: from + span });
  }
  function zoom(factor, anchor) {
    const min = timeline.scales.x.min, max = timeline.scales.x.max;
    if (anchor === undefined) anchor = (min + max) / 2;
    showTimes(anchor - (anchor - min) * factor, anchor + (max - anchor) * factor);
  }
  function pan(share) {
    const min = timeline.scales.x.min, max = timeline.scales.x.max;
    showTimes(min + (max - min) * share, max + (max - min) * share);
  }

  const over = timeline.over;
  over.addEventListener('wheel', (e) => {
    e.preventDefault();
    const anchor = timeline.posToVal(e.offsetX, 'x');
    zoom(e.deltaY > 0 ? 1.25 : 0.8, anchor);
  }, { passive: false });
  let drag = null;
  over.addEventListener('mousedown', (e) => {
    if (e.button !== 0) return;
    drag = { x: e.clientX, min: timeline.scales.x.min, max: timeline.scales.x.max, moved: false };
    timelineBox.classList.add('dragging');
    timelineBox.focus();
    e.preventDefault();
  });
  window.addEventListener('mousemove', (e) => {
    if (!drag) return;
    const dx = e.clientX - drag.x;
    if (Math.abs(dx) > 3) drag.moved = true;
    if (!drag.moved) return;
    const perPixel = (drag.max - drag.min) / timeline.bbox.width * (devicePixelRatio || 1);
    showTimes(drag.min - dx * perPixel, drag.max - dx * perPixel);
  });
  window.addEventListener('mouseup', (e) => {
    if (!drag) return;
    const click = !drag.moved;
    drag = null;
    timelineBox.classList.remove('dragging');
    if (click) {
      const rect = over.getBoundingClientRect();
      chooseTime(timeline.posToVal(e.clientX - rect.left, 'x'));
    }
  });
  over.addEventListener('dblclick', () => showTimes(0, end));
  timelineBox.addEventListener('keydown', (e) => {
    const keys = {
      '+': () => zoom(0.8), '=': () => zoom(0.8), '-': () => zoom(1.25), '_': () => zoom(1.25),
      ArrowLeft: () => pan(-0.1), ArrowRight: () => pan(0.1), '0': () => showTimes(0, end),
      Home: () => showTimes(0, end),
    };
    if (keys[e.key]) {
      keys[e.key]();
      e.preventDefault();
    }
  });
  window.addEventListener('resize', () => timeline.setSize({ width: timelineWidth(), height: rowCount * rowHeight + 40 }));

  // ---- every warning ----

  byId('warning-origin-head').textContent = origin;
  byId('evidence-origin-head').textContent = origin;
  const warningRows = [];
  const warningBody = document.querySelector('#warning-table tbody');
  data.warnings.forEach((w, i) => {
    const info = data.warningInfo[i];
    const tr = document.createElement('tr');
    tr.tabIndex = i === 0 ? 0 : -1;
    tr.setAttribute('aria-selected', 'false');
    tr.appendChild(cell(i + 1));
    tr.appendChild(cell(seconds3(info.seconds)));
    tr.appendChild(cell(w[origin]));
    tr.appendChild(cell(w.warning.player));
    const nameCell = cell(undefined, 'text');
    nameCell.appendChild(nameElement(w.warning.player, w.warning.name));
    tr.appendChild(nameCell);
    tr.appendChild(cell(info.run));
    tr.addEventListener('click', () => selectWarning(i));
    tr.addEventListener('keydown', (e) => {
      if (e.key === 'ArrowDown' || e.key === 'ArrowUp') {
        const next = i + (e.key === 'ArrowDown' ? 1 : -1);
        if (next >= 0 && next < warningRows.length) {
          selectWarning(next);
          warningRows[next].focus();
        }
        e.preventDefault();
      } else if (e.key === 'Enter' || e.key === ' ') {
        selectWarning(i);
        e.preventDefault();
      }
    });
    warningRows.push(tr);
    warningBody.appendChild(tr);
  });
  if (data.warnings.length === 0) {
    byId('warning-table').hidden = true;
    byId('no-warnings').hidden = false;
  }

  let chart = null;
  function selectWarning(i) {
    selectedWarning = i;
    warningRows.forEach((tr, k) => {
      tr.setAttribute('aria-selected', k === i ? 'true' : 'false');
      tr.tabIndex = k === i ? 0 : -1;
    });
    const w = data.warnings[i], info = data.warningInfo[i];
    const evidence = w.warning.evidence;
    const box = byId('evidence');
    box.hidden = false;
    const title = byId('evidence-title');
    title.textContent = 'Warning ' + (i + 1) + ' at ' + seconds3(info.seconds) + ' s, ' + origin + ' ' + w[origin] +
      ', about player ' + w.warning.player + ' ';
    title.appendChild(nameElement(w.warning.player, w.warning.name));
    title.appendChild(document.createTextNode(': the ' + evidence.length + ' suspect packets it was made of'));

    const body = document.querySelector('#evidence-table tbody');
    body.replaceChildren();
    for (const e of evidence) {
      const tr = document.createElement('tr');
      tr.appendChild(cell(e[origin]));
      tr.appendChild(cell(seconds3(e.seconds)));
      tr.appendChild(cell(e.speed === null ? '' : e.speed));
      tr.appendChild(cell(hex4(e.keys)));
      tr.appendChild(cell(e.animation + '/' + e.animationFlags));
      tr.appendChild(cell(e.gap));
      body.appendChild(tr);
    }
    drawChart(i);
    const from = evidence.length ? evidence[0].seconds : info.seconds;
    showTimes(from - 5, info.seconds + 5);
    // The screen below shows the column as it was drawn at the warning.
    chooseTime(info.seconds);
  }

  // That player's speed, SPRINT and JUMP around the warning, with the
  // plugin's limit and the suspect packets marked.
  function drawChart(i) {
    const info = data.warningInfo[i], w = data.warnings[i];
    const c = info.chart;
    const evidenceOrigins = new Set(w.warning.evidence.map((e) => e[origin]));
    const sprint = c.keys.map((k) => (k & data.sprintKey ? 1 : 0));
    const jump = c.keys.map((k) => (k & data.jumpKey ? 1 : 0));
    const suspect = c.speed.map((v, k) => (evidenceOrigins.has(c.origin[k]) ? v : null));
    const box = byId('chart');
    if (chart) chart.destroy();
    box.replaceChildren();
    const limit = data.speedLimit;
    chart = new uPlot({
      width: Math.min(1100, timelineWidth()),
      height: 320,
      scales: {
        x: { time: false },
        speed: { auto: true, range: (u, a, b) => [0, Math.max(b === null ? 0 : b, limit) * 1.15] },
        // The keys take the bottom of the chart: SPRINT 0 to 1, JUMP 1.6 to 2.6.
        keys: { auto: false, range: [-0.3, 9] },
      },
      axes: [
        { label: 'seconds from the first event', values: (u, v) => v.map((t) => +t.toFixed(2)) },
        { scale: 'speed', label: 'speed' },
        { scale: 'keys', side: 1, size: 70, grid: { show: false }, splits: () => [0.5, 2.1],
          values: () => ['SPRINT', 'JUMP'] },
      ],
      series: [
        { label: 'time (s)', value: (u, v) => (v === null ? '' : v.toFixed(3)) },
        { label: 'speed', scale: 'speed', stroke: '#1A55C8', width: 1.5, points: { show: true, size: 4 } },
        { label: 'suspect packet', scale: 'speed', stroke: '#D01010', width: 0, paths: () => null,
          points: { show: true, size: 9, fill: '#D01010', stroke: '#D01010' } },
        { label: 'SPRINT held', scale: 'keys', stroke: '#2DB82D', width: 2, points: { show: false },
          paths: uPlot.paths.stepped({ align: 1 }),
          value: (u, v) => (v === null ? '' : v ? 'yes' : 'no') },
        { label: 'JUMP held', scale: 'keys', stroke: '#E08000', width: 2, points: { show: false },
          paths: uPlot.paths.stepped({ align: 1 }),
          value: (u, v) => (v === null ? '' : v ? 'yes' : 'no') },
      ],
      hooks: {
        draw: [(u) => {
          // The plugin's speed limit, and the warning's moment.
          const ctx = u.ctx, { left, top, width, height } = u.bbox;
          const y = u.valToPos(limit, 'speed', true);
          const dpr = devicePixelRatio || 1;
          ctx.save();
          ctx.strokeStyle = '#D01010';
          ctx.setLineDash([6 * dpr, 4 * dpr]);
          ctx.beginPath();
          ctx.moveTo(left, y);
          ctx.lineTo(left + width, y);
          ctx.stroke();
          ctx.fillStyle = '#D01010';
          ctx.font = (11 * dpr) + 'px sans-serif';
          ctx.fillText('speed limit ' + limit, left + 4 * dpr, y - 4 * dpr);
          const x = u.valToPos(info.seconds, 'x', true);
          ctx.setLineDash([2 * dpr, 3 * dpr]);
          ctx.beginPath();
          ctx.moveTo(x, top);
          ctx.lineTo(x, top + height);
          ctx.stroke();
          ctx.fillText('warning', x + 3 * dpr, top + 12 * dpr);
          ctx.restore();
        }],
      },
    }, [c.t, c.speed, suspect, sprint, jump.map((v) => v + 1.6)], box);
    byId('chart-note').textContent =
      'Every sync packet of player ' + w.warning.player + ' from ' + seconds3(c.t.length ? c.t[0] : 0) + ' s to ' +
      seconds3(c.t.length ? c.t[c.t.length - 1] : 0) + ' s (' + c.t.length + ' packets). A packet is suspect ' +
      'above the dashed limit with SPRINT held and no JUMP just before.';
  }

  // ---- players ----

  const playerBody = document.querySelector('#player-table tbody');
  const playerRows = data.players.slice();
  let sortKey = 'player', sortUp = true;
  function showPlayers() {
    const key = sortKey, sign = sortUp ? 1 : -1;
    playerRows.sort((a, b) => {
      const x = a[key], y = b[key];
      if (key === 'name') return sign * String(x === null ? '' : x).localeCompare(String(y === null ? '' : y));
      return sign * (x - y) || a.player - b.player;
    });
    playerBody.replaceChildren();
    for (const p of playerRows) {
      const tr = document.createElement('tr');
      tr.appendChild(cell(p.player));
      const nameCell = cell(undefined, 'text');
      nameCell.appendChild(nameElement(p.player, p.name));
      tr.appendChild(nameCell);
      tr.appendChild(cell(p.syncPackets));
      tr.appendChild(cell(p.suspectPackets, p.suspectPackets ? 'suspect' : undefined));
      tr.appendChild(cell(p.longestRun));
      tr.appendChild(cell(p.warnings, p.warnings ? 'suspect' : undefined));
      tr.appendChild(cell(seconds3(p.spectated)));
      playerBody.appendChild(tr);
    }
    document.querySelectorAll('#player-table th').forEach((th) => {
      const b = th.querySelector('button');
      th.setAttribute('aria-sort', b.dataset.key === key ? (sortUp ? 'ascending' : 'descending') : 'none');
    });
  }
  document.querySelectorAll('#player-table th button').forEach((b) => {
    b.addEventListener('click', () => {
      if (sortKey === b.dataset.key) sortUp = !sortUp;
      else {
        sortKey = b.dataset.key;
        // Counts read best largest first.
        sortUp = sortKey === 'player' || sortKey === 'name';
      }
      showPlayers();
    });
  });
  showPlayers();

  // ---- the screen at any moment ----

  const svgNs = 'http://www.w3.org/2000/svg';
  function svgElement(tag, attributes) {
    const e = document.createElementNS(svgNs, tag);
    for (const [k, v] of Object.entries(attributes)) e.setAttribute(k, String(v));
    return e;
  }
  function showScreen(t) {
    const screen = data.screen;
    const width = screen.width > 0 ? screen.width : 1920, height = screen.height > 0 ? screen.height : 1080;
    const lineHeight = screen.fontHeight > 0 && screen.fontHeight < 10000 ? screen.fontHeight : 14;
    const at = lastAtOrBefore(drawTimes, t);
    const note = byId('screen-note');
    const labels = at < 0 ? [] : data.passes[data.draws[at][1]];
    if (at < 0) {
      note.textContent = 'Nothing was drawn by then.';
    } else {
      const [when, , drawnAt] = data.draws[at];
      note.textContent = 'Drawn so since ' + seconds3(when) + ' s (' + origin + ' ' + drawnAt + '), on a ' +
        width + ' \u00D7 ' + height + ' screen.';
    }
    // Around the column, large enough to read: the labels' box and a margin.
    // (A label is taken as about 120 pixels wide.)
    let bx0 = 0, by0 = 0, bx1 = 120, by1 = 8 * lineHeight;
    if (labels.length) {
      bx0 = Math.min(...labels.map((l) => l[2]));
      by0 = Math.min(...labels.map((l) => l[3]));
      bx1 = Math.max(...labels.map((l) => l[2])) + 120;
      by1 = Math.max(...labels.map((l) => l[3])) + lineHeight;
    }
    const x0 = bx0 - 40, y0 = by0 - 20, x1 = bx1 + 40, y1 = by1 + 20;
    const scale = Math.min(3, 360 / (y1 - y0));
    const near = svgElement('svg', {
      viewBox: [x0, y0, x1 - x0, y1 - y0].join(' '), width: Math.round((x1 - x0) * scale),
      height: Math.round((y1 - y0) * scale), 'font-family': 'Arial, Helvetica, sans-serif', 'font-size': lineHeight,
    });
    near.appendChild(svgElement('rect', { x: x0, y: y0, width: x1 - x0, height: y1 - y0, fill: '#4a5a66' }));
    for (const [text, colour, x, y] of labels) {
      const alpha = parseInt(colour.slice(0, 2), 16) / 255;
      // The shadow one pixel down and right, then the label.
      const shadow = svgElement('text', { x: x + 1, y: y + 0.8 * lineHeight + 1, fill: '#101010', 'fill-opacity': alpha });
      shadow.textContent = text;
      near.appendChild(shadow);
      const label = svgElement('text', { x: x, y: y + 0.8 * lineHeight, fill: cssColour(colour), 'fill-opacity': alpha });
      label.textContent = text;
      label.classList.add('label');
      label.dataset.colour = colour;
      label.dataset.x = String(x);
      label.dataset.y = String(y);
      near.appendChild(label);
    }
    // The whole screen, small, with where the column is.
    const whole = svgElement('svg', { viewBox: '0 0 ' + width + ' ' + height, width: 320,
      height: Math.round(320 * height / width) });
    whole.appendChild(svgElement('rect', { x: 0, y: 0, width: width, height: height, fill: '#4a5a66' }));
    if (labels.length)
      whole.appendChild(svgElement('rect', { x: bx0, y: by0, width: bx1 - bx0, height: by1 - by0,
        fill: '#2DB82D', stroke: '#ffffff', 'stroke-width': width / 320 }));
    byId('screen-box').replaceChildren(near);
    byId('screen-whole').replaceChildren(whole);
  }
  function chooseTime(t) {
    chosenTime = Math.min(Math.max(Number(t) || 0, 0), end);
    const input = byId('screen-time');
    input.value = String(+chosenTime.toFixed(3));
    showScreen(chosenTime);
    timeline.redraw(false);
  }
  byId('screen-time').addEventListener('keydown', (e) => {
    if (e.key === 'Enter') chooseTime(e.target.value);
  });
  byId('screen-time').addEventListener('change', (e) => chooseTime(e.target.value));
  chooseTime(end);
})();
