// The settings form, built from the engine's catalogue: every row becomes a
// labelled field with its range and help; nothing about a setting is
// written here. The biology-level settings (groups selection and
// population) come first, each with the nine-genotype table it stands for
// one click away.
import { wordOf } from './links.js';

const FIRST = ['selection', 'population'];
// Shown beside them: how many iterations, for how long.
const SHOWN = ['run'];
// The table that a biology-level group translates into: shown beside it.
const TABLE_OF = { selection: 'fitness', population: 'founders' };
// The immigrants and their genotype shares.
const WHOLE_MIGRATION = 'migration';
const TITLES = {
  selection: 'Selection', population: 'Population', fitness: 'Fitness of the nine genotypes',
  founders: 'Founders of the nine genotypes', run: 'Iterations and fixation',
};

function title(group) {
  return TITLES[group] || group.charAt(0).toUpperCase() + group.slice(1).replace(/_/g, ' ');
}

// A share that may be given as a word (the immigrants' aabb as "rest":
// what the others leave, the console's rule) starts as that word, so the
// shares add up whatever the others are set to.
function initial(row) {
  const word = wordOf(row);
  return word !== null ? word : row.default;
}

export function fieldId(key) {
  return `f-${key.replace(/[^A-Za-z0-9_-]/g, '-')}`;
}

function fieldFor(row) {
  const id = fieldId(row.key);
  const wrap = document.createElement('div');
  wrap.className = `field field-${row.type}`;
  wrap.dataset.key = row.key;
  const label = document.createElement('label');
  label.htmlFor = id;
  label.textContent = row.label;
  let input;
  if (row.type === 'flag') {
    input = document.createElement('input');
    input.type = 'checkbox';
    input.checked = row.defaultValue !== 0;
  } else if (row.type === 'choice') {
    input = document.createElement('select');
    row.choices.forEach((name, k) => {
      const option = document.createElement('option');
      option.value = name;
      option.textContent = name;
      option.selected = k === row.defaultValue;
      input.append(option);
    });
  } else {
    input = document.createElement('input');
    input.type = 'text';
    input.inputMode = row.type === 'count' ? 'numeric' : 'decimal';
    input.value = initial(row);
    input.spellcheck = false;
  }
  input.id = id;
  input.name = row.key;
  const help = document.createElement('small');
  help.id = `${id}-help`;
  help.textContent = `${row.help} (${row.range}; default ${initial(row)})`;
  const msg = document.createElement('span');
  msg.className = 'msg';
  msg.id = `${id}-msg`;
  input.setAttribute('aria-describedby', `${help.id} ${msg.id}`);
  if (row.type === 'flag') wrap.append(input, label, help, msg);
  else wrap.append(label, input, help, msg);
  return { wrap, input };
}

export class SettingsForm {
  constructor(rows, container) {
    this.rows = rows;
    this.byKey = new Map(rows.map((r) => [r.key, r]));
    this.inputs = new Map();
    const groups = [];
    for (const row of rows) if (!groups.includes(row.group)) groups.push(row.group);
    const tables = new Set(Object.entries(TABLE_OF)
      .filter(([parent, table]) => groups.includes(parent) && groups.includes(table)).map(([, table]) => table));
    const order = [...FIRST.filter((g) => groups.includes(g)), ...SHOWN.filter((g) => groups.includes(g)),
      ...groups.filter((g) => !FIRST.includes(g) && !SHOWN.includes(g) && !tables.has(g))];
    // The rest of the settings screen waits one click away, so the form
    // stays short for the common exercises.
    const more = document.createElement('details');
    more.className = 'more';
    const moreSummary = document.createElement('summary');
    more.append(moreSummary);
    const moreTitles = [];
    for (const group of order) {
      const fieldset = document.createElement('fieldset');
      fieldset.className = `group group-${group}`;
      const legend = document.createElement('legend');
      legend.textContent = title(group);
      fieldset.append(legend);
      this.addRows(group, fieldset);
      const table = TABLE_OF[group];
      if (table && tables.has(table)) {
        const details = document.createElement('details');
        details.className = `table table-${table}`;
        const summary = document.createElement('summary');
        summary.textContent = `${title(table)} (instead of the above)`;
        details.append(summary);
        const grid = document.createElement('div');
        grid.className = 'nine';
        this.addRows(table, grid);
        details.append(grid);
        fieldset.append(details);
      }
      if (FIRST.includes(group) || SHOWN.includes(group)) {
        container.append(fieldset);
      } else {
        more.append(fieldset);
        moreTitles.push(title(group).toLowerCase());
      }
    }
    if (moreTitles.length) {
      moreSummary.textContent = `More settings: ${moreTitles.join(', ')}`;
      container.append(more);
    }
  }

