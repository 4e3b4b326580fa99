// The terminal pane: the console program's screens in a terminal emulator,
// with the line editing a terminal gives a program that reads lines (typed
// characters are echoed, Backspace takes one back, Enter sends the line).
import { Terminal } from '@xterm/xterm';

// Links to the files the console program wrote, for download.
function showWritten(files) {
  const list = document.getElementById('console-files');
  list.textContent = files.length ? '' : 'None yet.';
  for (const file of files) {
    const a = document.createElement('a');
    a.href = URL.createObjectURL(new Blob([file.bytes], { type: file.name.endsWith('.csv') ? 'text/csv' : 'text/plain' }));
    a.download = file.name;
    a.textContent = file.name;
    list.append(a, ' ');
  }
}

export function startConsole(el, button, files) {
  let worker = null;
  document.getElementById('console-list').addEventListener('click', () => {
    if (worker) worker.postMessage({ list: true });
  });
  const term = new Terminal({
    convertEol: true, cols: 80, rows: 30, scrollback: 2000, fontSize: 14,
    screenReaderMode: true, fontFamily: 'monospace',
  });
  term.open(el);
  let line = '';
  const start = () => {
    if (worker) worker.terminate();
    term.reset();
    line = '';
    worker = new Worker(files['console-worker.js']);
    worker.postMessage({ files });
    worker.onmessage = (event) => {
      const msg = event.data;
      if (msg.type === 'output') term.write(msg.bytes);
      if (msg.type === 'written') showWritten(msg.files);
      if (msg.type === 'exit') {
        term.write('\r\n[The program has ended. Press Start the console to begin again.]\r\n');
        el.dataset.ended = 'true';
      }
    };
    el.dataset.ended = 'false';
    term.focus();
  };
  term.onData((data) => {
    for (const ch of data) {
      if (ch === '\r') {
        term.write('\r\n');
        worker.postMessage({ line: `${line}\n` });
        line = '';
      } else if (ch === '\x7f' || ch === '\b') {
        if (line.length > 0) {
          line = line.slice(0, -1);
          term.write('\b \b');
        }
      } else if (ch >= ' ') {
        line += ch;
        term.write(ch);
      }
    }
  });
  button.addEventListener('click', start);
  start();
  window.duolocusTerminal = term;
  return term;
}
