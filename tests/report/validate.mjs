// Checks model-unpack-batch --json output: node validate.mjs SCHEMA FILE...
// Every line must be one object of the schema, each model's events must come in the
// documented order, and each file event must name a file of that many bytes. Prints each
// fault and exits 1 when there is one.
import fs from 'node:fs';
import Ajv2020 from 'ajv/dist/2020.js';

const [schemaFile, ...files] = process.argv.slice(2);
const ajv = new Ajv2020({ allErrors: true, strict: true, allowUnionTypes: true });
const validate = ajv.compile(JSON.parse(fs.readFileSync(schemaFile, 'utf8')));

// The order of a model's events: each may repeat, none may come back after a later one.
const kOrder = ['model', 'header', 'block', 'directory', 'section|file', 'mesh', 'warning|error', 'end'];
const rank = (event) => kOrder.findIndex((names) => names.split('|').includes(event));

// The faults of the event's own schema, not those of every other kind of event.
const schemaId = JSON.parse(fs.readFileSync(schemaFile, 'utf8')).$id;
const errorsOf = (line, errors) => {
  const own = ['warning', 'error'].includes(line.event) ? 'message' : line.event;
  const check = ajv.getSchema(`${schemaId}#/$defs/${own}`);
  return ajv.errorsText(check && !check(line) ? check.errors : errors);
};

let faults = 0;
const fault = (where, text) => {
  faults += 1;
  console.log(`${where}: ${text}`);
};

// Each section of the info file shows its block: its name's bytes and the count it declares.
const blocks = new Map();
const sections = [];
function checkSections(where, info) {
  const text = fs.readFileSync(info.path_hex ? Buffer.from(info.path_hex, 'hex') : info.path);
  for (const section of sections) {
    const block = blocks.get(section.index);
    const part = text.subarray(section.start, section.end);
    const name = Buffer.concat([Buffer.from('Name of block: '), Buffer.from(block.name_hex, 'hex'), Buffer.from('\r\n')]);
    const size = Buffer.from(`Size of block: ${block.count ?? 0}\r\n`);
    if (!part.includes(name) || !part.includes(size)) {
      fault(where, `section ${section.index} does not show block ${block.name} of ${block.count}`);
    }
  }
  if (sections.length !== blocks.size) fault(where, `${sections.length} sections for ${blocks.size} blocks`);
}

// The directory tells the model file's size; in the sample, whose blocks lie end to end, each
// block of a kind with a known layout ends where the next begins.
function checkDirectory(where, directory, modelPath) {
  const size = fs.statSync(modelPath).size;
  if (directory.file_size !== size) fault(where, `file_size ${directory.file_size}, not ${size}`);
  if (!String(modelPath).endsWith('sample.zmdl')) return;
  const ordered = [...blocks.values()].sort((a, b) => a.offset - b.offset);
  ordered.forEach((block, i) => {
    const next = ordered[i + 1]?.offset ?? size;
    if (block.end !== null && block.end !== next) fault(where, `${block.name} ends at ${block.end}, not ${next}`);
  });
}

for (const file of files) {
  let modelPath = null;
  const lines = fs.readFileSync(file, 'utf8').split('\n');
  if (lines.pop() !== '') fault(file, 'the last line has no line end');
  let model = null;
  let last = -1;
  let summaries = 0;
  lines.forEach((text, i) => {
    const where = `${file}:${i + 1}`;
    let line;
    try {
      line = JSON.parse(text);
    } catch (error) {
      return fault(where, `not JSON: ${error.message}`);
    }
    if (!validate(line)) return fault(where, errorsOf(line, validate.errors));
    if (line.event === 'summary') {
      summaries += 1;
      if (model !== null || i !== lines.length - 1) fault(where, 'summary before the end');
      return;
    }
    const step = rank(line.event);
    if (line.event === 'model') {
      if (model !== null) fault(where, `model ${model} has no end`);
      model = line.model;
      modelPath = line.path_hex ? Buffer.from(line.path_hex, 'hex') : line.path;
    } else if (line.model !== model) {
      return fault(where, `an event of ${line.model} inside ${model}`);
    } else if (step < last) {
      fault(where, `${line.event} after a later event`);
    }
    last = step;
    if (line.event === 'block') blocks.set(line.index, line);
    if (line.event === 'section') sections.push(line);
    if (line.event === 'directory') checkDirectory(where, line, modelPath);
    if (line.event === 'file' && line.role === 'info') checkSections(where, line);
    if (line.event === 'end') {
      model = null;
      blocks.clear();
      sections.length = 0;
    }
    if (line.event === 'file') {
      // A path that is not UTF-8 is found by its exact bytes.
      const path = line.path_hex ? Buffer.from(line.path_hex, 'hex') : line.path;
      const size = fs.existsSync(path) ? fs.statSync(path).size : -1;
      if (size !== line.bytes) fault(where, `${line.path} does not hold ${line.bytes} bytes`);
    }
  });
  if (model !== null) fault(file, `model ${model} has no end`);
  if (summaries !== 1) fault(file, 'no summary line');
}
process.exit(faults > 0 ? 1 : 0);
