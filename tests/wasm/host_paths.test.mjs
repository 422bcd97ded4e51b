// How the launcher names the host's paths to the WebAssembly module (node --test).
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { test } from 'node:test';

import { guestArguments, guestPath, planPathWords, preopenedFolders } from '../../npm/lib/host_paths.mjs';

test('POSIX paths reach the module as they are, through the root folder', () => {
  const args = ['-C', '/tmp/out', '--glb', '../m.zmdl', '/abs/c:\\odd.zmdl'];
  assert.deepEqual(guestArguments(args, planned(args), 'linux'), args);
  assert.deepEqual(preopenedFolders(['/home/me', ...args], 'darwin'), { '/': '/' });
});

test('Windows drive, UNC and relative paths become slashed paths under folders of the root', () => {
  assert.equal(guestPath('C:\\Users\\me\\m.zmdl', 'win32'), '/c/Users/me/m.zmdl');
  assert.equal(guestPath('d:/models/m.zmdl', 'win32'), '/d/models/m.zmdl');
  assert.equal(guestPath('E:', 'win32'), '/e/');
  assert.equal(guestPath('\\\\server\\share\\m.zmdl', 'win32'), '/unc/server/share/m.zmdl');
  assert.equal(guestPath('models\\m.zmdl', 'win32'), 'models/m.zmdl');
  assert.deepEqual(preopenedFolders(['/c/Users/me', '/d/models/m.zmdl', '/unc/server/share/m'],
                                    'win32'),
                   { '/c': 'C:\\', '/d': 'D:\\', '/unc/server/share': '\\\\server\\share\\' });
});

// The words the tool itself takes for paths (its --plan), as the launcher asks the module.
function planned(args) {
  const tool = process.env.MODEL_UNPACK_BATCH;
  return planPathWords(execFileSync(tool, ['--plan', ...args], { encoding: 'utf8' }));
}

test('Only paths are mapped: the exports folder in every spelling, and the models', () => {
  const args = ['-qC', 'C:\\out', '-CD:\\x', '--exports-dir=E:\\y', '--exp', 'F:\\z', '-j', '2',
                '--png-size', '64', '--glb', 'G:\\m.zmdl', '--', '-H:\\n.zmdl'];
  assert.deepEqual(guestArguments(args, planned(args), 'win32'),
                   ['-qC', '/c/out', '-C/d/x', '--exports-dir=/e/y', '--exp', '/f/z',
                    '-j', '2', '--png-size', '64', '--glb', '/g/m.zmdl', '--', '-H:/n.zmdl']);
  // Options after the models, as getopt takes them, and a usage error (no plan: as it is).
  const late = ['m:\\a.zmdl', '-C', 'x:\\out', '--glb'];
  assert.deepEqual(guestArguments(late, planned(late), 'win32'), ['/m/a.zmdl', '-C', '/x/out', '--glb']);
  assert.deepEqual(planPathWords(''), []);
});
