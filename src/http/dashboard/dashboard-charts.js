'use strict';
// The dashboard's charts: the live power of the last day and the record's bars. Kept apart from
// the page's stream and figures; the page hands over its helpers (the program's clock and the
// formats) and draws through what this returns.
window.orvoDashboardCharts = ({ $, color, setText, programNow, programIso, shiftDay, nextMonth, fixed, watts, kWh, money }) => {
  const MINUTE = 60e3;
  const HOUR = 60 * MINUTE;
  const DAY = 24 * HOUR;
  const RANGES = { '15m': 15 * MINUTE, '1h': HOUR, '24h': DAY };
  const TICKS = { '15m': 5 * MINUTE, '1h': 10 * MINUTE, '24h': 3 * HOUR };
  const MONTHS = ['Jan', 'Feb', 'Mar', 'Apr', 'May', 'Jun', 'Jul', 'Aug', 'Sep', 'Oct', 'Nov', 'Dec'];
  // A page left open for days must not grow: points past these are thinned or dropped.
  const MAX_POINTS = 4000;
  function chartUnavailable(canvas) {
    const p = document.createElement('p');
    p.className = 'unavailable';
    p.textContent = 'The chart is unavailable (chart.js did not load).';
    canvas.replaceWith(p);
  }
  function chartDefaults() {
    Chart.defaults.color = color('--muted');
    Chart.defaults.borderColor = color('--line');
    Chart.defaults.font.family = getComputedStyle(document.body).fontFamily;
  }

  const live = {
    series: [[], []],
    chart: null,
    range: '15m',
    appended: 0,
    append(ms, w1, w2) {
      if (!Number.isFinite(w1) || !Number.isFinite(w2)) return;
      this.series[0].push({ x: ms, y: w1 });
      this.series[1].push({ x: ms, y: w2 });
      if (++this.appended % 30 === 0) this.compact();
      this.draw();
    },
    // Average watts of each minute of the record, before the live points.
    seed(rows) {
      const firstLive = this.series[0].length ? this.series[0][0].x : Infinity;
      const from = programNow() - DAY;
      const seeded = [[], []];
      for (const row of rows) {
        const start = Date.parse(row.start);
        const seconds = (Date.parse(row.end) - start) / 1000;
        if (!(start >= from && start < firstLive && seconds > 0) || row.incomplete) continue;
        for (const c of [0, 1]) {
          const ws = row[`ch${c + 1}_ws`] - row[`ch${c + 1}_generated_ws`];
          seeded[c].push({ x: start, y: row.packets > 0 ? ws / seconds : null });
        }
      }
      this.series = this.series.map((points, c) => seeded[c].concat(points));
      this.compact();
      this.draw();
    },
    // Full detail for the last 15 minutes, one point per 10 s to an hour, per minute beyond.
    compact() {
      const now = programNow();
      this.series = this.series.map((points) => {
        const kept = [];
        let last = -Infinity;
        for (const p of points) {
          const age = now - p.x;
          if (age > DAY) continue;
          const spacing = age > HOUR ? MINUTE : age > 15 * MINUTE ? 10e3 : 0;
          if (p.y !== null && p.x - last < spacing) continue;
          kept.push(p);
          if (p.y !== null) last = p.x;
        }
        return kept.slice(-MAX_POINTS);
      });
      if (this.chart) this.chart.data.datasets.forEach((set, c) => { set.data = this.series[c]; });
    },
    create() {
      const canvas = $('live-chart');
      if (typeof Chart === 'undefined') return chartUnavailable(canvas);
      const dataset = (label, c) => ({
        label, data: this.series[c], borderColor: color(`--ch${c + 1}`),
        backgroundColor: color(`--ch${c + 1}`), pointRadius: 0, borderWidth: 2, spanGaps: false,
      });
      this.chart = new Chart(canvas, {
        type: 'line',
        data: { datasets: [dataset('Channel 1', 0), dataset('Channel 2', 1)] },
        options: {
          animation: false, parsing: false, normalized: true, responsive: true, maintainAspectRatio: false,
          interaction: { mode: 'nearest', axis: 'x', intersect: false },
          scales: {
            x: { type: 'linear', ticks: { includeBounds: false, callback: (v) => programIso(v).slice(11, 16) } },
            y: { beginAtZero: true, title: { display: true, text: 'W' } },
          },
          plugins: {
            tooltip: {
              callbacks: {
                title: (items) => programIso(items[0].parsed.x).replace('T', ' '),
                label: (item) => `${item.dataset.label}: ${watts(item.parsed.y)} W`,
              },
            },
          },
        },
      });
      this.draw();
    },
    draw() {
      if (!this.chart) return;
      const now = programNow();
      this.chart.options.scales.x.min = now - RANGES[this.range];
      this.chart.options.scales.x.max = now;
      this.chart.options.scales.x.ticks.stepSize = TICKS[this.range];
      this.chart.update('none');
    },
  };

  const VIEWS = {
    hours: {
      query: (t) => `from=${t}&to=${shiftDay(t, 1)}&step=hour`,
      label: (start) => start.slice(11, 16),
    },
    days: {
      query: (t) => `from=${t.slice(0, 7)}&to=${nextMonth(t)}&step=day`,
      label: (start) => String(Number(start.slice(8, 10))),
    },
    months: {
      query: (t) => `from=${t.slice(0, 4)}&to=${Number(t.slice(0, 4)) + 1}&step=month`,
      label: (start) => MONTHS[Number(start.slice(5, 7)) - 1],
    },
  };

  const patterns = new Map();
  // Gaps are hatched: their energy is the counters' difference across the gap, not measured.
  function hatch(fill) {
    if (!patterns.has(fill)) {
      const tile = document.createElement('canvas');
      tile.width = tile.height = 8;
      const g = tile.getContext('2d');
      g.fillStyle = fill;
      g.globalAlpha = 0.3;
      g.fillRect(0, 0, 8, 8);
      g.globalAlpha = 1;
      g.strokeStyle = fill;
      g.lineWidth = 2;
      g.beginPath();
      g.moveTo(0, 8);
      g.lineTo(8, 0);
      g.stroke();
      patterns.set(fill, g.createPattern(tile, 'repeat'));
    }
    return patterns.get(fill);
  }

  const record = {
    view: 'hours',
    stacked: false,
    rows: [],
    chart: null,
    show(report) {
      this.rows = report.rows;
      const el = $('record');
      el.dataset.view = this.view;
      el.dataset.bars = String(this.rows.length);
      el.dataset.gaps = String(this.rows.filter((r) => r.gap).length);
      this.total(report.total);
      this.table();
      this.draw();
    },
    total(t) {
      const generated = t.ch1_generated_ws + t.ch2_generated_ws;
      const gaps = this.rows.filter((r) => r.gap).length;
      let text = `Total ${kWh(t.ch1_ws + t.ch2_ws)} kWh (channel 1 ${kWh(t.ch1_ws)}, channel 2 ${kWh(t.ch2_ws)})`;
      if (generated > 0) text += `, generated ${kWh(generated)} kWh`;
      text += `, cost ${money(t.cost)}`;
      if (gaps > 0) text += ` · ${gaps} with a gap (hatched)`;
      setText('record-total', text);
    },
    table() {
      const body = $('record-rows');
      const lines = this.rows.map((row) => {
        const tr = document.createElement('tr');
        tr.dataset.gap = String(row.gap);
        tr.classList.toggle('gap', row.gap);
        const cells = [VIEWS[this.view].label(row.start), kWh(row.ch1_ws), kWh(row.ch2_ws), money(row.cost),
          row.gap ? 'gap' : ''];
        for (const text of cells) tr.appendChild(document.createElement('td')).textContent = text;
        return tr;
      });
      body.replaceChildren(...lines);
    },
    datasets() {
      const fill = (c) => (ctx) => {
        const row = this.rows[ctx.dataIndex];
        return row && row.gap ? hatch(color(`--ch${c}`)) : color(`--ch${c}`);
      };
      const set = (label, c, values) => ({
        label, data: values, backgroundColor: fill(c), borderColor: color(`--ch${c}`), borderWidth: 0,
        stack: this.stacked ? 'all' : `ch${c}`,
      });
      const sets = [1, 2].map((c) => set(`Channel ${c}`, c, this.rows.map((r) => r[`ch${c}_ws`] / 3.6e6)));
      for (const c of [1, 2]) {
        if (this.rows.some((r) => r[`ch${c}_generated_ws`] > 0)) {
          const generated = set(`Channel ${c} generated`, c, this.rows.map((r) => -r[`ch${c}_generated_ws`] / 3.6e6));
          generated.borderWidth = 1;
          generated.backgroundColor = 'transparent';
          sets.push(generated);
        }
      }
      if (this.rows.some((r) => r.gap)) {
        sets.push({ label: 'Gap (estimated)', data: [], backgroundColor: hatch(color('--gap')) });
      }
      return sets;
    },
    draw() {
      if (!this.chart) return;
      this.chart.data.labels = this.rows.map((r) => VIEWS[this.view].label(r.start));
      this.chart.data.datasets = this.datasets();
      this.chart.options.scales.x.stacked = true;
      this.chart.options.scales.y.stacked = true;
      this.chart.update('none');
    },
    create() {
      const canvas = $('record-chart');
      if (typeof Chart === 'undefined') {
        $('record-details').open = true;
        return chartUnavailable(canvas);
      }
      this.chart = new Chart(canvas, {
        type: 'bar',
        data: { labels: [], datasets: [] },
        options: {
          animation: false, responsive: true, maintainAspectRatio: false,
          scales: { x: { stacked: true }, y: { stacked: true, title: { display: true, text: 'kWh' } } },
          plugins: {
            tooltip: {
              callbacks: {
                label: (item) => `${item.dataset.label}: ${fixed(Math.abs(item.parsed.y), 3)} kWh`,
                footer: (items) => this.footer(items[0]),
              },
            },
          },
        },
      });
      this.draw();
    },
    footer(item) {
      const row = item && this.rows[item.dataIndex];
      if (!row) return '';
      return `Cost ${money(row.cost)}${row.gap ? ' · gap: estimated' : ''}${row.incomplete ? ' · incomplete' : ''}`;
    },
  };


  // The colours follow the browser's scheme: the charts take them anew when it changes.
  function recolor() {
    patterns.clear();
    chartDefaults();
    live.chart?.data.datasets.forEach((set, c) => { set.borderColor = set.backgroundColor = color(`--ch${c + 1}`); });
  }

  return { live, record, VIEWS, recolor };
};
