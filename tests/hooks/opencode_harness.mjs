// Loads the generated OpenCode plug-in the way OpenCode does and plays recorded events into it, with a fake
// app on the plug-in's Unix socket, a fake OpenCode client and a fake OpenCode HTTP server. Prints what
// each of them received as one JSON object.
//
// node opencode_harness.mjs <plugin.mjs> <events.jsonl>
// Environment: XDG_RUNTIME_DIR (socket under it), VERDICT (granted | denied | none | absent: no app listening),
// CLIENT (ok | error | absent), SETUPS (how many times OpenCode sets the plug-in up, default 2),
// DIRECTORY (the context's directory), SERVER (http: the fake server; dead: a port nobody listens on).
import fs from "node:fs";
import http from "node:http";
import net from "node:net";
import path from "node:path";
import { pathToFileURL } from "node:url";

const [pluginPath, eventsPath] = process.argv.slice(2);
const verdict = process.env.VERDICT || "granted";
const clientMode = process.env.CLIENT || "ok";
const setups = Number(process.env.SETUPS || "2");

const lines = [];
const clientCalls = [];
const httpRequests = [];
let approvalsAsked = 0;
let approvalsAnswered = 0;
let repliesSeen = 0;
const waiters = [];
const settle = () => {
  for (const w of waiters.splice(0)) w();
};
const changed = () => new Promise((resolve) => waiters.push(resolve));

// The fake app.
const socketDir = path.join(process.env.XDG_RUNTIME_DIR, "nubbo");
fs.mkdirSync(socketDir, { recursive: true });
const socketPath = path.join(socketDir, "nubbo.sock");
const app = net.createServer((conn) => {
  let text = "";
  conn.setEncoding("utf8");
  conn.on("data", (chunk) => {
    text += chunk;
    const at = text.indexOf("\n");
    if (at < 0) return;
    const record = JSON.parse(text.slice(0, at));
    text = text.slice(at + 1);
    lines.push(record);
    if (record.type !== "approvalRequired") {
      conn.end('{"ok":true}\n');
    } else {
      approvalsAsked++;
      if (verdict === "none") conn.end();
      else conn.end(JSON.stringify({ approval: verdict }) + "\n");
      conn.on("close", () => {
        approvalsAnswered++;
        settle();
      });
    }
  });
  conn.on("error", () => {});
});
if (verdict !== "absent") await new Promise((resolve) => app.listen(socketPath, resolve));

// The fake OpenCode server for the HTTP reply.
const server = http.createServer((req, res) => {
  let body = "";
  req.on("data", (chunk) => (body += chunk));
  req.on("end", () => {
    httpRequests.push({
      method: req.method,
      url: req.url,
      contentType: req.headers["content-type"] || null,
      authorization: req.headers["authorization"] || null,
      directory: req.headers["x-opencode-directory"] || null,
      body: body ? JSON.parse(body) : null,
    });
    res.end("true");
    repliesSeen++;
    settle();
  });
});
await new Promise((resolve) => server.listen(0, "127.0.0.1", resolve));
let serverUrl = new URL(`http://127.0.0.1:${server.address().port}/`);
if (process.env.SERVER === "dead") {
  const probe = net.createServer();
  await new Promise((resolve) => probe.listen(0, "127.0.0.1", resolve));
  serverUrl = new URL(`http://127.0.0.1:${probe.address().port}/`);
  await new Promise((resolve) => probe.close(resolve));
}

const client = {};
if (clientMode !== "absent") {
  client.postSessionIdPermissionsPermissionId = async (options) => {
    clientCalls.push(options);
    // A failing client is followed by the HTTP request, which is the reply that counts then.
    if (clientMode === "ok") repliesSeen++;
    settle();
    return clientMode === "ok" ? { data: true } : { error: { name: "NotFound" } };
  };
}

const ctx = { client, directory: process.env.DIRECTORY || "/home/dev/project", serverUrl, worktree: "/" };
const plugin = await import(pathToFileURL(pluginPath).href);
const hooks = [];
for (let i = 0; i < setups; i++) hooks.push(await plugin.default(ctx));

const events = fs
  .readFileSync(eventsPath, "utf8")
  .split("\n")
  .filter((line) => line.trim() !== "")
  .map((line) => JSON.parse(line))
  .filter((entry) => entry.kind === undefined || entry.kind === "event")
  .map((entry) => ({ type: entry.type, properties: entry.properties }));

const started = Date.now();
for (const event of events) {
  // OpenCode hands one event object to every registered hook.
  for (const h of hooks) await h.event({ event });
}
const handlerMs = Date.now() - started;

// Each answered approval ends in one reply through the client or over HTTP; wait for them, bounded.
const deadline = Date.now() + 5000;
const expectedReplies = () => (verdict === "granted" || verdict === "denied" ? approvalsAsked : 0);
const timeout = setTimeout(settle, 5000);
while (Date.now() < deadline && (repliesSeen < expectedReplies() || approvalsAnswered < approvalsAsked)) await changed();
clearTimeout(timeout);
// A reply on its way after the verdict (the fallback) gets one more turn of the loop to arrive.
await new Promise((resolve) => setImmediate(resolve));

process.stdout.write(JSON.stringify({ lines, clientCalls, httpRequests, handlerMs, approvalsAsked }) + "\n");
app.close();
server.close();
process.exit(0);
