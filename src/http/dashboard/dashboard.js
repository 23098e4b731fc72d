'use strict';
// The dashboard: the live figures follow the event stream, the record's bars come from
// /api/history. Times are the program's local times (the offset of its latest packet), not the
// browser's, so that "today" and the hours on the axes are the meter's.
(() => {
  const $ = (id) => document.getElementById(id);
  const MINUTE = 60e3;
  const WATCHDOG_MS = 20e3; // the server sends a status every 5 s

  const state = {
    staleAfter: 3,
    age: null, // s, as of ageAt (performance.now())
    ageAt: 0,
    programMs: null, // the program's clock as of programAt
    programAt: 0,
    offsetMin: null,
    today: null,
    packets: 0,
    linkUp: null,
    streamOpen: false,
    lastEventAt: 0,
    tokenNeeded: false,
    recordOff: false,
  };

  // ---- formatting
  const fixed = (v, digits) => (Number.isFinite(v) ? v.toFixed(digits) : '–');
  const watts = (w) => fixed(w, Math.abs(w) >= 100 ? 0 : 1);
  const kWh = (ws) => fixed(ws / 3.6e6, 3);
  const money = (v) => fixed(v, 2);

  function setText(id, text) {
    const el = $(id);
    if (el.textContent !== text) el.textContent = text;
  }

  function offsetOf(iso) {
    const m = /([+-])(\d\d):?(\d\d)$/.exec(iso);
    if (m) return (m[1] === '-' ? -1 : 1) * (Number(m[2]) * 60 + Number(m[3]));
    return iso.endsWith('Z') ? 0 : null;
  }
  // "YYYY-MM-DDTHH:MM:SS" of an instant on the program's wall clock.
  function programIso(ms) {
    const offset = state.offsetMin ?? -new Date(ms).getTimezoneOffset();
    return new Date(ms + offset * MINUTE).toISOString().slice(0, 19);
  }
  function programNow() {
    if (state.programMs === null) return Date.now();
    return state.programMs + (performance.now() - state.programAt);
  }
  function shiftDay(day, by) {
    const [y, m, d] = day.split('-').map(Number);
    return new Date(Date.UTC(y, m - 1, d + by)).toISOString().slice(0, 10);
  }
  function nextMonth(day) {
    const [y, m] = day.split('-').map(Number);
    return new Date(Date.UTC(y, m, 1)).toISOString().slice(0, 7);
  }
  function ageText(s) {
    if (s < 60) return `${Math.floor(s)} s`;
    if (s < 3600) return `${Math.floor(s / 60)} min`;
    return `${Math.floor(s / 3600)} h`;
  }
  function color(name) {
    return getComputedStyle(document.documentElement).getPropertyValue(name).trim();
  }

  // ---- requests
  class HttpError extends Error {
    constructor(status, text) {
      super(text || `HTTP ${status}`);
      this.status = status;
    }
  }
  async function getJson(url) {
    const answer = await fetch(url, { credentials: 'same-origin', cache: 'no-store' });
    if (answer.status === 401) tokenNeeded();
    if (!answer.ok) throw new HttpError(answer.status, (await answer.text()).trim());
    return answer.json();
  }
  function tokenNeeded() {
    state.tokenNeeded = true;
    const notice = $('notice');
    notice.textContent = 'Access token needed: open this page with ?token=…';
    notice.hidden = false;
    if (stream) stream.close();
  }

  // ---- the event stream
  let stream = null;
  function connect() {
    if (state.tokenNeeded) return;
    stream = new EventSource('api/events');
    stream.addEventListener('open', () => { state.streamOpen = true; seen(); renderState(); });
    stream.addEventListener('hello', (e) => readEvent(e, (d) => {
      if (Number.isFinite(d.stale_after_s)) state.staleAfter = d.stale_after_s;
    }));
    stream.addEventListener('live', (e) => readEvent(e, onLive));
    stream.addEventListener('status', (e) => readEvent(e, onStatus));
    stream.addEventListener('error', () => {
      state.streamOpen = false;
      renderState();
      // CONNECTING: the browser retries by itself; CLOSED: the server refused the stream.
      if (stream.readyState === EventSource.CLOSED) reconnectLater();
    });
  }
  function readEvent(event, handle) {
    seen();
    let data;
    try {
      data = JSON.parse(event.data);
    } catch {
      return;
    }
    handle(data);
    renderState();
  }
  function seen() {
    state.lastEventAt = performance.now();
  }
  function reconnectLater() {
    stream.close();
    fetch('api/live', { credentials: 'same-origin', cache: 'no-store' }).then((answer) => {
      if (answer.status === 401) tokenNeeded();
    }, () => {}).finally(() => {
      if (!state.tokenNeeded) setTimeout(connect, 5000);
    });
  }
  // A connection that went quiet (a laptop that slept, a lost route) never says so itself.
  function watchStream() {
    if (!stream || state.tokenNeeded || stream.readyState !== EventSource.OPEN) return;
    if (performance.now() - state.lastEventAt < WATCHDOG_MS) return;
    stream.close();
    state.streamOpen = false;
    connect();
  }

  function onLive(d) {
    state.packets += 1;
    document.body.dataset.packets = String(state.packets);
    onStatus(d);
    const ms = Date.parse(d.time);
    if (Number.isFinite(ms)) {
      state.offsetMin = offsetOf(d.time);
      state.programMs = ms + (Number(d.age) || 0) * 1000;
      state.programAt = performance.now();
      setToday(d.time.slice(0, 10));
      live.append(ms, d.power1, d.power2);
    }
    showFigures(d);
  }
  function onStatus(d) {
    state.linkUp = d.link === 'up';
    state.age = Number.isFinite(d.age) ? d.age : null;
    state.ageAt = performance.now();
  }
  function showFigures(d) {
    for (const c of [1, 2]) {
      setText(`power${c}`, watts(d[`power${c}`]));
      setText(`current${c}`, fixed(d[`current${c}`], 2));
      setText(`pf${c}`, fixed(d[`pf${c}`], 2));
      setText(`energy${c}`, fixed(d[`energy${c}`], 3));
      setText(`energy${c}_polar`, fixed(d[`energy${c}_polar`], 3));
      if (d[`energy${c}_polar`] > 0 || d[`power${c}`] < 0) showGenerated(c);
    }
    setText('voltage', fixed(d.voltage, 1));
    setText('time', d.time ? d.time.slice(11, 19) : '–');
  }
  function showGenerated(channel) {
    for (const el of document.querySelectorAll(`.gen${channel}`)) el.hidden = false;
  }

  function renderState() {
    const age = state.age === null ? null : state.age + (performance.now() - state.ageAt) / 1000;
    const stopped = age === null || age > state.staleAfter;
    const ageEl = $('age');
    setText('age', age === null ? 'none yet' : ageText(age));
    ageEl.classList.toggle('stale', age !== null && stopped);
    pill('link', state.linkUp === null ? 'Link –' : `Link ${state.linkUp ? 'up' : 'down'}`, state.linkUp);
    let text = 'Stream live';
    if (state.tokenNeeded) text = 'Stream refused';
    else if (!state.streamOpen) text = 'Stream reconnecting';
    else if (stopped) text = 'Stream stopped';
    pill('stream', text, text === 'Stream live');
    document.body.dataset.stream = text.slice(7);
  }
  function pill(id, text, ok) {
    setText(id, text);
    $(id).classList.toggle('ok', ok === true);
    $(id).classList.toggle('bad', ok === false);
  }

  function setToday(day) {
    if (day === state.today) return;
    const first = state.today === null;
    state.today = day;
    setText('today-date', day);
    if (!first) refreshRecord(); // a new day: new hours, perhaps a new month
  }

  // ---- charts (dashboard-charts.js)
  const charts = window.orvoDashboardCharts({
    $, color, setText, programNow, programIso, shiftDay, nextMonth, fixed, watts, kWh, money,
  });
  const { live, record, VIEWS } = charts;

  // ---- the record: today's figures and the bars
  function recordOff(off) {
    state.recordOff = off;
    $('record-off').hidden = !off;
    $('record').hidden = off;
  }
  async function history(query) {
    try {
      const report = await getJson(`api/history?${query}`);
      recordOff(false);
      return report;
    } catch (error) {
      if (error.status === 503) recordOff(true);
      else if (error.status !== 401) setText('record-total', `The record could not be read: ${error.message}`);
      return null;
    }
  }
  function showToday(total) {
    for (const c of [1, 2]) {
      setText(`today${c}`, kWh(total[`ch${c}_ws`]));
      setText(`generated${c}`, kWh(total[`ch${c}_generated_ws`]));
      if (total[`ch${c}_generated_ws`] > 0) showGenerated(c);
    }
    setText('today-energy', kWh(total.ch1_ws + total.ch2_ws));
    setText('today-cost', money(total.cost));
  }
  async function refreshRecord() {
    if (state.tokenNeeded) return;
    const today = await history(VIEWS.hours.query(state.today));
    if (!today) return;
    showToday(today.total);
    if (record.view === 'hours') return record.show(today);
    const report = await history(VIEWS[record.view].query(state.today));
    if (report) record.show(report);
  }
  async function seedLive() {
    const report = await history(`from=${shiftDay(state.today, -1)}&to=${shiftDay(state.today, 1)}&step=minute`);
    if (report) live.seed(report.rows);
  }

  // ---- controls
  function choice(groupId, key, pick) {
    const buttons = $(groupId).querySelectorAll('button');
    for (const button of buttons) {
      button.addEventListener('click', () => {
        for (const other of buttons) other.setAttribute('aria-pressed', String(other === button));
        pick(button.dataset[key]);
      });
    }
  }
  function controls() {
    choice('live-range', 'range', (range) => { live.range = range; live.draw(); });
    choice('record-view', 'view', (view) => { record.view = view; refreshRecord(); });
    $('record-stacked').addEventListener('change', (e) => { record.stacked = e.target.checked; record.draw(); });
    matchMedia('(prefers-color-scheme: dark)').addEventListener('change', () => {
      if (typeof Chart === 'undefined') return;
      charts.recolor();
      live.draw();
      record.draw();
    });
  }

  let ticks = 0;
  function tick() {
    renderState();
    watchStream();
    if (++ticks % 10 === 0) live.draw(); // the window slides on while no packet comes
    if (state.programMs !== null) setToday(programIso(programNow()).slice(0, 10));
  }

  async function start() {
    controls();
    if (typeof Chart !== 'undefined') charts.recolor();
    live.create();
    record.create();
    let latest = null;
    try {
      latest = await getJson('api/live');
    } catch {
      // 503 before the first packet: the stream brings it
    }
    if (state.tokenNeeded) return renderState();
    setToday(latest && latest.time ? latest.time.slice(0, 10) : new Date().toLocaleDateString('sv'));
    connect();
    renderState();
    setInterval(tick, 1000);
    setInterval(refreshRecord, MINUTE);
    await refreshRecord();
    if (!state.recordOff) await seedLive();
  }

  start();
})();
