// The live gauge bench: one card per module, driven through gauge-host's
// JSON API (/api/). No framework, nothing from the network.
'use strict';

const api = {
  async json(method, path, body) {
    const response = await fetch(path, {
      method,
      headers: body === undefined ? {} : { 'Content-Type': 'application/json' },
      body: body === undefined ? undefined : JSON.stringify(body),
    });
    const answer = await response.json();
    if (!response.ok) throw new ApiError(response.status, answer.error || `HTTP ${response.status}`);
    return answer;
  },
  async picture(name, scale, areas) {
    const response = await fetch(`/api/modules/${encodeURIComponent(name)}/picture?scale=${scale}&areas=${areas ? 1 : 0}`);
    if (!response.ok) {
      const answer = await response.json();
      throw new ApiError(response.status, answer.error || `HTTP ${response.status}`);
    }
    return response.blob();
  },
};

class ApiError extends Error {
  constructor(status, message) {
    super(message);
    this.status = status;
  }
}

const view = { scale: 1, areas: false };
const cards = [];

function element(tag, attributes = {}, ...children) {
  const node = document.createElement(tag);
  for (const [key, value] of Object.entries(attributes)) {
    if (key === 'class') node.className = value;
    else if (key === 'text') node.textContent = value;
    else node.setAttribute(key, value);
  }
  for (const child of children) if (child) node.append(child);
  return node;
}

function formatNumber(value) {
  if (!Number.isFinite(value)) return String(value);
  if (value === 0) return '0';
  const text = Math.abs(value) >= 1e6 || Math.abs(value) < 1e-3 ? value.toExponential(4) : String(+value.toPrecision(7));
  return text;
}

function hex(code) {
  return '0x' + code.toString(16).toUpperCase().padStart(5, '0');
}

function clockTime(ms) {
  const t = new Date(ms);
  const two = (n) => String(n).padStart(2, '0');
  return `${two(t.getHours())}:${two(t.getMinutes())}:${two(t.getSeconds())}.${String(t.getMilliseconds()).padStart(3, '0')}`;
}

// One module's card. Updates are coalesced: while one round trip runs,
// newer values wait, and only the latest of them is sent next.
class Card {
  constructor(module) {
    this.name = module.name;
    this.module = module;
    this.pending = null;
    this.busy = false;
    this.stopped = false;
    this.lastEvent = 0;
    this.variables = new Map();  // id -> { slider, box, after, low, high }
    this.pictureUrl = null;
    this.build();
    if (module.error) this.stop(module.error);
    else this.show(module);
  }

  build() {
    const m = this.module;
    this.node = element('section', { class: 'card', 'data-gauge': m.name });
    const title = element('header', { class: 'card-head' },
      element('h2', { text: m.name }),
      element('span', { class: 'gauge-name', text: m.gauge_name || '' }));
    this.error = element('p', { class: 'error', 'data-role': 'error', hidden: '' });
    this.picture = element('img', { 'data-role': 'picture', alt: `${m.name} gauge`, draggable: 'false' });
    this.picture.addEventListener('click', (event) => this.click(event));
    const bezel = element('div', { class: 'bezel' }, this.picture);

    this.controls = element('div', { class: 'variables' });
    for (const v of m.variables || []) this.controls.append(this.variableRow(v));

    this.sweepVariable = element('select', { 'data-role': 'sweep-variable', title: 'Variable to sweep' });
    for (const v of m.variables || []) this.sweepVariable.append(element('option', { value: v.id, text: `var ${v.id}` }));
    this.sweepButton = element('button', { type: 'button', 'data-role': 'sweep', text: 'Sweep' });
    this.sweepButton.addEventListener('click', () => this.toggleSweep());
    const sweep = element('div', { class: 'sweep' }, element('span', { class: 'label', text: 'Play' }),
      this.sweepVariable, this.sweepButton);
    if (!(m.variables || []).length) sweep.hidden = true;

    this.results = element('tbody');
    const results = element('table', { class: 'results', 'data-role': 'results' },
      element('thead', {}, element('tr', {}, element('th', { text: 'element' }), element('th', { text: 'result' }),
        element('th', { text: 'value' }))), this.results);

    this.events = element('ol', { class: 'events', 'data-role': 'events', reversed: '' });
    const log = element('div', { class: 'log' }, element('h3', { text: 'Events' }), this.events);

    this.node.append(title, this.error, bezel, this.controls, sweep, results, log);
  }

