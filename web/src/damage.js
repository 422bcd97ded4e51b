// What is wrong with a model's layout, from what the tool told of its directory: blocks past
// the end of the file or cut short by it, counts larger than the file could hold, blocks that
// overlap each other or the header and directory, a directory the file cuts short.

// The bytes a block takes in the file as far as it is known: from its offset to the end its
// count declares, or its count word alone where the tool knows no layout for it.
export const blockEnd = (block) => block.end ?? block.offset + 4;

// The faults of each block (by index) and of the file as a whole.
export function findDamage(blocks, directory) {
  const size = directory.file_size;
  const faults = new Map();
  const add = (block, fault) => {
    if (!faults.has(block.index)) faults.set(block.index, []);
    faults.get(block.index).push(fault);
  };
  for (const block of blocks) {
    const end = blockEnd(block);
    if (block.offset + 4 > size) add(block, 'past the end of the file');
    else if (end - block.offset > size) add(block, 'declares more than the file can hold');
    else if (end > size) add(block, 'cut short by the end of the file');
    if (block.offset < directory.end) add(block, 'overlaps the header or directory');
  }
  // Overlaps between blocks, in one sweep over the blocks in file order.
  const inFile = blocks.filter((block) => block.offset < size).sort((a, b) => a.offset - b.offset);
  let reach = null;
  for (const block of inFile) {
    if (reach && block.offset < blockEnd(reach)) {
      add(block, `overlaps block ${reach.index}`);
      if (!faults.get(reach.index)?.some((f) => f.startsWith('overlaps block'))) add(reach, `overlaps block ${block.index}`);
    }
    if (!reach || blockEnd(block) > blockEnd(reach)) reach = block;
  }
  const file = [];
  if (!directory.whole) file.push('the file ends inside its directory');
  // A directory that runs to the end of the file and names no block the tool knows is no
  // directory: the file is not a model (random bytes read so).
  const notAModel = !directory.whole && !blocks.some((block) => block.known);
  if (faults.size > 0) file.push(`${faults.size} of ${blocks.length} blocks are damaged`);
  return { blocks: faults, file, notAModel };
}

// The parts of the file in order, for the coverage bar: header, directory, blocks, the gaps
// between them and where blocks overlap; each clipped to the file.
export function fileParts(blocks, directory, header) {
  const size = directory.file_size;
  const parts = [];
  if (size > 0) parts.push({ kind: 'header', start: 0, end: Math.min(28, size), whole: header?.whole });
  if (directory.end > directory.start) parts.push({ kind: 'directory', start: directory.start, end: directory.end });
  for (const block of blocks) {
    if (block.offset >= size) continue;
    parts.push({ kind: 'block', block, start: block.offset, end: Math.min(blockEnd(block), size) });
  }
  // Gaps: bytes no part covers.
  const sorted = [...parts].sort((a, b) => a.start - b.start);
  let covered = 0;
  for (const part of sorted) {
    if (part.start > covered) parts.push({ kind: 'gap', start: covered, end: part.start });
    covered = Math.max(covered, part.end);
  }
  if (covered < size) parts.push({ kind: 'gap', start: covered, end: size });
  return parts;
}
