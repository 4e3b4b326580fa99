// The console program in a worker of its own: typed lines arrive by
// message and wait in a queue that the program's reads take from (its
// build sleeps through Asyncify while the queue is empty); everything it
// writes goes back to the terminal pane.
/* global createConsole */

const encoder = new TextEncoder();
let queue = new Uint8Array(0);

let program = null;

// The files the program wrote (PREFIX.csv and PREFIX.txt of each run), from
// its in-memory file system.
function written() {
  if (!program) return [];
  return program.FS.readdir('/')
    .filter((name) => /\.(csv|txt)$/.test(name) && program.FS.isFile(program.FS.stat(`/${name}`).mode))
    .sort()
    .map((name) => ({ name, bytes: program.FS.readFile(`/${name}`) }));
}

function start(files) {
  importScripts(files['duolocus-console.js']);
  createConsole({
    preRun: [(m) => { program = m; }],
    locateFile: (name) => files[name] || name,
    takeInput(ptr, max) {
      if (queue.length === 0) return 0;
      const n = Math.min(max, queue.length);
      this.HEAPU8.set(queue.subarray(0, n), ptr);
      queue = queue.slice(n);
      return n;
    },
    putOutput(bytes) {
      postMessage({ type: 'output', bytes }, [bytes.buffer]);
    },
    onExit(status) {
      postMessage({ type: 'exit', status });
    },
    print() {},
    printErr() {},
  });
}

// The first message names the program's files; every later one is a
// typed line.
onmessage = (event) => {
  if (event.data.files) {
    start(event.data.files);
    return;
  }
  if (event.data.list) {
    postMessage({ type: 'written', files: written() });
    return;
  }
  const bytes = encoder.encode(event.data.line);
  const joined = new Uint8Array(queue.length + bytes.length);
  joined.set(queue);
  joined.set(bytes, queue.length);
  queue = joined;
};