  variableRow(v) {
    const id = String(v.id);
    const low = element('input', { type: 'number', class: 'range-low', value: v.range.low, step: 'any', title: 'low end' });
    const high = element('input', { type: 'number', class: 'range-high', value: v.range.high, step: 'any', title: 'high end' });
    const slider = element('input', { type: 'range', 'data-slider': id, min: v.range.low, max: v.range.high,
      step: 'any', value: v.value });
    const box = element('input', { type: 'number', class: 'value', 'data-variable': id, value: v.value, step: 'any' });
    const after = element('span', { class: 'after', title: 'the value in the module\'s record after the update cycle (highlighted when the module changed it)' });
    const readers = element('span', { class: 'readers', text: v.readers.join(', ') });
    const row = element('div', { class: 'variable' },
      element('div', { class: 'variable-head' }, element('span', { class: 'id', text: `var ${id}` }), readers),
      element('div', { class: 'variable-input' }, slider, box),
      element('div', { class: 'variable-foot' },
        element('span', { class: 'range', title: `range from the ${v.range.source}` }, low, element('span', { text: '–' }), high),
        after));
    slider.addEventListener('input', () => {
      box.value = slider.value;
      this.set({ [id]: Number(slider.value) });
    });
    box.addEventListener('change', () => {
      const value = Number(box.value);
      if (box.value === '' || !Number.isFinite(value)) return;
      slider.value = value;
      this.set({ [id]: value });
    });
    const editRange = () => {
      const lo = Number(low.value), hi = Number(high.value);
      if (!(Number.isFinite(lo) && Number.isFinite(hi) && lo < hi)) return;
      slider.min = lo;
      slider.max = hi;
      slider.value = box.value;
    };
    low.addEventListener('change', editRange);
    high.addEventListener('change', editRange);
    this.variables.set(id, { slider, box, after, low, high });
    return row;
  }

  // Sends `values` (id -> number), merged into what waits.
  set(values) {
    if (this.stopped) return;
    this.pending = Object.assign(this.pending || {}, values);
    this.pump();
  }

  // Shows a new picture (after a view change or a click).
  refresh() {
    if (this.stopped) return;
    this.pending = this.pending || {};
    this.pump();
  }

  async pump() {
    if (this.busy || !this.pending) return;
    this.busy = true;
    try {
      while (this.pending && !this.stopped) {
        const values = this.pending;
        this.pending = null;
        const state = Object.keys(values).length
          ? await api.json('POST', `/api/modules/${encodeURIComponent(this.name)}/variables`, values)
          : null;
        const blob = await api.picture(this.name, view.scale, view.areas);
        await this.showPicture(blob);
        if (state) this.show(state);
        this.node.dispatchEvent(new CustomEvent('gauge-frame', { detail: state }));
      }
    } catch (error) {
      this.fail(error);
    } finally {
      this.busy = false;
    }
  }

  async showPicture(blob) {
    const url = URL.createObjectURL(blob);
    this.picture.src = url;
    await this.picture.decode();
    if (this.pictureUrl) URL.revokeObjectURL(this.pictureUrl);
    this.pictureUrl = url;
  }

