// The page: the structure's options read from the form (or the link that opened it), solved by a
// pool of Web Workers, each one WebAssembly module; every number it shows is the library's text.
'use strict';

// --- the pool of workers ---

class Cancelled extends Error {}

// Workers taken by tasks in the order asked; a task's promise gives the module's answer.
// Cancelling ends every worker at work (a running WebAssembly call cannot be stopped otherwise)
// and starts fresh ones in their place.
class Pool {
  constructor(size) {
    this.size = size;
    this.workers = [];
    this.queue = [];
    this.nextId = 1;
  }

  run(op, args) {
    return new Promise((resolve, reject) => {
      this.queue.push({ op, args, resolve, reject });
      this.dispatch();
    });
  }

  dispatch() {
    while (this.queue.length > 0) {
      let worker = this.workers.find((w) => !w.task);
      if (!worker && this.workers.length < this.size) worker = this.spawn();
      if (!worker) return;
      const task = this.queue.shift();
      task.id = this.nextId++;
      worker.task = task;
      worker.postMessage({ id: task.id, op: task.op, args: task.args });
    }
  }

  spawn() {
    const worker = new Worker('worker.js');
    worker.task = null;
    worker.onmessage = (event) => {
      const task = worker.task;
      worker.task = null;
      if (task && task.id === event.data.id) task.resolve(event.data.result);
      this.dispatch();
    };
    worker.onerror = (event) => {
      event.preventDefault();
      const task = worker.task;
      this.replace(worker);
      if (task) task.reject(new Error('the solver could not be loaded: ' + (event.message || 'worker failed')));
      this.dispatch();
    };
    this.workers.push(worker);
    return worker;
  }

  replace(worker) {
    worker.terminate();
    this.workers.splice(this.workers.indexOf(worker), 1);
  }

  cancel() {
    for (const task of this.queue) task.reject(new Cancelled());
    this.queue = [];
    for (const worker of this.workers.slice()) {
      if (!worker.task) continue;
      const task = worker.task;
      this.replace(worker);
      task.reject(new Cancelled());
    }
  }
}

const pool = new Pool(Math.max(1, Math.min(navigator.hardwareConcurrency || 2, 4)));

// --- the form ---

const $ = (id) => document.getElementById(id);
let kinds = [];           // from the module: name, description, options
const values = {};        // every field's text by column, kept across structures
const defaults = { structure: 'microstrip', unit: 'mm', w: '0.2', h: '0.1', t: '0.035', er: '4.3' };
const unitOf = /^[+-]?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?(m|mm|um|mil)$/;
const bareNumber = /^[+-]?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?$/;

function kind() { return kinds.find((k) => k.name === $('structure').value); }

function buildOptions() {
  const k = kind();
  $('description').textContent = k.description[0].toUpperCase() + k.description.slice(1) + '.';
  const box = $('options');
  box.replaceChildren();
  for (const o of k.options) {
    const row = document.createElement('div');
    row.className = 'row';
    const label = document.createElement('label');
    label.htmlFor = 'opt-' + o.column;
    label.textContent = o.name;
    const meaning = document.createElement('small');
    meaning.textContent = o.meaning + (o.required ? '' : ' (optional)');
    label.append(meaning);
    const input = document.createElement('input');
    input.id = 'opt-' + o.column;
    input.name = o.column;
    input.inputMode = 'decimal';
    input.autocomplete = 'off';
    input.value = values[o.column] || '';
    input.dataset.length = o.length ? 'yes' : '';
    input.addEventListener('input', () => { values[o.column] = input.value; clearMessage(o.column); });
    input.addEventListener('change', () => checkField(o.column));
    const message = document.createElement('span');
    message.className = 'message';
    message.id = 'message-' + o.column;
    message.setAttribute('role', 'alert');
    row.append(label, input, message);
    box.append(row);
  }
  const lengths = k.options.filter((o) => o.length);
  fillSelect($('dimension'), lengths.map((o) => [o.name, o.name + ': ' + o.meaning]));
  fillSelect($('sweep-option'), k.options.map((o) => [o.name, o.name + ': ' + o.meaning]));
}

