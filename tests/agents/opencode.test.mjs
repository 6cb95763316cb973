// OpenCode from npm in its default terminal interface, offline against the scripted model, with the
// plug-in the app's own "--install-hooks" generated.
import assert from "node:assert/strict";
import fs from "node:fs";
import path from "node:path";
import { after, before, describe, test } from "node:test";

import { FakeModelServer } from "./fake-model-server.mjs";
import { NubboHome, ensureAgent, inOrder, startInTerminal, waitFor } from "./harness.mjs";

const version = "1.18.33";
const opencode = ensureAgent("opencode-ai", version, "opencode");

// OpenCode's configuration folder, prepared so that it neither installs its plug-in package from the
// network at start (it would stall for about a minute offline) nor looks for a real provider.
function configureOpenCode(home, modelUrl) {
  const folder = path.join(home.home, ".config", "opencode");
  fs.mkdirSync(path.join(folder, "node_modules"), { recursive: true });
  const dependencies = { "@opencode-ai/plugin": version };
  fs.writeFileSync(path.join(folder, "package.json"), JSON.stringify({ dependencies }));
  fs.writeFileSync(path.join(folder, "package-lock.json"),
    JSON.stringify({ name: "opencode", lockfileVersion: 3, requires: true, packages: { "": { dependencies } } }));
  fs.writeFileSync(path.join(folder, "opencode.json"), JSON.stringify({
    provider: {
      fake: {
        npm: "@ai-sdk/openai-compatible",
        name: "Scripted model",
        options: { baseURL: `${modelUrl}/v1`, apiKey: "not-a-key" },
        models: { "fake-model": { name: "Scripted model", tool_call: true } },
      },
    },
    model: "fake/fake-model",
    // Every command asks, so the permission has to travel through the app.
    permission: { bash: "ask" },
    autoupdate: false,
    share: "disabled",
  }));
}

describe("OpenCode with a trust setting that allows touch", () => {
  let home;
  let server;
  let agent;

  before(async () => {
    home = new NubboHome({ "settings.approvalMode": "smart", "settings.trustedCommands": ["touch "] });
    server = new FakeModelServer([
      { text: "I will create the marker file.", tool: { name: "bash", input: { command: "touch created.txt", description: "Create marker" } } },
      { text: "Done: the marker exists.", delayMs: 1000 },
    ]);
    await server.start();
    configureOpenCode(home, server.url);
    await home.installHooks();
    await home.startApp();
    agent = startInTerminal(opencode, [home.project, "--prompt", "Create the marker file."], {
      cwd: home.project,
      env: home.env({ OPENCODE_DISABLE_AUTOUPDATE: "1" }),
    });
    // The idle life also shows "idle": the turn has ended once its last words are on the pet.
    await waitFor("OpenCode's turn to end",
      () => inOrder(home.petLines(), ["state responding", "bubble Done: the marker exists."]), 120000);
  });

  after(async () => {
    await agent?.stop();
    await home?.dispose();
    await server?.stop();
  });

  test("the generated plug-in loaded and its events reached the app", () => {
    assert.ok(fs.existsSync(path.join(home.home, ".config", "opencode", "plugins", "nubbo.js")));
    const log = home.agentLog();
    assert.ok(inOrder(log, [/\] OpenCode thinking: /, /\] OpenCode coding: Running touch created\.txt$/, /\] OpenCode responding: /]),
      log.join("\n"));
  });

  test("the permission was decided by the trust settings and the reply let the command run", () => {
    const approvals = home.agentLog().filter((l) => l.includes("] OpenCode approvalRequired: "));
    assert.equal(approvals.length, 1, approvals.join("\n"));
    assert.match(approvals[0], /touch created\.txt/);
    // The terminal interface's server address leads nowhere: only the plug-in client's reply reaches it.
    assert.ok(fs.existsSync(path.join(home.project, "created.txt")), "the allowed command did not run");
    assert.deepEqual(server.answeredSteps, [0, 1]);
    assert.ok(!home.petLines().includes("state waitingApproval"));
  });

  test("the pet shows the turn with OpenCode's own words", () => {
    const pet = home.petLines();
    assert.ok(
      inOrder(pet, [
        "state thinking",
        "state running", "bubble I will create the marker file.",
        "state responding", "bubble Done: the marker exists.",
      ]),
      pet.join("\n"),
    );
  });
});
