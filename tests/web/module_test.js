// The page's WebAssembly module under Node against the native plattor-lines, for every structure
// example of README.md (a solve, a solve for a length, a sweep): the same report text to its last
// digit, the same structure and levels in the JSON, and every value and bar there within a
// thousandth of the bar (the native build rounds the last bits otherwise: fused multiply-adds in
// its factorisation, glibc's vector and scalar logarithms against the WebAssembly libm's). A bad
// input gives the line plattor-lines prints, naming its option.
// Usage: node module_test.js <web-dir> <plattor-lines> <README.md>
'use strict';
const fs = require('fs');
const path = require('path');
const { spawnSync } = require('child_process');

const [webDir, linesProgram, readme] = process.argv.slice(2);
let failures = 0;
let checks = 0;
function check(ok, what) {
  checks++;
  if (!ok) {
    failures++;
    console.log('FAIL  ' + what);
  }
}

function cli(args) {
  const r = spawnSync(linesProgram, args, { encoding: 'utf8' });
  return { status: r.status, out: r.stdout, err: r.stderr };
}

// The README's runs of plattor-lines on a structure: `$ plattor-lines KIND --opt value … | …`,
// continued over lines ending in '\', the pipe and what follows dropped; a line's losses over
// frequency (--freq) are not on the page, and their runs are left out.
function readmeRuns() {
  const text = fs.readFileSync(readme, 'utf8').replace(/\\\n\s*/g, ' ');
  const runs = [];
  for (const line of text.split('\n')) {
    const m = /^\$ plattor-lines (microstrip|stripline|coplanar) ([^|]*)/.exec(line);
    if (!m || / --freq /.test(m[2])) continue;
    const words = m[2].trim().split(/\s+/);
    const run = { kind: m[1], options: {}, args: [m[1]] };
    for (let k = 0; k < words.length; k += 2) {
      const name = words[k].replace(/^--/, ''), value = words[k + 1];
      if (name === 'picture') continue;  // the page draws its own
      run.args.push(words[k], value);
      if (['solve', 'target', 'sweep'].includes(name)) run[name] = value;
      else run.options[name] = value;
    }
    runs.push(run);
  }
  return runs;
}

// Two JSON texts alike: the same members and texts, whole numbers equal, the quantities'
// values and errors within a thousandth of the native bar.
function sameReport(wasm, native, what) {
  const a = JSON.parse(wasm), b = JSON.parse(native);
  check(JSON.stringify(a.structure) === JSON.stringify(b.structure), what + ': the structure echoed');
  check(JSON.stringify(a.levels) === JSON.stringify(b.levels), what + ': the levels');
  check(JSON.stringify(Object.keys(a)) === JSON.stringify(Object.keys(b)), what + ': the members in order');
  let worstValue = 0, worstError = 0;
  for (const [key, q] of Object.entries(b)) {
    if (!q || typeof q !== 'object' || !('error' in q)) continue;
    const values = [a[key].value].flat(2), bars = [a[key].error].flat(2);
    [q.value].flat(2).forEach((v, i) => {
      const bar = [q.error].flat(2)[i];
      worstValue = Math.max(worstValue, Math.abs(values[i] - v) / bar);
      worstError = Math.max(worstError, Math.abs(bars[i] - bar) / bar);
    });
  }
  check(worstValue <= 1e-3 && worstError <= 1e-3,
        what + ': values ' + worstValue.toExponential(1) + ' and bars ' + worstError.toExponential(1) + ' of a bar apart');
}