function fillSelect(select, entries) {
  const chosen = select.value;
  select.replaceChildren(...entries.map(([value, text]) => new Option(text, value)));
  if (entries.some(([value]) => value === chosen)) select.value = chosen;
}

// A field's text as the library reads it: a bare number takes the unit chosen for lengths.
function withUnit(text, isLength) {
  text = text.trim();
  const unit = $('unit').value;
  return isLength && unit && bareNumber.test(text) ? text + unit : text;
}

// The structure's options as a batch's row gives them: {column: text}, empty fields left out.
function options() {
  const o = {};
  for (const input of $('options').querySelectorAll('input')) {
    if (input.value.trim() !== '') o[input.name] = withUnit(input.value, input.dataset.length === 'yes');
  }
  return o;
}

function clearMessage(field) {
  const message = $('message-' + field);
  if (message) message.textContent = '';
  const input = $('opt-' + field) || $(field);
  if (input) input.removeAttribute('aria-invalid');
}

function clearMessages() {
  for (const m of document.querySelectorAll('.message')) m.textContent = '';
  for (const i of document.querySelectorAll('[aria-invalid]')) i.removeAttribute('aria-invalid');
}

// The library's line beside the field it names, or under the form where it names none shown;
// the results of the inputs before stay, dimmed.
function showFailure(result) {
  for (const id of ['results', 'picture-section', 'sweep-section']) $(id).classList.add('stale');
  const field = (result.option || '').replace(/-/g, '_');
  const message = $('message-' + field) || $('message');
  message.textContent = result.failure;
  const input = $('opt-' + field) || $(field);
  if (input) input.setAttribute('aria-invalid', 'true');
}

async function checkField(column) {
  if (pool.workers.some((w) => w.task)) return;  // the next solve says it anyway
  const result = await pool.run('check', [kind().name, options()]);
  if (result.failure && (result.option || '').replace(/-/g, '_') === column) showFailure(result);
}

// --- the link ---

// The inputs as a query, named as a batch's columns: ?structure=microstrip&w=0.2mm&h=0.1mm&er=4.3
function query() {
  const q = new URLSearchParams({ structure: kind().name });
  for (const [column, text] of Object.entries(options())) q.set(column, text);
  return '?' + q.toString();
}

function updateLink() {
  const url = location.pathname + query();
  history.replaceState(null, '', url);
  $('link').href = url;
}

// The inputs of a link: the structure, each option's text; the unit most lengths carry chosen for
// the form, and stripped where a length carries it.
function readQuery() {
  const q = new URLSearchParams(location.search);
  if (![...q.keys()].length) {
    $('structure').value = defaults.structure;
    $('unit').value = defaults.unit;
    for (const column of ['w', 'h', 't', 'er']) values[column] = defaults[column];
    return;
  }
  $('structure').value = q.get('structure') || defaults.structure;
  const columns = new Set(kinds.flatMap((k) => k.options.map((o) => o.column)));
  const lengths = new Set(kinds.flatMap((k) => k.options.filter((o) => o.length).map((o) => o.column)));
  const counts = {};
  for (const [column, text] of q) {
    if (!columns.has(column)) continue;
    values[column] = text;
    const match = lengths.has(column) ? unitOf.exec(text) : null;
    const unit = match ? match[3] : bareNumber.test(text) && lengths.has(column) ? '' : null;
    if (unit !== null) counts[unit] = (counts[unit] || 0) + 1;
  }
  const units = Object.keys(counts).sort((a, b) => counts[b] - counts[a]);
  const unit = units.length ? units[0] : defaults.unit;
  $('unit').value = unit;
  if (unit) {
    for (const column of lengths) {
      const match = values[column] ? unitOf.exec(values[column]) : null;
      if (match && match[3] === unit) values[column] = values[column].slice(0, -unit.length);
    }
  }
}

// --- work and its progress ---

let started = 0;
let ticker = null;

function busy(text, total) {
  started = performance.now();
  document.body.dataset.state = 'busy';
  $('status').hidden = false;
  $('status-text').textContent = text;
  const progress = $('progress');
  if (total) { progress.max = total; progress.value = 0; } else progress.removeAttribute('value');
  for (const b of document.querySelectorAll('button[type=submit]')) b.disabled = true;
  clearInterval(ticker);
  ticker = setInterval(() => {
    if (!total) $('status-text').textContent = text + ' ' + ((performance.now() - started) / 1000).toFixed(1) + ' s';
  }, 100);
}

