// Claude Code on an SSH host, as a user meets it: `nubbo remote add` wires a second local account behind a real
// OpenSSH server (tests/remote/local_sshd.py), Claude runs as that account over ssh against the scripted model,
// its events and narration reach the app here through the forward, its request waits until `nubbo approve`
// answers it, and `nubbo remote remove` gives the account its settings back. Prints the time from `remote add`
// to the first event from the host. Needs root; skipped with the reason otherwise.
import assert from "node:assert/strict";
import { spawn, spawnSync } from "node:child_process";
import fs from "node:fs";
import os from "node:os";
import path from "node:path";
import { fileURLToPath } from "node:url";
import { after, before, describe, test } from "node:test";

import { FakeModelServer } from "./fake-model-server.mjs";
import { NubboHome, appPath, inOrder, run, waitFor } from "./harness.mjs";

const localSshd = path.join(path.dirname(fileURLToPath(import.meta.url)), "..", "remote", "local_sshd.py");
const cli = path.join(path.dirname(appPath), "nubbo");
// An account of its own: the other remote tests set up and clear theirs while this one may run.
const account = "nubbo-agent";
const marker = "made-on-the-host.txt";
// The user's own Claude settings on the host, which `remote remove` must give back byte for byte.
const userSettings = '{\n  "includeCoAuthoredBy": false\n}\n';

const notHere = spawnSync("/usr/bin/python3", [localSshd, "available"], { encoding: "utf8" }).stdout.trim();

const quoted = (text) => `'${String(text).replace(/'/g, "'\\''")}'`;

// The server runs until its standard input closes, so it ends with this process whatever happens.
async function startSshd() {
  const child = spawn("/usr/bin/python3", [localSshd, "serve", account], { stdio: ["pipe", "pipe", "inherit"] });
  let out = "";
  child.stdout.on("data", (d) => (out += d));
  await waitFor("the ssh server", () => out.includes("\n"), 30000);
  return { ...JSON.parse(out), stop: () => new Promise((resolve) => {
    child.on("exit", resolve);
    child.stdin.end();
  }) };
}

