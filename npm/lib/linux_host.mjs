// What Node.js hides from a program on Linux, found again so that the module sees what the
// native tool sees: the command line's bytes, and which standard streams were closed.
import { openSync, readFileSync, readlinkSync } from 'node:fs';

const utf8 = new TextDecoder('utf-8', { fatal: true });
const isUtf8 = (bytes) => {
  try {
    utf8.decode(bytes);
    return true;
  } catch {
    return false;
  }
};

// The last `count` words of the command line, in hex and separated by commas, when one of them
// is not valid UTF-8: Node.js has replaced such bytes in process.argv, and WASI's arguments
// can only be UTF-8. Undefined when every word is valid, or off Linux.
export function rawArguments(count, cmdline = '/proc/self/cmdline') {
  let bytes;
  try {
    bytes = readFileSync(cmdline);
  } catch {
    return undefined;
  }
  const words = [];
  for (let at = 0; at < bytes.length;) {
    const end = bytes.indexOf(0, at) < 0 ? bytes.length : bytes.indexOf(0, at);
    words.push(bytes.subarray(at, end));
    at = end + 1;
  }
  const own = words.slice(words.length - count);
  if (count === 0 || own.every(isUtf8)) return undefined;
  return own.map((word) => word.toString('hex')).join(',');
}

// The descriptors to give the module as its standard streams. Node.js puts the null device,
// open for reading and writing and closed on exec, in place of a standard stream it found
// closed; the native tool finds it closed, and a write to it fails. Such a stream is given
// to the module read-only, so that its writes fail as they do natively.
export function standardStreams() {
  return [0, 1, 2].map((fd) => {
    try {
      const flags = /flags:\s*(\d+)/.exec(readFileSync(`/proc/self/fdinfo/${fd}`, 'latin1'))?.[1];
      const mode = parseInt(flags, 8);
      const closedOnExec = (mode & 0o2000000) !== 0;
      if (readlinkSync(`/proc/self/fd/${fd}`) === '/dev/null' && (mode & 3) === 2 && closedOnExec) {
        return openSync('/dev/null', 'r');
      }
    } catch {
      // not Linux, or no such descriptor: as Node.js has it
    }
    return fd;
  });
}
