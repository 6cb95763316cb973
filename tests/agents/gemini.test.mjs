// Gemini CLI from npm, offline against the scripted model, its settings.json merged by the app's own
// "--install-hooks". Every tool call passes through BeforeTool, where the app's verdict decides.
import assert from "node:assert/strict";
import fs from "node:fs";
import path from "node:path";
import { after, before, describe, test } from "node:test";

import { FakeModelServer } from "./fake-model-server.mjs";
import { geminiEnv } from "./gemini-run.mjs";
import { NubboHome, ensureAgent, inOrder, run, waitFor } from "./harness.mjs";

const gemini = ensureAgent("@google/gemini-cli", "0.61.0", "gemini");

describe("Gemini CLI with a trust setting that allows everything but dangerous commands", () => {
  let home;
  let server;
  let result;
  let installedSettings;
  const userSettings = {
    security: { auth: { selectedType: "gemini-api-key" } },
    general: { disableAutoUpdate: true },
    privacy: { usageStatisticsEnabled: false },
  };

  before(async () => {
    home = new NubboHome({ "settings.approvalMode": "fullAuto" });
    fs.writeFileSync(path.join(home.project, "notes.txt"), "hello from the notes\n");
    server = new FakeModelServer([
      { text: "I will create the marker file.", tool: { name: "run_shell_command", input: { command: "touch created.txt", description: "Create marker" } } },
      { text: "Now I read the notes.", tool: { name: "read_file", input: { file_path: "notes.txt" } }, delayMs: 1000 },
      { text: "All done: the marker exists.", delayMs: 1000 },
    ]);
    await server.start();
    // The user's own settings, which the install must keep.
    fs.mkdirSync(path.join(home.home, ".gemini"));
    fs.writeFileSync(path.join(home.home, ".gemini", "settings.json"), JSON.stringify(userSettings, null, 2));
    await home.installHooks();
    // Read before Gemini runs: it migrates settings of its own on start.
    installedSettings = JSON.parse(fs.readFileSync(path.join(home.home, ".gemini", "settings.json"), "utf8"));
    await home.startApp();
    // Gemini's own confirmation is switched off (yolo): a hook's allow does not skip it, and a run without a
    // terminal could not answer it. A named model skips the routing request.
    result = await run(gemini, ["-p", "Create the marker file, then read the notes.", "--approval-mode", "yolo", "-m", "gemini-2.5-flash"], {
      cwd: home.project,
      timeoutMs: 120000,
      env: geminiEnv(home, server),
    });
    await waitFor("the pet to show the end of the task",
      () => inOrder(home.petLines(), ["state success", "bubble All done: the marker exists."]), 20000);
  });

  after(async () => {
    await home?.dispose();
    await server?.stop();
  });

  test("Gemini ran the scripted turn and the allowed command really ran", () => {
    assert.equal(result.code, 0, result.stderr);
    assert.match(result.stdout, /All done: the marker exists\./);
    assert.deepEqual([...new Set(server.answeredSteps)], [0, 1, 2]);
    assert.ok(fs.existsSync(path.join(home.project, "created.txt")), "the allowed command did not run");
  });

  test("the merged settings kept the user's own and every tool call was put to the app", () => {
    for (const [key, value] of Object.entries(userSettings)) assert.deepEqual(installedSettings[key], value);
    assert.ok(JSON.stringify(installedSettings.hooks.BeforeTool).includes("nubbo-bridge"));
    const approvals = home.agentLog().filter((l) => l.includes("] Gemini approvalRequired: "));
    assert.equal(approvals.length, 2, approvals.join("\n"));
    assert.match(approvals[0], /touch created\.txt/);
    assert.match(approvals[1], /notes\.txt/);
    assert.ok(!home.petLines().includes("state waitingApproval"));
  });

  test("the pet shows the command, the read and the closing words from Gemini's chat", () => {
    const pet = home.petLines();
    assert.ok(
      inOrder(pet, [
        "state thinking",
        "state running", /^bubble (I will create the marker file\.|Gemini · Running touch created\.txt)$/,
        "state reading",
        "state success", "bubble All done: the marker exists.",
      ]),
      pet.join("\n"),
    );
    // Narration is read from the chat file Gemini writes: hook payloads carry no prose.
    assert.ok(pet.includes("bubble I will create the marker file."), pet.join("\n"));
  });
});
