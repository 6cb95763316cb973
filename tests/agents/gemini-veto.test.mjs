// Gemini CLI in manual mode, on the real pet window: Gemini's allow cannot grant anything, so a read goes on
// without a card, and only the dangerous command waits, for a Deny that stops it.
import assert from "node:assert/strict";
import fs from "node:fs";
import path from "node:path";
import { after, before, describe, test } from "node:test";

import { answerTheCard, desktopAppEnv } from "./desktop-card.mjs";
import { FakeModelServer } from "./fake-model-server.mjs";
import { geminiEnv } from "./gemini-run.mjs";
import { NubboHome, ensureAgent, run } from "./harness.mjs";

const gemini = ensureAgent("@google/gemini-cli", "0.61.0", "gemini");

describe("Gemini CLI with the app in manual mode", () => {
  let home;
  let server;
  let result;
  let petBeforeTheCard;

  before(async () => {
    home = new NubboHome({ "settings.approvalMode": "manual", hasOpenedSettingsOnFirstLaunch: true });
    fs.writeFileSync(path.join(home.project, "notes.txt"), "hello from the notes\n");
    fs.mkdirSync(path.join(home.project, "build"));
    server = new FakeModelServer([
      { text: "First I read the notes.", tool: { name: "read_file", input: { file_path: "notes.txt" } } },
      { text: "Now I clean up.", tool: { name: "run_shell_command", input: { command: "rm -rf build", description: "Clean" } }, delayMs: 500 },
      { text: "Finished without cleaning.", delayMs: 500 },
    ]);
    await server.start();
    fs.mkdirSync(path.join(home.home, ".gemini"));
    fs.writeFileSync(path.join(home.home, ".gemini", "settings.json"),
      JSON.stringify({ security: { auth: { selectedType: "gemini-api-key" } }, general: { disableAutoUpdate: true } }));
    await home.installHooks();
    await home.startApp(desktopAppEnv());
    // yolo: Gemini's own confirmation is off, so what the app lets through really runs.
    const geminiRun = run(gemini, ["-p", "Read the notes, then clean up.", "--approval-mode", "yolo", "-m", "gemini-2.5-flash"], {
      cwd: home.project,
      timeoutMs: 120000,
      env: geminiEnv(home, server),
    });
    petBeforeTheCard = await answerTheCard(home, "Deny", "gemini-veto-deny.png");
    result = await geminiRun;
  });

  after(async () => {
    await home?.dispose();
    await server?.stop();
  });

  test("the read went on without a card; the dangerous command waited and the Deny stopped it", () => {
    assert.equal(result.code, 0, result.stderr);
    assert.match(result.stdout, /Finished without cleaning\./);
    const approvals = home.agentLog().filter((l) => l.includes("] Gemini approvalRequired: "));
    assert.equal(approvals.length, 2, approvals.join("\n"));
    assert.match(approvals[0], /notes\.txt/);
    assert.match(approvals[1], /rm -rf build/);
    // One card, for the command, never for the read.
    assert.equal(petBeforeTheCard.filter((l) => l === "state waitingApproval").length, 1);
    assert.ok(fs.existsSync(path.join(home.project, "build")), "the denied command ran");
  });
});