(async () => {
  // Node's fetch does not read files: the module gets its code handed over.
  const createPlattor = require(path.resolve(webDir, 'plattor.js'));
  const plattor = await createPlattor({ wasmBinary: fs.readFileSync(path.join(webDir, 'plattor.wasm')) });
  const runs = readmeRuns();
  check(runs.length >= 5, 'README.md has its structure examples (' + runs.length + ' found)');

  for (const run of runs) {
    const what = run.args.join(' ');
    if (run.sweep) {
      // The sweep's CSV: the header and the points' values as plattor-lines writes them, every
      // quantity's cells within a thousandth of the native bar.
      const sweep = new plattor.Sweep(run.kind, run.options, run.sweep);
      const plan = sweep.plan();
      const native = cli(run.args).out.trim().split('\n');
      check(plan.header === native[0], what + ': the CSV header');
      check(plan.count === native.length - 1, what + ': ' + plan.count + ' points');
      const header = native[0].split(',');
      for (let k = 0; k < plan.count; k++) {
        const row = sweep.point(k).row.split(','), expected = native[k + 1].split(',');
        let apart = 0;
        for (let c = 1; c + 1 < header.length; c += 2) {
          if (expected[c] === '' || row[c] === '') {
            if (row[c] !== expected[c]) apart = Infinity;
            continue;
          }
          const bar = Number(expected[c + 1]);
          apart = Math.max(apart, Math.abs(row[c] - expected[c]) / bar, Math.abs(row[c + 1] - bar) / bar);
        }
        check(row[0] === expected[0] && row.length === expected.length && row.at(-1) === expected.at(-1) && apart <= 1e-3,
              what + ': point ' + row[0] + ' (' + apart.toExponential(1) + ' of a bar apart)');
      }
      sweep.delete();
    } else if (run.solve) {
      const solved = plattor.solveFor(run.kind, run.options, run.solve, run.target);
      const native = cli(run.args).out.trimEnd();
      check(solved.text + '\n' + solved.solution.text === native, what + ': the text');
      const json = JSON.parse(cli(run.args.concat('--json')).out);
      check(Math.abs(solved.value - json.solved.value) <= 1e-3 * json.solved.error, what + ': the solved length');
      // The echoed structure holds the solved length as found, which the module's own rounding
      // (no vector math) moves in its last digits: checked just above, it is taken as the native one.
      const report = JSON.parse(solved.solution.json);
      for (const key of Object.keys(json.structure))
        if (json.structure[key] === json.solved.value && report.structure[key] === solved.value)
          report.structure[key] = json.solved.value;
      delete json.solved;
      sameReport(JSON.stringify(report), JSON.stringify(json), what);
    } else {
      const solution = plattor.solve(run.kind, run.options);
      check(solution.text === cli(run.args).out.trimEnd(), what + ': the text');
      sameReport(solution.json, cli(run.args.concat('--json')).out, what);
      // Each quantity's own text is its line's value ± bar and unit.
      const lines = solution.text.split('\n');
      check(solution.quantities.every((q, i) => lines[i].replace(/\s+/g, ' ') === q.name + ' ' + q.text.replace(/\s+/g, ' ')),
            what + ': each quantity\'s text');
    }
  }

  // Bad input: plattor-lines' line, after its "plattor-lines: ", and the option it names.
  const bad = [
    ['microstrip', { w: 'abc', h: '0.1mm', er: '4.3' }, ['--w', 'abc', '--h', '0.1mm', '--er', '4.3'], 'w'],
    ['microstrip', { w: '0.2mm', h: '0.1mm', er: '4.3', mask: '20um' }, ['--w', '0.2mm', '--h', '0.1mm', '--er', '4.3', '--mask', '20um'], 'mask'],
    ['stripline', { w: '0.2', h: '0.3', b: '0.3', er: '4' }, ['--w', '0.2', '--h', '0.3', '--b', '0.3', '--er', '4'], 'h'],
    ['coplanar', { w: '0.2', g: '0.1', h: '0.1', er: '4', mask_er: 'x' }, ['--w', '0.2', '--g', '0.1', '--h', '0.1', '--er', '4', '--mask-er', 'x'], 'mask_er'],
  ];
  for (const [kind, options, args, option] of bad) {
    const r = plattor.solve(kind, options);
    const native = cli([kind].concat(args));
    check(native.status === 1 && 'plattor-lines: ' + r.failure + '\n' === native.err && r.option === option,
          kind + ' ' + args.join(' ') + ': "' + r.failure + '" beside ' + r.option);
  }
  const target = plattor.solveFor('microstrip', { h: '0.2mm', er: '4.3' }, 'w', 'impedance=-5');
  const nativeTarget = cli(['microstrip', '--h', '0.2mm', '--er', '4.3', '--solve', 'w', '--target', 'impedance=-5']);
  check('plattor-lines: ' + target.failure + '\n' === nativeTarget.err && target.option === 'target', 'a bad target: ' + target.failure);

  console.log(checks - failures + ' of ' + checks + ' checks passed');
  process.exit(failures ? 1 : 0);
})();
