// How the host's paths reach the WebAssembly module. WASI names files with '/' from one root;
// the launcher opens the host's root folders to the module and names them so that a POSIX
// path means the same file inside as outside: "/" is "/". On Windows each drive becomes a
// folder of the root ("C:\models" is "/c/models") and backslashes become slashes. Which words
// of the command line are paths, the module itself says (model-unpack-batch --plan), so the
// launcher never parses options of its own.

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

// The module's arguments for the host's: each path the plan names (`word`, from byte `at`:
// after "-C" or "--exports-dir=" in the same word) as the module names it, the rest as it is.
export function guestArguments(args, pathWords, platform = process.platform) {
  const mapped = [...args];
  for (const { word, at } of pathWords) {
    if (word >= 0 && word < args.length) {
      mapped[word] = args[word].slice(0, at) + guestPath(args[word].slice(at), platform);
    }
  }
  return mapped;
}

// The path words of the module's --plan lines (`plan`, its standard output), for the
// arguments that followed "--plan": none when the module gave no plan (a usage error, which
// the run itself then says).
export function planPathWords(plan) {
  for (const line of plan.split('\n')) {
    if (!line.startsWith('{"event":"arguments"')) continue;
    return JSON.parse(line).paths.map(({ word, at, role }) => ({ word: word - 1, at, role }));
  }
  return [];
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
