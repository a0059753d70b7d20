// What the package promises as a package: no runtime dependencies, ES modules, and a
// TypeScript declaration for everything it exports.
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import { test } from 'node:test';

import * as api from '../index.js';

const read = (name) => readFileSync(new URL(`../${name}`, import.meta.url), 'utf8');

test('the package has no dependencies and runs on Node 18 and later as ES modules', () => {
  const manifest = JSON.parse(read('package.json'));
  assert.equal(manifest.dependencies, undefined);
  assert.equal(manifest.type, 'module');
  assert.equal(manifest.engines.node, '>=18');
  assert.equal(manifest.exports['.'].types, './index.d.ts');
});

test('every export is declared in index.d.ts', () => {
  const declarations = read('index.d.ts');
  const declared = new Set([...declarations.matchAll(/^export declare (?:const|function|class) (\w+)/gm)].map((m) => m[1]));
  assert.deepEqual(Object.keys(api).sort(), [...declared].sort());
});