  show(state) {
    this.node.dataset.cycles = state.cycles;
    for (const v of state.variables || []) {
      const row = this.variables.get(String(v.id));
      if (!row) continue;
      if (document.activeElement !== row.box && document.activeElement !== row.slider) {
        row.box.value = +v.value.toPrecision(7);
        row.slider.value = v.value;
      }
      row.after.textContent = `after cycle ${formatNumber(v.module_value)}`;
      row.after.classList.toggle('changed', v.module_value !== v.value);
    }
    this.results.replaceChildren();
    for (const e of state.elements || []) {
      const role = e.role.replace(/^element\[\d+\] /, '');
      for (const r of e.results) {
        this.results.append(element('tr', {}, element('td', { text: role }), element('td', { text: r.name }),
          element('td', { class: 'number', text: formatNumber(r.value) })));
      }
      if (e.text !== undefined) {
        this.results.append(element('tr', {}, element('td', { text: role }), element('td', { text: 'readout text' }),
          element('td', { class: 'text', text: `"${e.text}"` })));
      }
    }
    for (const event of state.events || []) {
      if (event.sequence <= this.lastEvent) continue;
      this.lastEvent = event.sequence;
      this.events.prepend(element('li', { 'data-code': hex(event.code) },
        element('code', { class: 'code', text: hex(event.code) }),
        element('span', { class: 'parameter', text: `parameter ${event.parameter}` }),
        element('time', { text: clockTime(event.time_ms) })));
    }
  }

  async click(event) {
    if (this.stopped) return;
    const box = this.picture.getBoundingClientRect();
    const x = Math.floor((event.clientX - box.left) * this.module.width / box.width);
    const y = Math.floor((event.clientY - box.top) * this.module.height / box.height);
    try {
      const answer = await api.json('POST', `/api/modules/${encodeURIComponent(this.name)}/click`, { x, y });
      this.show(answer.state);
      this.refresh();
    } catch (error) {
      this.fail(error);
    }
  }

  toggleSweep() {
    if (this.sweep) {
      this.stopSweep();
      return;
    }
    const row = this.variables.get(this.sweepVariable.value);
    const lo = Number(row.slider.min), hi = Number(row.slider.max);
    const period = 4000;  // low to high and back
    const start = performance.now();
    this.sweepButton.textContent = 'Stop';
    this.sweepButton.classList.add('active');
    const step = (now) => {
      if (!this.sweep) return;
      const phase = ((now - start) % period) / period;
      const value = lo + (hi - lo) * (phase < 0.5 ? phase * 2 : 2 - phase * 2);
      row.slider.value = value;
      row.box.value = +value.toPrecision(6);
      this.set({ [this.sweepVariable.value]: value });
      this.sweep = requestAnimationFrame(step);
    };
    this.sweep = requestAnimationFrame(step);
  }

  stopSweep() {
    if (this.sweep) cancelAnimationFrame(this.sweep);
    this.sweep = null;
    this.sweepButton.textContent = 'Sweep';
    this.sweepButton.classList.remove('active');
  }

  reads(id) {
    return this.variables.has(String(id));
  }

  fail(error) {
    if (error instanceof ApiError && error.status === 409) this.stop(error.message);
    else this.showError(error.message);
  }

  showError(message) {
    this.error.textContent = message;
    this.error.hidden = false;
  }

  // The module faulted: its card shows why and takes no more input.
  stop(message) {
    this.stopped = true;
    this.stopSweep();
    this.showError(message);
    this.node.classList.add('stopped');
    for (const input of this.node.querySelectorAll('input, select, button')) input.disabled = true;
  }
}

