// Claude Code started with a config folder of its own (CLAUDE_CONFIG_DIR): the app's detector sees it in the
// running agent's environment and offers the folder, the preference takes it, "--install-hooks" wires the
// hooks there, and a real Claude Code run with that variable reaches the app.
import assert from "node:assert/strict";
import fs from "node:fs";
import http from "node:http";
import path from "node:path";
import { after, before, describe, test } from "node:test";

import { spawnClaude, startClaude } from "./claude-run.mjs";
import { FakeModelServer } from "./fake-model-server.mjs";
import { NubboHome, appPath, inOrder, run, waitFor } from "./harness.mjs";

function appCommands(file) {
  try {
    return fs.readFileSync(file, "utf8").split("nubbo-bridge").length - 1;
  } catch {
    return 0;
  }
}

describe("Claude Code with CLAUDE_CONFIG_DIR", () => {
  let home;
  let folder;
  let waiting;
  let server;
  let offerLine;
  let eventsBeforeTheMove;
  let installed;
  let result;

  before(async () => {
    home = new NubboHome({ "settings.approvalMode": "smart", "settings.trustedCommands": ["ls"] });
    folder = path.join(home.home, "work", "claude-alt");
    // The first Claude only has to be running: its model never answers.
    waiting = http.createServer(() => {});
    await new Promise((resolve) => waiting.listen(0, "127.0.0.1", resolve));
    const silentModel = { url: `http://127.0.0.1:${waiting.address().port}` };
    server = new FakeModelServer([
      { text: "Let me look at the folder.", tool: { name: "Bash", input: { command: "ls", description: "List files" } } },
      { text: "The folder is listed." },
    ]);
    await server.start();
    await home.installHooks();
    await home.startApp();

    const agent = spawnClaude(home, silentModel, "Say hello.", { configDir: folder });
    try {
      offerLine = await waitFor("the detector's offer", () => home.log().find((l) =>
        l === `agent detector: Claude runs with CLAUDE_CONFIG_DIR=${folder}, not the config folder in use`), 30000);
    } finally {
      agent.kill("SIGKILL");
    }
    eventsBeforeTheMove = home.agentLog().filter((l) => l.includes("] Claude "));
    await home.stopApp();

    // Taking the offer: the preference the settings window writes, then the app's own install.
    const preferences = path.join(home.home, ".config", "Nubbo", "preferences.json");
    const stored = JSON.parse(fs.readFileSync(preferences, "utf8"));
    fs.writeFileSync(preferences, JSON.stringify({ ...stored, "settings.configFolder.claude": folder }));
    installed = await run(appPath, ["--install-hooks"], { env: home.env(), timeoutMs: 60000 });

    await home.startApp();
    result = await startClaude(home, server, "List the folder.", { configDir: folder });
    await waitFor("the pet to settle", () => inOrder(home.petLines(), ["state responding", "state idle"]), 20000);
  });

  after(async () => {
    await home?.dispose();
    await server?.stop();
    waiting?.closeAllConnections();
    waiting?.close();
  });

  test("the running agent's folder was offered, and the hooks it read there were not the app's yet", () => {
    assert.ok(offerLine);
    assert.deepEqual(eventsBeforeTheMove, []);
  });

  test("the install wired the chosen folder and took the app's entries out of ~/.claude", () => {
    assert.equal(installed.stdout, "nubbo: install-hooks OK\n", installed.stderr);
    assert.ok(appCommands(path.join(folder, "settings.json")) > 0);
    assert.equal(appCommands(path.join(home.home, ".claude", "settings.json")), 0);
  });

  test("Claude run with that folder reaches the app", () => {
    assert.equal(result.code, 0, result.stderr);
    assert.equal(result.stdout.trim(), "The folder is listed.");
    const log = home.agentLog();
    assert.ok(inOrder(log, [/\] Claude agentStarted: /, /\] Claude thinking: /, /\] Claude coding: .*ls/, /\] Claude responding: /]),
      log.join("\n"));
  });
});
