// How the batch tool names a model's outputs, as the page and its worker both need it: the
// stem is the model's name up to its first dot; the worker runs the tool with `-C` this folder.
export const kExportsFolder = 'exports';

export const stemOf = (name) => (name.includes('.') ? name.slice(0, name.indexOf('.')) : name);

// The file the tool opens for a model named `name`: one without a dot gets ".zmdl".
export const modelFileOf = (name) => (name.includes('.') ? name : `${name}.zmdl`);