function progressed(done, total, text) {
  $('progress').value = done;
  $('status-text').textContent = text + ' ' + done + ' of ' + total;
}

function finished(state, text) {
  clearInterval(ticker);
  document.body.dataset.state = state;
  for (const b of document.querySelectorAll('button[type=submit]')) b.disabled = false;
  $('status').hidden = !text;
  $('status-text').textContent = text || '';
  $('progress').value = $('progress').max || 1;
}

// Runs a piece of work; a cancel or a failure of the solver itself ends it with a line saying so.
async function work(text, total, body) {
  busy(text, total);
  try {
    const state = await body();
    finished(state || 'done', '');
  } catch (error) {
    if (error instanceof Cancelled) finished('cancelled', 'Cancelled.');
    else { finished('error', ''); $('message').textContent = String(error.message || error); }
  }
}

// A download link's text, the link's earlier one let go.
function offer(link, text, type) {
  if (link.href.startsWith('blob:')) URL.revokeObjectURL(link.href);
  link.href = URL.createObjectURL(new Blob([text], { type }));
}

// --- results ---

// The quantities as the library writes them, each name beside its value ± bar; a solved length
// first, its line as plattor-lines prints it, split at the padding after its name.
function showSolution(solution, solvedLine) {
  $('results').hidden = false;
  $('results').classList.remove('stale');
  const body = $('quantities').tBodies[0];
  body.replaceChildren();
  if (solvedLine) {
    const row = body.insertRow();
    row.className = 'solved';
    row.dataset.key = 'solved';
    const [name, ...rest] = solvedLine.split(/ {2,}/);
    row.insertCell().textContent = name;
    row.insertCell().textContent = rest.join(' ');
  }
  for (const q of solution.quantities) {
    const row = body.insertRow();
    row.dataset.key = q.key;
    row.insertCell().textContent = q.name;
    row.insertCell().textContent = q.text;
  }
  // Lines of the report beyond one per quantity: a ladder stopped at its budget says so.
  $('notes').textContent = solution.text.split('\n').slice(solution.quantities.length).join(' ');
  offer($('json'), solution.json + '\n', 'application/json');
}

// The solve and the picture side by side, each on a worker of its own.
async function solveAndDraw(solve, opts, solvedLine) {
  const odd = $('mode').value === 'odd' && 's' in opts;
  const picture = pool.run('picture', [kind().name, opts, odd, 160]);
  picture.catch(() => {});  // its failure is the solve's, shown from there
  const result = await solve;
  if (result.failure) {
    showFailure(result);
    return 'error';
  }
  showSolution(result.solution || result, solvedLine || '');
  drawPicture(await picture);
  return 'done';
}

function solveNow() {
  clearMessages();
  updateLink();
  const opts = options();
  syncMode(opts);
  return work('Solving…', 0, () => solveAndDraw(pool.run('solve', [kind().name, opts]), opts));
}

function solveForNow() {
  clearMessages();
  // The length may be given too: the search then starts there.
  const opts = options();
  const dimension = $('dimension').value;
  syncMode(opts);
  const target = $('quantity').value + '=' + $('target').value.trim();
  return work('Solving for ' + dimension + '…', 0, async () => {
    const result = await pool.run('solveFor', [kind().name, opts, dimension, target]);
    if (result.failure) { showFailure(result); return 'error'; }
    const at = Object.assign({}, opts, { [dimension.replace(/-/g, '_')]: String(result.value) + (lengthUnitOf(result) ? 'm' : '') });
    return solveAndDraw(Promise.resolve(result), at, result.text);
  });
}

// Whether the lengths carried units (the solved length is then in metres): the JSON says.
function lengthUnitOf(result) { return JSON.parse(result.solution.json).structure.lengthUnit === 'm'; }

// A single trace has the even mode alone; a pair's picture shows the odd one unless asked.
function syncMode(opts) {
  const pair = 's' in opts;
  if (pair && $('mode').disabled) $('mode').value = 'odd';
  if (!pair) $('mode').value = 'even';
  $('mode').disabled = !pair;
}

