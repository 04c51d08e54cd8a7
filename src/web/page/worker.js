// One solver of the page's pool: the WebAssembly module in a Web Worker, so that a solve never
// holds up the page. A message {id, op, args} calls the module's function `op`; the answer goes
// back as {id, result}. A sweep's points come as "sweepPoint" messages, the sweep planned once
// for all the points this worker takes.
importScripts('plattor.js');

const ready = createPlattor();
let sweep = null;
let sweepKey = '';

function sweepOf(module, kind, options, text) {
  const key = JSON.stringify([kind, options, text]);
  if (key !== sweepKey) {
    if (sweep) sweep.delete();
    sweep = new module.Sweep(kind, options, text);
    sweepKey = key;
  }
  return sweep;
}

self.onmessage = async (event) => {
  const { id, op, args } = event.data;
  let result;
  try {
    const module = await ready;
    if (op === 'sweepPlan') result = sweepOf(module, ...args).plan();
    else if (op === 'sweepPoint') result = sweepOf(module, ...args.slice(0, 3)).point(args[3]);
    else result = module[op](...args);
  } catch (error) {
    // Not a failure of the input (those come back as {failure, option}): the module itself.
    result = { failure: 'the solver stopped: ' + error, option: '' };
  }
  self.postMessage({ id, result });
};
