// How the host's paths reach the WebAssembly module. WASI names files with '/' from one root;
// the launcher opens the host's root folders to the module and names them so that a POSIX
// path means the same file inside as outside: "/" is "/". On Windows each drive becomes a
// folder of the root ("C:\models" is "/c/models") and backslashes become slashes.

// The short options that take a value (as getopt is given them) and the long ones.
const kShortWithValue = new Set(['C', 'j']);
const kLongOptions = ['exports-dir', 'jobs', 'quiet', 'glb', 'png', 'png-size', 'no-job', 'list',
                      'help', 'version'];

// The long option `text` (without its dashes) stands for, when unambiguous.
function longOption(text) {
  if (kLongOptions.includes(text)) return text;
  const matches = kLongOptions.filter((name) => name.startsWith(text));
  return matches.length === 1 ? matches[0] : undefined;
}

// The module's name for the host path `hostPath` on `platform`.
export function guestPath(hostPath, platform = process.platform) {
  if (platform !== 'win32') return hostPath;
  const slashed = hostPath.replaceAll('\\', '/');
  const drive = /^([A-Za-z]):(\/.*)?$/.exec(slashed);
  if (drive) return `/${drive[1].toLowerCase()}${drive[2] ?? '/'}`;
  const unc = /^\/\/([^/]+)\/([^/]+)(\/.*)?$/.exec(slashed);
  if (unc) return `/unc/${unc[1]}/${unc[2]}${unc[3] ?? ''}`;
  return slashed;
}

// The module's arguments for the host's: the model files and the exports folder as the
// module names them, everything else as it is.
export function guestArguments(args, platform = process.platform) {
  const mapped = [];
  let operandsOnly = false;
  for (let i = 0; i < args.length; ++i) {
    const arg = args[i];
    if (operandsOnly || arg === '-' || !arg.startsWith('-')) {
      mapped.push(guestPath(arg, platform));
    } else if (arg === '--') {
      operandsOnly = true;
      mapped.push(arg);
    } else if (arg.startsWith('--')) {
      const equals = arg.indexOf('=');
      const name = longOption(arg.slice(2, equals < 0 ? undefined : equals));
      if (name === 'exports-dir' && equals >= 0) {
        mapped.push(arg.slice(0, equals + 1) + guestPath(arg.slice(equals + 1), platform));
      } else {
        mapped.push(arg);
        const takesValue = name === 'exports-dir' || name === 'jobs' || name === 'png-size';
        if (takesValue && equals < 0 && i + 1 < args.length) {
          mapped.push(name === 'exports-dir' ? guestPath(args[++i], platform) : args[++i]);
        }
      }
    } else {
      // A group of short options; one that takes a value ends the group.
      let j = 1;
      while (j < arg.length && !kShortWithValue.has(arg[j])) ++j;
      if (j >= arg.length) {
        mapped.push(arg);
      } else if (j + 1 < arg.length) {
        const value = arg.slice(j + 1);
        mapped.push(arg.slice(0, j + 1) + (arg[j] === 'C' ? guestPath(value, platform) : value));
      } else {
        mapped.push(arg);
        if (i + 1 < args.length) {
          mapped.push(arg[j] === 'C' ? guestPath(args[++i], platform) : args[++i]);
        }
      }
    }
  }
  return mapped;
}

// The folders to open to the module: the guest's name for each, and the host folder it is.
export function preopenedFolders(guestNames, platform = process.platform) {
  if (platform !== 'win32') return { '/': '/' };
  const folders = {};
  for (const name of guestNames) {
    const drive = /^\/([a-z])(\/|$)/.exec(name);
    if (drive) folders[`/${drive[1]}`] = `${drive[1].toUpperCase()}:\\`;
    const unc = /^\/unc\/([^/]+)\/([^/]+)/.exec(name);
    if (unc) folders[`/unc/${unc[1]}/${unc[2]}`] = `\\\\${unc[1]}\\${unc[2]}\\`;
  }
  return folders;
}
