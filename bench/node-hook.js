// The same job as one non-decision ("coding") nubbo-bridge run, as a Node.js hook script: read the payload on
// stdin, build the event record, send it as one line on the app's socket, exit 0. Used as the comparison
// point of the per-hook benchmark.
'use strict';
const net = require('net');
const path = require('path');

function str(v) { return typeof v === 'string' && v.length > 0 ? v : undefined; }
function arg(name) {
  const i = process.argv.indexOf(name);
  return i >= 0 && i + 1 < process.argv.length ? process.argv[i + 1] : undefined;
}

const source = (arg('--source') || 'claude').toLowerCase();
const event = arg('--event') || '';
const chunks = [];
process.stdin.on('data', (c) => chunks.push(c));
process.stdin.on('end', () => {
  let payload = {};
  try {
    const v = JSON.parse(Buffer.concat(chunks).toString('utf8'));
    if (v && typeof v === 'object' && !Array.isArray(v)) payload = v;
  } catch (_) { /* an unreadable payload still sends the event */ }

  const toolName = str(payload.tool_name) || str(payload.toolName) ||
    (payload.tool && typeof payload.tool === 'object' ? str(payload.tool.name) : undefined);
  let command = str(payload.command);
  for (const c of ['tool_input', 'toolInput', 'input', 'arguments', 'args']) {
    if (command) break;
    const o = payload[c];
    if (!o || typeof o !== 'object' || Array.isArray(o)) continue;
    for (const k of ['command', 'file_path', 'filePath', 'path', 'pattern', 'query', 'url']) {
      if ((command = str(o[k]))) break;
    }
  }
  const message = str(payload.message) || str(payload.notification);
  const sessionId = str(payload.session_id) || str(payload.sessionId);
  const post = ['PostToolUse', 'AfterTool', 'postToolUse', 'afterShellExecution',
    'afterMCPExecution', 'afterFileEdit'].includes(event);

  const record = { provider: source, type: 'coding', message: message || toolName || event || source };
  if (command) record.command = command;
  if (toolName) record.toolName = toolName;
  if (post) record.phase = 'post';
  if (str(payload.cwd)) record.cwd = payload.cwd;
  if (sessionId) record.sessionId = sessionId;

  const sock = path.join(process.env.XDG_RUNTIME_DIR || '', 'nubbo/nubbo.sock');
  const conn = net.createConnection(sock, () => conn.end(JSON.stringify(record) + '\n'));
  conn.on('error', () => process.exit(0));
  conn.on('close', () => process.exit(0));
});
