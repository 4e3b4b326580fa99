// The figures' SVG writer: titles wrapped and escaped, round axis steps,
// lines broken where an iteration has no value, bars side by side.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { svgOf, ticks, wrap, escapeXml } from '../src/export.js';

test('axis steps are round and cover the range; titles wrap at spaces', () => {
  assert.deepEqual(ticks(0, 1), [0, 0.2, 0.4, 0.6, 0.8, 1]);
  assert.deepEqual(ticks(0, 3400), [0, 1000, 2000, 3000]);
  assert.deepEqual(ticks(-0.05, 0.25), [-0.05, 0, 0.05, 0.1, 0.15, 0.2, 0.25]);
  assert.deepEqual(ticks(2, 2), [2]);
  const lines = wrap('population 400, starting p_A 0.200, p_B 0.500; seed 23', 20);
  assert.ok(lines.every((l) => l.length <= 20));
  assert.equal(lines.join(' '), 'population 400, starting p_A 0.200, p_B 0.500; seed 23');
  assert.equal(escapeXml('s < 1 & h > 0 "x" \'y\''), 's &lt; 1 &amp; h &gt; 0 &quot;x&quot; &apos;y&apos;');
});

test('an SVG has its title, one polyline per unbroken stretch of a line, and bars per bin', () => {
  const svg = svgOf({
    title: 'A & B <test>', heading: 'A & B', subtitle: '<test>', xLabel: 'generation', yLabel: 'frequency',
    x: [0, 1, 2, 3, 4], yRange: [0, 1],
    lines: [{ label: 'A 1', stroke: '#123456', values: [0.5, 0.6, null, 0.7, 0.8] },
      { label: 'expected', stroke: '#111', width: 3, dash: [10, 5], values: [0.5, 0.5, 0.5, 0.5, 0.5] }],
  });
  assert.match(svg, /<title>A &amp; B &lt;test&gt;<\/title>/);
  assert.equal((svg.match(/<polyline/g) || []).length, 3, 'the first line breaks where it has no value');
  assert.match(svg, /stroke-dasharray="10 5"/);
  assert.doesNotMatch(svg, /NaN|undefined/);
  const bars = svgOf({
    title: 't', xLabel: 'generations', yLabel: 'iterations', x: [5, 15], xRange: [0, 20], barWidth: 10, yRange: [0, 4],
    lines: [{ label: 'Alpha', stroke: '#1b5ea0', fill: 'blue', bars: true, values: [3, 0] },
      { label: 'Beta', stroke: '#c85a14', bars: true, values: [1, 2] }],
  });
  assert.equal((bars.match(/<rect [^>]*><title>/g) || []).length, 3, 'no bar for an empty bin');
  assert.match(bars, />Alpha<\/text>/, 'a key names the two series');
});
