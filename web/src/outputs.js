// The page's side of a model's outputs, which stay in its conversion worker: a file as a Blob
// to download, a part of one to show, or a zip of them made there, with its progress.
export function outputsIn(worker) {
  let next = 0;
  const waiting = new Map();
  const ask = (request, onProgress) => {
    const id = ++next;
    const answer = new Promise((resolve, reject) => waiting.set(id, { resolve, reject, onProgress }));
    worker.postMessage({ request: id, ...request });
    return { id, answer };
  };
  return {
    // A reply from the worker; false for any other message.
    receive(data) {
      const asked = waiting.get(data.reply);
      if (!asked) return data.reply !== undefined;
      if (data.progress !== undefined) {
        asked.onProgress?.(data.progress);
        return true;
      }
      waiting.delete(data.reply);
      if (data.failed) asked.reject(new Error(data.failed));
      else asked.resolve(data.blob ?? data.bytes);
      return true;
    },
    blob: (path) => ask({ blob: path }).answer,
    // An ArrayBuffer with the bytes [start, end) of the output at `path`.
    slice: (path, start, end) => ask({ slice: [path, start, end] }).answer,
    zip(entries, onProgress) {
      const { id, answer } = ask({ zip: entries }, onProgress);
      return { answer, cancel: () => worker.postMessage({ cancel: id }) };
    },
  };
}
