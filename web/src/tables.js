// What the results and the runs tables share: their numbers and their
// captioned head row.

// A number to the digits given; "" for none, and no minus sign on a zero.
export const fixed = (v, digits) => (v === null || v === undefined || !Number.isFinite(v)
  ? '' : v.toFixed(digits).replace(/^-(0\.?0*)$/, '$1'));

// A table of class numbers with its caption and a head row of column headers.
export function captioned(caption, head, className = 'numbers') {
  const t = document.createElement('table');
  t.className = className;
  const c = document.createElement('caption');
  c.textContent = caption;
  t.append(c);
  const tr = document.createElement('tr');
  head.forEach((h) => {
    const th = document.createElement('th');
    th.scope = 'col';
    th.textContent = h;
    tr.append(th);
  });
  t.append(tr);
  return t;
}
