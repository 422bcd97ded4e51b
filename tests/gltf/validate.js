// Validates glb files: node validate.js [--no-warnings] FILE...
// Prints one line per file with its error and warning counts and every message of those two
// severities; exits 1 when a file has an error (or, with --no-warnings, a warning).
const fs = require('fs');
const validator = require('gltf-validator');

async function main() {
  const args = process.argv.slice(2);
  const noWarnings = args[0] === '--no-warnings';
  const files = noWarnings ? args.slice(1) : args;
  let failed = false;
  for (const file of files) {
    const report = await validator.validateBytes(new Uint8Array(fs.readFileSync(file)), {
      maxIssues: 0,
    });
    const { numErrors, numWarnings } = report.issues;
    console.log(`${file}: ${numErrors} errors, ${numWarnings} warnings`);
    for (const message of report.issues.messages) {
      if (message.severity <= 1) {
        console.log(`  ${message.severity === 0 ? 'error' : 'warning'} ${message.code} ${message.pointer || ''}: ${message.message}`);
      }
    }
    if (numErrors > 0 || (noWarnings && numWarnings > 0)) failed = true;
  }
  process.exit(failed ? 1 : 0);
}

main().catch((error) => {
  console.error(error);
  process.exit(2);
});