// --- the sweep ---

function sweepText() {
  const name = $('sweep-option').value;
  const option = kind().options.find((o) => o.name === name);
  const ends = [$('sweep-from').value, $('sweep-to').value].map((t) => withUnit(t, option && option.length));
  return name + '=' + ends[0] + ':' + ends[1] + ':' + $('sweep-count').value.trim();
}

function sweepNow() {
  clearMessages();
  const opts = options();
  delete opts[$('sweep-option').value.replace(/-/g, '_')];
  const text = sweepText();
  const k = kind().name;
  return work('Sweeping…', 0, async () => {
    const plan = await pool.run('sweepPlan', [k, opts, text]);
    if (plan.failure) { showFailure(plan); return 'error'; }
    const count = plan.count;
    busy('Points', count);
    const rows = new Array(count);
    const points = new Array(count);
    let done = 0;
    $('sweep-section').hidden = false;
    $('sweep-section').classList.remove('stale');
    $('csv').removeAttribute('href');
    await Promise.all(Array.from({ length: count }, (_, k2) =>
      pool.run('sweepPoint', [k, opts, text, k2]).then((point) => {
        rows[k2] = point.row;
        points[k2] = point;
        progressed(++done, count, 'Points');
        if (done === count || done % Math.max(1, Math.floor(count / 20)) === 0) drawSweep(plan, points);
      })));
    offer($('csv'), plan.header + '\n' + rows.join('\n') + '\n', 'text/csv');
    const failed = points.filter((p) => p.error);
    $('sweep-notes').textContent = failed.length
      ? failed.length + ' of ' + count + ' points have no solution; the first: ' + failed[0].error : '';
    return 'done';
  });
}

// --- drawing ---

const palette = { odd: [[-1, [0x1f, 0x3f, 0xbf]], [0, [0x7a, 0x7a, 0x7a]], [1, [0xc8, 0x1e, 0x1e]]],
                  even: [[0, [0x7a, 0x7a, 0x7a]], [1, [0xc8, 0x1e, 0x1e]]] };

function colourAt(stops, v) {
  for (let k = 1; k < stops.length; k++) {
    if (v <= stops[k][0] || k === stops.length - 1) {
      const [v0, c0] = stops[k - 1], [v1, c1] = stops[k];
      const f = Math.min(1, Math.max(0, (v - v0) / (v1 - v0)));
      return 'rgb(' + c0.map((c, i) => Math.round(c + f * (c1[i] - c))).join(',') + ')';
    }
  }
  return 'black';
}

// Ticks at 1, 2 or 5 times a power of ten, about `count` of them over [a, b].
function ticks(a, b, count) {
  const raw = (b - a) / count;
  const power = Math.pow(10, Math.floor(Math.log10(raw)));
  const step = [1, 2, 5, 10].map((m) => m * power).find((s) => s >= raw);
  const list = [];
  for (let t = Math.ceil(a / step) * step; t <= b + step * 1e-9; t += step) list.push(Math.abs(t) < step * 1e-9 ? 0 : t);
  return list;
}

function tickText(t) { return String(Number(t.toPrecision(6))); }

// Line pieces of the level set φ = level over the grid, cell by cell (marching squares, a saddle
// decided by the cell's mean).
function contour(xs, ys, phi, level, emit) {
  const nx = xs.length;
  const at = (i, j) => phi[j * nx + i];
  for (let j = 0; j + 1 < ys.length; j++) {
    for (let i = 0; i + 1 < nx; i++) {
      const v = [at(i, j), at(i + 1, j), at(i + 1, j + 1), at(i, j + 1)];
      const p = [[xs[i], ys[j]], [xs[i + 1], ys[j]], [xs[i + 1], ys[j + 1]], [xs[i], ys[j + 1]]];
      const crossings = [];
      for (let e = 0; e < 4; e++) {
        const a = v[e], b = v[(e + 1) % 4];
        if ((a < level) !== (b < level)) {
          const f = (level - a) / (b - a);
          const pa = p[e], pb = p[(e + 1) % 4];
          crossings.push([pa[0] + f * (pb[0] - pa[0]), pa[1] + f * (pb[1] - pa[1])]);
        }
      }
      if (crossings.length === 2) emit(crossings[0], crossings[1]);
      else if (crossings.length === 4) {
        const mean = (v[0] + v[1] + v[2] + v[3]) / 4;
        if ((mean < level) === (v[0] < level)) { emit(crossings[0], crossings[1]); emit(crossings[2], crossings[3]); }
        else { emit(crossings[0], crossings[3]); emit(crossings[1], crossings[2]); }
      }
    }
  }
}

