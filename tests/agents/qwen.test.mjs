// Qwen Code from npm, offline against the scripted model (OpenAI-style), with Claude-style hooks the app's
// own "--install-hooks" merged into ~/.qwen/settings.json once the user switched Qwen on.
import assert from "node:assert/strict";
import fs from "node:fs";
import path from "node:path";
import { after, before, describe, test } from "node:test";

import { FakeModelServer } from "./fake-model-server.mjs";
import { NubboHome, ensureAgent, inOrder, run, waitFor } from "./harness.mjs";

const qwen = ensureAgent("@qwen-code/qwen-code", "0.24.4", "qwen");

describe("Qwen Code switched on in the app", () => {
  let home;
  let server;
  let result;

  before(async () => {
    home = new NubboHome({ "settings.enable.qwen": true });
    fs.writeFileSync(path.join(home.project, "notes.txt"), "hello from the notes\n");
    const notes = path.join(home.project, "notes.txt");
    server = new FakeModelServer([
      { text: "I will create the marker file.", tool: { name: "run_shell_command", input: { command: "touch created.txt", description: "Create marker" } } },
      { text: "Now I read the notes.", tool: { name: "read_file", input: { absolute_path: notes, file_path: notes } }, delayMs: 1000 },
      { text: "All done: the marker exists.", delayMs: 1000 },
    ]);
    await server.start();
    await home.installHooks();
    await home.startApp();
    // Without a terminal Qwen cannot ask, and its permission hook fires only in its stream-json mode:
    // its own approval is off here, and the hooks report the work.
    result = await run(qwen, ["-p", "Create the marker file, then read the notes.", "--approval-mode", "yolo", "--auth-type", "openai"], {
      cwd: home.project,
      timeoutMs: 120000,
      env: home.env({ OPENAI_API_KEY: "not-a-key", OPENAI_BASE_URL: `${server.url}/v1`, OPENAI_MODEL: "fake-model" }),
    });
    await waitFor("the pet to show Qwen's answer",
      () => inOrder(home.petLines(), ["state responding", "bubble All done: the marker exists."]), 20000);
  });

  after(async () => {
    await home?.dispose();
    await server?.stop();
  });

  test("Qwen ran the scripted turn", () => {
    assert.equal(result.code, 0, result.stderr);
    assert.equal(result.stdout.trim(), "All done: the marker exists.");
    assert.deepEqual([...new Set(server.answeredSteps)], [0, 1, 2]);
    assert.ok(fs.existsSync(path.join(home.project, "created.txt")));
  });

  test("its hooks reached the app and the pet shows the work with Qwen's own words", () => {
    const log = home.agentLog();
    assert.ok(inOrder(log, [/\] Qwen Code agentStarted: /, /\] Qwen Code coding: Running touch created\.txt$/,
      /\] Qwen Code coding: Reading notes\.txt$/, /\] Qwen Code responding: /]), log.join("\n"));
    const pet = home.petLines();
    assert.ok(
      inOrder(pet, [
        "state running",
        "state reading",
        "state responding", "bubble All done: the marker exists.",
      ]),
      pet.join("\n"),
    );
    // Narration comes from Qwen's own transcript, written in its own shape.
    assert.ok(pet.some((l) => l === "bubble I will create the marker file." || l === "bubble Now I read the notes."),
      pet.join("\n"));
  });
});
