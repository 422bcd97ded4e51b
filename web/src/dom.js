// Small helpers for building the page's parts.

// An element with properties (data-, aria- and role as attributes) and children.
export function element(tag, properties = {}, ...children) {
  const node = document.createElement(tag);
  for (const [key, value] of Object.entries(properties)) {
    if (key.startsWith('data-') || key.startsWith('aria-') || key === 'role') {
      node.setAttribute(key, value);
    } else {
      node[key] = value;
    }
  }
  node.append(...children.filter((child) => child !== null && child !== undefined));
  return node;
}

export const countOf = (n, one, many) => `${n} ${n === 1 ? one : many}`;

// A size as people read it: "2.1 MB", "640 bytes".
export function sizeText(bytes) {
  if (bytes < 1000) return countOf(bytes, 'byte', 'bytes');
  const units = ['kB', 'MB', 'GB'];
  let value = bytes;
  let unit = -1;
  while (value >= 1000 && unit < units.length - 1) {
    value /= 1000;
    ++unit;
  }
  return `${value.toFixed(value < 10 ? 1 : 0)} ${units[unit]}`;
}
