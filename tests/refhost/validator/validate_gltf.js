// Validates a .glb file; exits 1 when the validator reports any error.
const fs = require('fs');
const path = require('path');
let validator;
try {
  validator = require(path.join(__dirname, 'node_modules', 'gltf-validator'));
} catch (e) {
  console.error('gltf-validator is not installed: run "npm install --prefix ' + __dirname + '"');
  process.exit(1);
}
const file = process.argv[2];
const bytes = new Uint8Array(fs.readFileSync(file));
validator.validateBytes(bytes, { maxIssues: 0 }).then((report) => {
  const issues = report.issues;
  for (const message of issues.messages) {
    console.log(`${['error', 'warning', 'info', 'hint'][message.severity]} ${message.code} ${message.pointer || ''}: ${message.message}`);
  }
  const info = report.info || {};
  console.log(`${file}: ${issues.numErrors} errors, ${issues.numWarnings} warnings; ` +
              `${info.drawCallCount} draw calls, ${info.totalVertexCount} vertices, ${info.materialCount} materials`);
  process.exit(issues.numErrors === 0 ? 0 : 1);
}).catch((error) => {
  console.error(`${file}: ${error}`);
  process.exit(1);
});