// A recorded profile: a CSV file whose first column is time_s and whose
// other columns are variable ids, played back by linear interpolation.
const profile = {
  rows: null,  // [[t, v1, v2, ...]]
  ids: [],
  frame: null,

  parse(text) {
    const lines = text.split(/\r?\n/).map((l) => l.trim()).filter((l) => l && !l.startsWith('#'));
    if (lines.length < 2) throw new Error('a profile needs a header and at least one row');
    const header = lines[0].split(',').map((h) => h.trim());
    if (header[0] !== 'time_s') throw new Error('the first column of a profile must be time_s');
    const ids = header.slice(1);
    for (const id of ids) if (!/^-?\d+$/.test(id)) throw new Error(`"${id}" is not a variable id`);
    const rows = lines.slice(1).map((line, n) => {
      const cells = line.split(',').map(Number);
      if (cells.length !== header.length || cells.some((c) => !Number.isFinite(c)))
        throw new Error(`line ${n + 2} of the profile does not hold ${header.length} numbers`);
      return cells;
    });
    for (let i = 1; i < rows.length; ++i)
      if (!(rows[i][0] > rows[i - 1][0])) throw new Error(`time_s does not rise at line ${i + 2}`);
    this.rows = rows;
    this.ids = ids;
  },

  at(t) {
    const rows = this.rows;
    let i = 0;
    while (i + 1 < rows.length && rows[i + 1][0] <= t) ++i;
    const a = rows[i], b = rows[Math.min(i + 1, rows.length - 1)];
    const f = b[0] > a[0] ? Math.min(Math.max((t - a[0]) / (b[0] - a[0]), 0), 1) : 0;
    const values = {};
    this.ids.forEach((id, k) => { values[id] = a[k + 1] + (b[k + 1] - a[k + 1]) * f; });
    return values;
  },

  play() {
    const button = document.getElementById('profile-play');
    const status = document.getElementById('profile-status');
    if (this.frame) {
      cancelAnimationFrame(this.frame);
      this.frame = null;
      button.textContent = 'Play';
      button.classList.remove('active');
      return;
    }
    const speed = Number(document.getElementById('profile-speed').value);
    const begin = this.rows[0][0], end = this.rows[this.rows.length - 1][0];
    const start = performance.now();
    button.textContent = 'Stop';
    button.classList.add('active');
    const step = (now) => {
      const t = Math.min(begin + (now - start) / 1000 * speed, end);
      const values = this.at(t);
      for (const card of cards) {
        const own = {};
        for (const [id, value] of Object.entries(values)) if (card.reads(id)) own[id] = value;
        if (Object.keys(own).length) card.set(own);
      }
      status.textContent = `t = ${t.toFixed(1)} s of ${end.toFixed(0)} s`;
      document.body.dataset.profileTime = t.toFixed(3);
      if (t < end) this.frame = requestAnimationFrame(step);
      else this.play();  // ends: back to Play
    };
    this.frame = requestAnimationFrame(step);
  },
};

async function loadProfile(file) {
  const status = document.getElementById('profile-status');
  const button = document.getElementById('profile-play');
  try {
    profile.parse(await file.text());
    const end = profile.rows[profile.rows.length - 1][0];
    status.textContent = `${file.name}: ${profile.rows.length} rows, ${end} s, variables ${profile.ids.join(', ')}`;
    button.disabled = false;
  } catch (error) {
    status.textContent = error.message;
    button.disabled = true;
  }
}

async function start() {
  const scale = document.getElementById('scale');
  const areas = document.getElementById('areas');
  scale.addEventListener('change', () => {
    view.scale = Number(scale.value);
    for (const card of cards) card.refresh();
  });
  areas.addEventListener('change', () => {
    view.areas = areas.checked;
    for (const card of cards) card.refresh();
  });
  document.getElementById('profile-file').addEventListener('change', (event) => {
    if (event.target.files.length) loadProfile(event.target.files[0]);
  });
  document.getElementById('profile-play').addEventListener('click', () => profile.play());

  try {
    const { modules } = await api.json('GET', '/api/modules');
    const panel = document.getElementById('panel');
    for (const module of modules) {
      const card = new Card(module);
      cards.push(card);
      panel.append(card.node);
      card.refresh();
    }
    document.body.dataset.ready = 'true';
  } catch (error) {
    const line = document.getElementById('load-error');
    line.textContent = `cannot reach the bench: ${error.message}`;
    line.hidden = false;
  }
}

start();
