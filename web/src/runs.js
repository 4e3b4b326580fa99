// Runs side by side: every finished run is kept in the table named "Runs"
// with the settings it changed from the defaults, P(fixed) of each allele
// with its standard error and what theory expects, and the mean times; a
// kept run's lines may be drawn beneath the next runs'; one run or all may
// be cleared.

import { captioned, fixed as fmt } from './tables.js';

export class Runs {
  // container: where the table goes; onOverlay(list of {label, snapshot}) is
  // told whenever the runs drawn beneath change.
  constructor(container, onOverlay) {
    this.container = container;
    this.onOverlay = onOverlay;
    this.runs = [];
    this.count = 0;
    this.render();
  }

  // run: {settings: 'key=value ...' text, seed, kept (from showResults),
  // snapshot (the plots' lines)}.
  add(run) {
    this.count += 1;
    this.runs.push({ ...run, number: this.count, overlay: false });
    this.render();
  }

  remove(number) {
    this.runs = this.runs.filter((r) => r.number !== number);
    this.render();
    this.tell();
  }

  clear() {
    this.runs = [];
    this.render();
    this.tell();
  }

  tell() {
    this.onOverlay(this.runs.filter((r) => r.overlay).map((r) => ({ label: `run ${r.number}`, snapshot: r.snapshot })));
  }

  render() {
    const c = this.container;
    c.textContent = '';
    if (this.runs.length === 0) {
      c.append(Object.assign(document.createElement('p'), { textContent: 'Each finished run is kept here, to compare with the next.' }));
      return;
    }
    const wrapper = document.createElement('div');
    wrapper.className = 'scroll';
    const head = ['Run', 'Settings changed', 'Seed', 'Iterations', 'P(A) ± SE', 'theory', 'P(B) ± SE', 'theory',
      'Mean time to A', 'theory', 'Mean time to B', 'theory', 'Draw beneath', ''];
    const t = captioned('Runs', head, 'numbers runs');
    t.setAttribute('aria-label', 'Runs');
    for (const run of this.runs) {
      const row = document.createElement('tr');
      const [alpha, beta] = run.kept.genes;
      const cells = [`${run.number}`, run.settings || 'defaults', `${run.seed}`, `${run.kept.counted}`,
        `${fmt(alpha.alleles[0].p, 3)} ± ${fmt(alpha.alleles[0].se, 3)}`, fmt(alpha.alleles[0].expected, 3),
        `${fmt(beta.alleles[0].p, 3)} ± ${fmt(beta.alleles[0].se, 3)}`, fmt(beta.alleles[0].expected, 3),
        fmt(alpha.alleles[0].time, 1), fmt(alpha.alleles[0].timeExpected, 1),
        fmt(beta.alleles[0].time, 1), fmt(beta.alleles[0].timeExpected, 1)];
      cells.forEach((v, k) => {
        const td = document.createElement('td');
        td.textContent = v;
        if (k === 1) td.className = 'settings-text';
        row.append(td);
      });
      const overlay = document.createElement('input');
      overlay.type = 'checkbox';
      overlay.checked = run.overlay;
      overlay.setAttribute('aria-label', `Draw run ${run.number} beneath the plots`);
      overlay.addEventListener('change', () => {
        run.overlay = overlay.checked;
        this.tell();
      });
      const remove = document.createElement('button');
      remove.type = 'button';
      remove.className = 'small';
      remove.textContent = 'Clear';
      remove.setAttribute('aria-label', `Clear run ${run.number}`);
      remove.addEventListener('click', () => this.remove(run.number));
      for (const el of [overlay, remove]) {
        const td = document.createElement('td');
        td.append(el);
        row.append(td);
      }
      t.append(row);
    }
    wrapper.append(t);
    const all = document.createElement('button');
    all.type = 'button';
    all.textContent = 'Clear all runs';
    all.addEventListener('click', () => this.clear());
    c.append(wrapper, all);
  }
}