let lastPicture = null;

function drawPicture(d) {
  if (!d || d.failure) { $('picture-section').hidden = true; return; }
  lastPicture = d;
  $('picture-section').hidden = false;
  $('picture-section').classList.remove('stale');
  $('picture-title').textContent = d.title + '; ' + d.options;
  const canvas = $('picture');
  const ratio = window.devicePixelRatio || 1;
  const margin = { left: 56, right: 10, top: 10, bottom: 40 };
  const cssWidth = canvas.clientWidth || 600;
  let plotWidth = cssWidth - margin.left - margin.right;
  let plotHeight = plotWidth * (d.y1 - d.y0) / (d.x1 - d.x0);
  const tallest = Math.max(200, 0.7 * window.innerHeight);
  if (plotHeight > tallest) { plotWidth *= tallest / plotHeight; plotHeight = tallest; }
  const cssHeight = plotHeight + margin.top + margin.bottom;
  canvas.style.height = cssHeight + 'px';
  canvas.width = Math.round(cssWidth * ratio);
  canvas.height = Math.round(cssHeight * ratio);
  const g = canvas.getContext('2d');
  g.setTransform(ratio, 0, 0, ratio, 0, 0);
  g.clearRect(0, 0, cssWidth, cssHeight);
  const left = margin.left + (cssWidth - margin.left - margin.right - plotWidth) / 2;
  const px = (x) => left + (x - d.x0) / (d.x1 - d.x0) * plotWidth;
  const py = (y) => margin.top + (d.y1 - y) / (d.y1 - d.y0) * plotHeight;

  // The regions: the raster, drawn to the window.
  const raster = document.createElement('canvas');
  raster.width = d.columns;
  raster.height = d.rows;
  raster.getContext('2d').putImageData(new ImageData(new Uint8ClampedArray(d.image.buffer), d.columns, d.rows), 0, 0);
  g.imageSmoothingEnabled = false;
  g.drawImage(raster, px(d.x0), py(d.y1), plotWidth, plotHeight);

  const segments = (flat, colour, width) => {
    g.strokeStyle = colour;
    g.lineWidth = width;
    g.beginPath();
    for (let k = 0; k < flat.length; k += 4) { g.moveTo(px(flat[k]), py(flat[k + 1])); g.lineTo(px(flat[k + 2]), py(flat[k + 3])); }
    g.stroke();
  };
  g.lineCap = 'round';
  segments(d.interfaces, '#6b6b6b', 1);
  segments(d.outlines, '#7a4a1f', 1.5);
  segments(d.thin, d.key[0].colour, 4);

  // The equipotentials.
  const stops = d.levels[0] < 0 ? palette.odd : palette.even;
  let pieces = 0;
  g.lineWidth = 1.4;
  for (const level of d.levels) {
    g.strokeStyle = colourAt(stops, level);
    g.beginPath();
    contour(d.xs, d.ys, d.potential, level, (a, b) => { g.moveTo(px(a[0]), py(a[1])); g.lineTo(px(b[0]), py(b[1])); pieces++; });
    g.stroke();
  }
  canvas.dataset.contours = String(pieces);

  // The field's arrows.
  g.strokeStyle = g.fillStyle = '#1b7a2a';
  g.lineWidth = 1.1;
  for (let k = 0; k < d.arrows.length; k += 4) {
    const x0 = px(d.arrows[k]), y0 = py(d.arrows[k + 1]);
    const x1 = px(d.arrows[k] + d.arrows[k + 2]), y1 = py(d.arrows[k + 1] + d.arrows[k + 3]);
    const length = Math.hypot(x1 - x0, y1 - y0);
    if (!(length > 0.5)) continue;
    const head = Math.min(6, 0.4 * length), ux = (x1 - x0) / length, uy = (y1 - y0) / length;
    g.beginPath(); g.moveTo(x0, y0); g.lineTo(x1, y1); g.stroke();
    g.beginPath();
    g.moveTo(x1, y1);
    g.lineTo(x1 - head * ux - 0.45 * head * uy, y1 - head * uy + 0.45 * head * ux);
    g.lineTo(x1 - head * ux + 0.45 * head * uy, y1 - head * uy - 0.45 * head * ux);
    g.fill();
  }

  // The frame and its scales.
  g.strokeStyle = '#444';
  g.lineWidth = 1;
  g.strokeRect(px(d.x0), py(d.y1), plotWidth, plotHeight);
  g.fillStyle = '#333';
  g.font = '11px system-ui, sans-serif';
  g.textAlign = 'center';
  g.textBaseline = 'top';
  for (const t of ticks(d.x0, d.x1, Math.max(3, Math.floor(plotWidth / 70)))) {
    g.fillText(tickText(t), px(t), py(d.y0) + 4);
  }
  const unit = d.unit || 'length unit';
  g.fillText('x (' + unit + ')', px((d.x0 + d.x1) / 2), py(d.y0) + 20);
  g.textAlign = 'right';
  g.textBaseline = 'middle';
  for (const t of ticks(d.y0, d.y1, Math.max(2, Math.floor(plotHeight / 50)))) g.fillText(tickText(t), px(d.x0) - 4, py(t));
  g.save();
  g.translate(12, py((d.y0 + d.y1) / 2));
  g.rotate(-Math.PI / 2);
  g.textAlign = 'center';
  g.fillText('y (' + unit + ')', 0, 0);
  g.restore();

  const key = $('picture-key');
  key.replaceChildren();
  const entry = (label, swatch, border, line) => {
    const li = document.createElement('li');
    li.textContent = label;
    li.style.setProperty('--swatch', swatch);
    li.style.setProperty('--border', border);
    if (line) li.className = 'line';
    key.append(li);
  };
  for (const c of d.key) entry(c.label, c.colour, c.border, false);
  entry('equipotentials, 0.1 V apart', colourAt(stops, 0.6), '', true);
  entry('electric field (direction; length grows with |E|)', '#1b7a2a', '', true);
}

