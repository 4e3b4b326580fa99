// A lab link's settings, read as a study file or `duolocus-batch --set`
// reads the same keys: keys are case-sensitive, each is given once, and
// in a table whose genotypes left out count 0 (its range says so) every
// genotype the link leaves out is 0 once any is given; a share that may be
// given as a word ("rest": what the others leave) takes that word instead.
// Pure: the page and the tests both use it.

// The page's own parameters, which are no settings of a run.
export const PAGE_KEYS = ['seed', 'prefix', 'exercise'];

const LEFT_OUT_ZERO = /left out count 0/;

function prefixOf(key) {
  return key.slice(0, key.lastIndexOf('.') + 1);
}

// The word a number field may hold instead of a number, or null.
export function wordOf(row) {
  return row.type !== 'choice' && row.type !== 'flag' && row.choices && row.choices.length ? row.choices[0] : null;
}

// The tables of the catalogue whose left-out rows count 0: key prefix ->
// rows.
export function zeroTables(rows) {
  const tables = new Map();
  for (const row of rows) {
    if (!LEFT_OUT_ZERO.test(row.range || '')) continue;
    const prefix = prefixOf(row.key);
    if (prefix) tables.set(prefix, rows.filter((r) => prefixOf(r.key) === prefix));
  }
  return tables;
}

// search: the page address's query; rows: the catalogue's settings.
// Returns {page: {seed, prefix, exercise}, values: [[key, text], ...] in
// catalogue order, faults: [message, ...]}.
export function readLink(search, rows) {
  const params = new URLSearchParams(search);
  const byKey = new Map(rows.map((r) => [r.key, r]));
  const page = {};
  const given = new Map();
  const faults = [];
  const seen = new Set();
  for (const [key, value] of params) {
    if (seen.has(key)) {
      if (!faults.some((f) => f.includes(`${key} is given more than once`))) {
        faults.push(`link: ${key} is given more than once; give each setting once`);
      }
      continue;
    }
    seen.add(key);
    if (PAGE_KEYS.includes(key)) page[key] = value;
    else if (byKey.has(key)) given.set(key, value);
    else faults.push(`link: ${key} is no setting of this program (keys are case-sensitive)`);
  }
  for (const [, table] of zeroTables(rows)) {
    if (!table.some((r) => given.has(r.key))) continue;
    for (const row of table) {
      if (given.has(row.key)) continue;
      const word = wordOf(row);
      given.set(row.key, word !== null ? word : '0');
    }
  }
  const values = rows.filter((r) => given.has(r.key)).map((r) => [r.key, given.get(r.key)]);
  return { page, values, faults };
}