describe("Claude Code on an SSH host", { skip: notHere ? `skipped: ${notHere}` : false }, () => {
  let sshd;
  let home;
  let server;
  let shared;
  let env;
  let result;
  let settingsBefore;
  let waited;

  const ssh = (command, options = {}) => run(path.join(sshd.bin, "ssh"), ["testhost", command], { env, ...options });
  const nubbo = (...args) => run(cli, args, { env, timeoutMs: 120000 });
  const sessions = async () => JSON.parse((await nubbo("status", "--json")).stdout).sessions;

  before(async () => {
    // Loaded here: where no server can run, nothing is installed either.
    const { claude, claudeVariables } = await import("./claude-run.mjs");
    sshd = await startSshd();
    home = new NubboHome({ "settings.approvalMode": "manual", hasOpenedSettingsOnFirstLaunch: true });
    // A bus of the test's own, where `nubbo` finds the app; the app's settings then look for a keyring there too.
    env = home.env({ PATH: `${sshd.bin}:${process.env.PATH}`, DBUS_SESSION_BUS_ADDRESS: process.env.DBUS_SESSION_BUS_ADDRESS,
      ...(process.env.LSAN_OPTIONS ? { LSAN_OPTIONS: process.env.LSAN_OPTIONS } : {}) });

    // The account's home as a user there has it: a project, their own settings, Claude set up before.
    const project = path.join(sshd.home, "project");
    const setUp = await ssh(`find ~ -mindepth 1 -delete && mkdir -p ~/project ~/.claude && ` +
      `printf %s ${quoted(userSettings)} > ~/.claude/settings.json && ` +
      `printf %s ${quoted(JSON.stringify({ hasCompletedOnboarding: true }))} > ~/.claude.json`);
    assert.equal(setUp.code, 0, setUp.stderr);
    settingsBefore = fs.readFileSync(path.join(sshd.home, ".claude", "settings.json"), "utf8");

    // The cached Claude lies under root's home, which the account cannot read: a link in a folder it can.
    shared = fs.mkdtempSync(path.join(os.tmpdir(), "nubbo-claude-"));
    fs.chmodSync(shared, 0o755);
    const remoteClaude = path.join(shared, "claude");
    try {
      fs.linkSync(fs.realpathSync(claude), remoteClaude);
    } catch {
      fs.copyFileSync(fs.realpathSync(claude), remoteClaude);
      fs.chmodSync(remoteClaude, 0o755);
    }

    server = new FakeModelServer([
      { text: "I will create the marker file.", tool: { name: "Bash", input: { command: `touch ${marker}`, description: "Create marker" } } },
      { text: "Finished with the marker." },
    ]);
    await server.start();
    await home.startApp(env);

    const added = Date.now();
    const add = await nubbo("remote", "add", "testhost");
    assert.equal(add.code, 0, add.stdout + add.stderr);
    await waitFor("testhost connected", async () =>
      (await nubbo("remote", "list")).stdout.split("\n").some((row) => /^testhost .* connected$/.test(row)), 60000);
    const connectedSeconds = (Date.now() - added) / 1000;

    const variables = Object.entries(claudeVariables(server)).map(([k, v]) => quoted(`${k}=${v}`)).join(" ");
    const claudeRun = ssh(`cd ${quoted(project)} && exec env ${variables} ${quoted(remoteClaude)} ` +
      `-p ${quoted("Create the marker file.")} --permission-mode default`, { timeoutMs: 180000 });
    await waitFor("the first event from the host", () => home.agentLog().length > 0, 60000);
    const firstEventSeconds = (Date.now() - added) / 1000;

    const asking = await waitFor("the request", async () => (await sessions()).find((s) => s.request), 60000);
    let finished = false;
    claudeRun.then(() => (finished = true));
    // Claude is held by the hook until the answer: nothing has run, and it has not given up on its own.
    await new Promise((resolve) => setImmediate(resolve));
    waited = { asking, claudeFinishedFirst: finished, markerEarly: fs.existsSync(path.join(project, marker)) };
    const approve = await nubbo("approve", asking.request.id);
    assert.equal(approve.code, 0, approve.stdout + approve.stderr);
    result = await claudeRun;
    await waitFor("the pet to settle", () => inOrder(home.petLines(), ["state responding", "state idle"]), 20000);
    console.log(`remote add took ${add.seconds.toFixed(2)} s, connected after ${connectedSeconds.toFixed(2)} s, ` +
      `first event from the host after ${firstEventSeconds.toFixed(2)} s`);
  });

  after(async () => {
    if (sshd && env) await nubbo("remote", "remove", "testhost", "--forget");
    await home?.dispose();
    await server?.stop();
    if (shared) fs.rmSync(shared, { recursive: true, force: true });
    if (sshd) {
      // Claude's own files there are this run's; the next starts from an empty home.
      await ssh("find ~ -mindepth 1 -delete");
      await sshd.stop();
    }
  });

  test("the session is the host's, and its request waited for the answer given here", () => {
    assert.equal(waited.asking.host, "testhost");
    assert.equal(waited.asking.agent, "claude");
    assert.match(waited.asking.request.command, new RegExp(`touch ${marker}`));
    assert.equal(waited.claudeFinishedFirst, false, "Claude did not wait for the answer");
    assert.equal(waited.markerEarly, false, "the command ran before it was approved");
  });

  test("the approved command ran on the host as its user, and Claude finished its turn", () => {
    assert.equal(result.timedOut, false);
    assert.equal(result.code, 0, result.stderr);
    assert.equal(result.stdout.trim(), "Finished with the marker.");
    const made = fs.statSync(path.join(sshd.home, "project", marker));
    assert.equal(made.uid, sshd.uid);
  });

  test("the host's events and narration reached the app", () => {
    const approvals = home.agentLog().filter((line) => line.includes("] Claude approvalRequired: "));
    assert.equal(approvals.length, 1, home.agentLog().join("\n"));
    const pet = home.petLines();
    assert.ok(inOrder(pet, ["state thinking", "state waitingApproval", "state responding", "state idle"]), pet.join("\n"));
    // The card's bubble names the host; the narration was read from Claude's transcript there.
    assert.ok(pet.includes(`bubble Claude on testhost wants to continue: touch ${marker}`), pet.join("\n"));
    assert.ok(inOrder(pet, ["bubble I will create the marker file.", "bubble Finished with the marker."]), pet.join("\n"));
  });

  test("remote remove gives the host's user their Claude settings back", async () => {
    const removed = await nubbo("remote", "remove", "testhost");
    assert.equal(removed.code, 0, removed.stdout + removed.stderr);
    assert.equal(fs.readFileSync(path.join(sshd.home, ".claude", "settings.json"), "utf8"), settingsBefore);
    assert.equal(fs.existsSync(path.join(sshd.home, ".nubbo", "bin")), false);
  });
});