const curveColours = ['#1f3fbf', '#c81e1e', '#1b7a2a', '#7a4ab8'];

function svgElement(name, attributes, text) {
  const e = document.createElementNS('http://www.w3.org/2000/svg', name);
  for (const [k, v] of Object.entries(attributes)) e.setAttribute(k, v);
  if (text !== undefined) e.textContent = text;
  return e;
}

// The plotted impedances against the swept option, each point with its bar (drawn to scale, a
// bar is below a line's width).
function drawSweep(plan, points) {
  const svg = $('sweep-plot');
  const width = 640, height = 360, m = { left: 60, right: 14, top: 12, bottom: 44 };
  svg.setAttribute('viewBox', '0 0 ' + width + ' ' + height);
  svg.replaceChildren();
  const solved = [];
  points.forEach((p, k) => { if (p && !p.error) solved.push(k); });
  if (!solved.length) return;
  const xs = plan.xs;
  let x0 = Math.min(...solved.map((k) => xs[k])), x1 = Math.max(...solved.map((k) => xs[k]));
  let y0 = Infinity, y1 = -Infinity;
  for (const k of solved) for (const v of points[k].values) { if (isFinite(v)) { y0 = Math.min(y0, v); y1 = Math.max(y1, v); } }
  if (x1 === x0) { x0 -= Math.abs(x0) * 0.05 || 1; x1 += Math.abs(x1) * 0.05 || 1; }
  if (y1 === y0) { y0 -= Math.abs(y0) * 0.05 || 1; y1 += Math.abs(y1) * 0.05 || 1; }
  const padY = 0.05 * (y1 - y0);
  y0 -= padY; y1 += padY;
  const sx = (x) => m.left + (x - x0) / (x1 - x0) * (width - m.left - m.right);
  const sy = (y) => m.top + (y1 - y) / (y1 - y0) * (height - m.top - m.bottom);
  const axis = svgElement('g', { 'font-size': '11', fill: '#333' });
  for (const t of ticks(x0, x1, 6)) {
    axis.append(svgElement('line', { x1: sx(t), x2: sx(t), y1: m.top, y2: height - m.bottom, stroke: '#e3e3e3' }));
    axis.append(svgElement('text', { x: sx(t), y: height - m.bottom + 15, 'text-anchor': 'middle' }, tickText(t)));
  }
  for (const t of ticks(y0, y1, 6)) {
    axis.append(svgElement('line', { x1: m.left, x2: width - m.right, y1: sy(t), y2: sy(t), stroke: '#e3e3e3' }));
    axis.append(svgElement('text', { x: m.left - 5, y: sy(t) + 4, 'text-anchor': 'end' }, tickText(t)));
  }
  axis.append(svgElement('text', { x: (m.left + width - m.right) / 2, y: height - 8, 'text-anchor': 'middle' }, plan.xLabel));
  axis.append(svgElement('text', { x: 14, y: (m.top + height - m.bottom) / 2, 'text-anchor': 'middle',
    transform: 'rotate(-90 14 ' + (m.top + height - m.bottom) / 2 + ')' }, 'impedance (ohm)'));
  axis.append(svgElement('rect', { x: m.left, y: m.top, width: width - m.left - m.right, height: height - m.top - m.bottom,
    fill: 'none', stroke: '#444' }));
  svg.append(axis);
  const key = $('sweep-key');
  key.replaceChildren();
  plan.shown.forEach((q, c) => {
    const colour = curveColours[c];
    const line = solved.map((k) => sx(xs[k]) + ',' + sy(points[k].values[c])).join(' ');
    svg.append(svgElement('polyline', { points: line, fill: 'none', stroke: colour, 'stroke-width': 2 }));
    for (const k of solved) {
      const v = points[k].values[c], e = points[k].errors[c];
      svg.append(svgElement('line', { x1: sx(xs[k]), x2: sx(xs[k]), y1: sy(v - e), y2: sy(v + e), stroke: colour }));
      svg.append(svgElement('circle', { cx: sx(xs[k]), cy: sy(v), r: 3, fill: colour }));
    }
    const li = document.createElement('li');
    li.className = 'line';
    li.style.setProperty('--swatch', colour);
    li.textContent = q.name + ' ± bar (the bars in the CSV)';
    key.append(li);
  });
}