  addRows(group, parent) {
    for (const row of this.rows.filter((r) => r.group === group)) {
      const { wrap, input } = fieldFor(row);
      this.inputs.set(row.key, input);
      parent.append(wrap);
    }
  }

  // The field's value as the form holds it, in the words a study file would
  // use: the text typed, a choice's name, true or false.
  valueOf(key) {
    const row = this.byKey.get(key);
    const input = this.inputs.get(key);
    if (row.type === 'flag') return input.checked ? 'true' : 'false';
    return input.value.trim();
  }

  isDefault(key) {
    const row = this.byKey.get(key);
    const value = this.valueOf(key);
    if (row.type === 'flag') return (value === 'true') === (row.defaultValue !== 0);
    if (row.type === 'choice') return value === row.choices[row.defaultValue];
    if (value === row.default || value === initial(row)) return true;
    return value !== '' && Number(value) === row.defaultValue;
  }

  set(key, value) {
    const row = this.byKey.get(key);
    const input = this.inputs.get(key);
    if (!row || !input) return false;
    if (row.type === 'flag') input.checked = value === 'true' || value === '1';
    else input.value = value;
    // A table edited from a link shows itself.
    const details = input.closest('details');
    if (details && !this.isDefault(key)) details.open = true;
    return true;
  }

  resetAll() {
    for (const row of this.rows) {
      const input = this.inputs.get(row.key);
      if (row.type === 'flag') input.checked = row.defaultValue !== 0;
      else if (row.type === 'choice') input.value = row.choices[row.defaultValue];
      else input.value = initial(row);
    }
  }

  // The settings that differ from their defaults, as the engine takes them:
  // a whole number, a number with a point, a flag, or text (a choice's name,
  // or what could not be read as a number, which the engine then refuses
  // with its message).
  // Some groups are given whole once any of their fields is changed: the
  // biology-level ones (their translation needs them together, the
  // population size above all) and the nine-genotype tables of founders,
  // fitness and immigrants, where a genotype left out would count 0.
  changed() {
    const out = [];
    const whole = new Set([...FIRST, ...Object.values(TABLE_OF), WHOLE_MIGRATION]
      .filter((group) => this.rows.some((r) => r.group === group && !this.isDefault(r.key))));
    for (const row of this.rows) {
      if (this.isDefault(row.key) && !whole.has(row.group)) continue;
      const text = this.valueOf(row.key);
      let kind = 3;
      let number = 0;
      if (row.type === 'flag') {
        kind = 2;
        number = text === 'true' ? 1 : 0;
      } else if (row.type !== 'choice' && /^[+-]?\d+$/.test(text)) {
        kind = 0;
        number = Number(text);
      } else if (row.type !== 'choice' && text !== '' && Number.isFinite(Number(text))) {
        kind = 1;
        number = Number(text);
      }
      out.push({ key: row.key, kind, number, text, where: row.label });
    }
    return out;
  }

  // Marks the fields at fault with their messages; clears the others.
  showFaults(fieldFaults) {
    for (const [key, input] of this.inputs) {
      const msg = document.getElementById(`${input.id}-msg`);
      const fault = fieldFaults[key];
      if (fault) {
        input.setAttribute('aria-invalid', 'true');
        msg.textContent = fault;
        const details = input.closest('details');
        if (details) details.open = true;
      } else {
        input.removeAttribute('aria-invalid');
        msg.textContent = '';
      }
    }
  }

  // The field a message is about: the key its value's message leads with,
  // else the one whose key or label it names
  // (the longest such name wins, so "fitness.AaBb" is not taken for a
  // shorter key that starts the same).
  // A start check names the groups it concerns ("see founders, fitness and
  // fertilization"): its message goes beside the first field changed in
  // one of them, the likeliest culprit.
  fieldOfMessage(message) {
    // A value's own message leads with "KEY = VALUE" after where it was
    // given: that key is the field at fault, whatever else the message names.
    const lead = /(?:^|: )([A-Za-z_][A-Za-z0-9_.]*) = /.exec(message);
    if (lead && this.rows.some((row) => row.key === lead[1])) return lead[1];
    const named = (name) => new RegExp(`(^|[^A-Za-z_.])${name.replace(/[.*+?^${}()|[\]\\]/g, '\\$&')}([^A-Za-z_]|$)`).test(message);
    const culprit = this.rows.find((row) => !this.isDefault(row.key) && (named(row.group) || message.includes(row.key)));
    if (culprit) return culprit.key;
    let best = null;
    let bestLength = 0;
    for (const row of this.rows) {
      for (const name of [row.key, row.label]) {
        if (name && message.includes(name) && name.length > bestLength) {
          best = row.key;
          bestLength = name.length;
        }
      }
    }
    return best;
  }
}
