// What the package promises as a package: publishable under the project's licence and
// version, no runtime dependencies, ES modules, TypeScript declarations that tsc accepts
// for everything it exports, and a tarball from `npm pack` that works on its own.
import assert from 'node:assert/strict';
import { execFileSync, spawnSync } from 'node:child_process';
import { mkdirSync, readdirSync, readFileSync, writeFileSync } from 'node:fs';
import { join } from 'node:path';
import { after, test } from 'node:test';
import { fileURLToPath } from 'node:url';

import * as api from '../index.js';
import { program, repository, scenario, scratch, zoomMeeting } from './support.js';

const here = fileURLToPath(new URL('..', import.meta.url));
const read = (name) => readFileSync(join(here, name), 'utf8');
const manifest = JSON.parse(read('package.json'));
const folder = scratch(after);

// The project's one version number, in the top CMakeLists.txt.
const projectVersion = () => {
  const found = readFileSync(join(repository, 'CMakeLists.txt'), 'utf8').match(/^project\(quorvel VERSION (\S+)/m);
  assert.ok(found, 'no project(quorvel VERSION ...) in CMakeLists.txt');
  return found[1];
};

test('the package is MIT, public, of the project version, with no runtime dependencies', () => {
  assert.equal(manifest.license, 'MIT');
  assert.equal(read('LICENSE'), readFileSync(join(repository, 'LICENSE'), 'utf8'));
  assert.equal(manifest.private, undefined);
  assert.equal(manifest.version, projectVersion());
  assert.equal(manifest.dependencies, undefined);
  assert.equal(manifest.type, 'module');
  assert.equal(manifest.engines.node, '>=18');
  assert.equal(manifest.exports['.'].types, './index.d.ts');
});

test('the development dependencies are pinned and locked as the manifest names them', () => {
  const lock = JSON.parse(read('package-lock.json'));
  const pinned = manifest.devDependencies;
  assert.deepEqual(Object.keys(pinned).sort(), ['@types/node', 'typescript']);
  for (const version of Object.values(pinned)) assert.match(version, /^\d+\.\d+\.\d+$/);
  const root = lock.packages[''];
  assert.deepEqual({ name: root.name, version: root.version, devDependencies: root.devDependencies },
    { name: manifest.name, version: manifest.version, devDependencies: pinned });
  for (const [name, version] of Object.entries(pinned)) assert.equal(lock.packages[`node_modules/${name}`].version, version);
  // Fetched from whichever registry npm is set up with, and checked against the lock.
  for (const [path, entry] of Object.entries(lock.packages)) {
    if (path === '') continue;
    assert.equal(entry.resolved, undefined, path);
    assert.match(entry.integrity, /^sha512-/, path);
  }
});

test('every export is declared in index.d.ts', () => {
  const declarations = read('index.d.ts');
  const declared = new Set([...declarations.matchAll(/^export declare (?:const|function|class) (\w+)/gm)].map((m) => m[1]));
  assert.deepEqual(Object.keys(api).sort(), [...declared].sort());
});

test('tsc accepts the declarations as a host uses them and rejects what they rule out', () => {
  const modules = program('QUORVEL_NODE_DEV');
  const tsc = spawnSync(process.execPath, [
    join(modules, 'typescript/bin/tsc'), '-p', join(here, 'tests/types/tsconfig.json'),
    '--typeRoots', join(modules, '@types'), '--pretty', 'false',
  ], { encoding: 'utf8' });
  assert.equal(tsc.status, 0, tsc.stdout + tsc.stderr);
  assert.equal(tsc.stdout, '');
});

test('npm pack makes a tarball of the client, its README and licence, that a host can use', async () => {
  const packed = join(folder, 'packed');
  mkdirSync(packed);
  const [report] = JSON.parse(execFileSync(program('QUORVEL_NPM'),
    ['pack', '--json', '--pack-destination', packed, '--cache', program('QUORVEL_NPM_CACHE')],
    { cwd: here, encoding: 'utf8' }));
  const libraries = readdirSync(join(here, 'lib')).map((name) => `lib/${name}`);
  assert.deepEqual(report.files.map((file) => file.path).sort(),
    ['LICENSE', 'README.md', 'index.d.ts', 'index.js', 'package.json', ...libraries].sort());
  assert.equal(report.version, projectVersion());

  // Unpacked where a host's node_modules would have it, and imported by name from there.
  const host = join(folder, 'host');
  mkdirSync(join(host, 'node_modules/quorvel-host'), { recursive: true });
  execFileSync('tar', ['-xzf', join(packed, report.filename), '-C', join(host, 'node_modules/quorvel-host'), '--strip-components=1']);
  assert.match(readFileSync(join(host, 'node_modules/quorvel-host/README.md'), 'utf8'), /^# quorvel-host\n/);
  const meeting = scenario(folder, 'meeting', zoomMeeting(3, 1, 2));
  writeFileSync(join(host, 'host.mjs'), [
    "import { QuorvelProcess } from 'quorvel-host';",
    `const helper = new QuorvelProcess({ command: ${JSON.stringify(program('QUORVEL_REPLAY'))}, args: [${JSON.stringify(meeting)}], restart: false, clock: () => 0 });`,
    "helper.on('meeting-ended', (meeting) => console.log(JSON.stringify(meeting)));",
    'helper.start();',
  ].join('\n'));
  const run = spawnSync(process.execPath, ['host.mjs'], { cwd: host, encoding: 'utf8', timeout: 30_000 });
  assert.equal(run.status, 0, run.stderr);
  assert.equal(run.stdout, `${JSON.stringify({
    app: 'Zoom', pid: 700, title: 'Zoom Meeting', startedAt: 0, endedAt: 0, durationMs: 0, reason: 'mic-inactive',
  })}\n`);
});
