// Codex CLI from npm, offline against the scripted model (Responses API), with the hooks.json the app's own
// "--install-hooks" wrote.
import assert from "node:assert/strict";
import fs from "node:fs";
import path from "node:path";
import { after, before, describe, test } from "node:test";

import { FakeModelServer } from "./fake-model-server.mjs";
import { NubboHome, ensureAgent, inOrder, run, waitFor } from "./harness.mjs";

const codex = ensureAgent("@openai/codex", "0.171.0", "codex");

describe("Codex CLI wired by the app", () => {
  let home;
  let server;
  let result;

  before(async () => {
    home = new NubboHome();
    server = new FakeModelServer([
      { text: "I will create the marker file.", tool: { name: "exec_command", input: { cmd: "touch created.txt" } } },
      { text: "All done: the marker exists.", delayMs: 1000 },
    ]);
    await server.start();
    fs.mkdirSync(path.join(home.home, ".codex"));
    fs.writeFileSync(path.join(home.home, ".codex", "config.toml"), [
      'model = "fake-model"',
      'model_provider = "scripted"',
      "[model_providers.scripted]",
      'name = "Scripted model"',
      `base_url = "${server.url}/v1"`,
      'env_key = "SCRIPTED_MODEL_KEY"',
      'wire_api = "responses"',
      "",
    ].join("\n"));
    await home.installHooks();
    await home.startApp();
    // Codex runs user hooks only once the user has reviewed them in its terminal interface; the bypass flag
    // stands for that review. `codex exec` never asks for permission, so its own approval is off.
    result = await run(codex, ["exec", "--skip-git-repo-check", "--dangerously-bypass-hook-trust",
      "--dangerously-bypass-approvals-and-sandbox", "Create the marker file."], {
      cwd: home.project,
      timeoutMs: 120000,
      env: home.env({ SCRIPTED_MODEL_KEY: "not-a-key", CODEX_HOME: path.join(home.home, ".codex") }),
    });
    await waitFor("the pet to show Codex's answer",
      () => inOrder(home.petLines(), ["state responding", "bubble All done: the marker exists."]), 20000);
  });

  after(async () => {
    await home?.dispose();
    await server?.stop();
  });

  test("Codex ran the scripted turn", () => {
    assert.equal(result.code, 0, result.stderr);
    assert.equal(result.stdout.trim(), "All done: the marker exists.");
    assert.deepEqual([...new Set(server.answeredSteps)], [0, 1]);
    assert.ok(fs.existsSync(path.join(home.project, "created.txt")));
  });

  test("its hooks reached the app and the pet narrates from Codex's rollout", () => {
    const log = home.agentLog();
    assert.ok(inOrder(log, [/\] Codex agentStarted: /, /\] Codex thinking: /, /\] Codex coding: Running touch created\.txt$/,
      /\] Codex responding: /]), log.join("\n"));
    const pet = home.petLines();
    assert.ok(
      inOrder(pet, [
        "state thinking",
        "state running", "bubble I will create the marker file.",
        "state responding", "bubble All done: the marker exists.",
      ]),
      pet.join("\n"),
    );
  });
});