// --- start ---

async function start() {
  kinds = await pool.run('structures', []);
  fillSelect($('structure'), kinds.map((k) => [k.name, k.name]));
  readQuery();
  const known = Boolean(kind());
  if (!known) $('structure').value = kinds[0].name;
  buildOptions();
  $('structure').addEventListener('change', buildOptions);
  // On a narrow screen the results lie under the form: a solve asked for brings them into view.
  const narrow = window.matchMedia('(max-width: 820px)');
  const thenShow = (id) => () => { if (narrow.matches) $(id).scrollIntoView({ block: 'start' }); };
  $('structure-form').addEventListener('submit', (e) => { e.preventDefault(); solveNow().then(thenShow('outputs')); });
  $('solve-for-form').addEventListener('submit', (e) => { e.preventDefault(); solveForNow().then(thenShow('outputs')); });
  $('sweep-form').addEventListener('submit', (e) => { e.preventDefault(); sweepNow().then(thenShow('sweep-section')); });
  $('cancel').addEventListener('click', () => pool.cancel());
  $('mode').addEventListener('change', () => {
    const opts = options();
    work('Drawing…', 0, async () => { drawPicture(await pool.run('picture', [kind().name, opts, $('mode').value === 'odd', 160])); });
  });
  let resizing = null;
  window.addEventListener('resize', () => {
    clearTimeout(resizing);
    resizing = setTimeout(() => { if (lastPicture) drawPicture(lastPicture); }, 150);
  });
  $('version').textContent = await pool.run('version', []);
  $('mode').value = 'odd';
  if (!known) {  // a link naming a structure there is not: the library's line says so
    showFailure(await pool.run('check', [new URLSearchParams(location.search).get('structure'), {}]));
    finished('error', '');
    return;
  }
  // A link solves at once, as does the first visit (its example).
  await solveNow();
}

start().catch((error) => { $('message').textContent = 'the solver could not start: ' + error; });
