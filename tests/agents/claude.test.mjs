// Claude Code from npm, offline against the scripted model, wired by the app's own "--install-hooks".
import assert from "node:assert/strict";
import fs from "node:fs";
import path from "node:path";
import { after, before, describe, test } from "node:test";

import { startClaude } from "./claude-run.mjs";
import { FakeModelServer } from "./fake-model-server.mjs";
import { NubboHome, inOrder, waitFor } from "./harness.mjs";

function approvalLines(home) {
  return home.agentLog().filter((line) => line.includes("] Claude approvalRequired: "));
}

describe("Claude Code with a trust setting that allows touch", () => {
  let home;
  let server;
  let result;

  before(async () => {
    home = new NubboHome({ "settings.approvalMode": "smart", "settings.trustedCommands": ["touch "] });
    fs.writeFileSync(path.join(home.project, "notes.txt"), "hello from the notes\n");
    // Each answer after a tool comes a little later, as a real model's would, so every paced step shows.
    server = new FakeModelServer([
      { text: "Let me look at the folder first.", tool: { name: "Bash", input: { command: "ls", description: "List files" } } },
      { text: "Now I will create the marker file.", tool: { name: "Bash", input: { command: "touch created.txt", description: "Create marker" } }, delayMs: 1200 },
      { text: "Next I read the notes.", tool: { name: "Read", input: { file_path: path.join(home.project, "notes.txt") } }, delayMs: 1200 },
      { text: "All done: the marker exists and the notes say hello.", delayMs: 1200 },
    ]);
    await server.start();
    await home.installHooks();
    await home.startApp();
    result = await startClaude(home, server, "Create the marker file, then read the notes.");
    // The last events travel through the pet's paced queue after Claude has exited; the idle life also
    // shows "idle", so only an idle after the answer counts.
    await waitFor("the pet to settle", () => inOrder(home.petLines(), ["state responding", "state idle"]), 20000);
  });

  after(async () => {
    await home?.dispose();
    await server?.stop();
  });

  test("Claude finishes its scripted turn and the trusted command really ran", () => {
    assert.equal(result.code, 0, result.stderr);
    assert.equal(result.stdout.trim(), "All done: the marker exists and the notes say hello.");
    assert.deepEqual([...new Set(server.answeredSteps)], [0, 1, 2, 3]);
    assert.ok(fs.existsSync(path.join(home.project, "created.txt")), "the auto-allowed touch did not run");
  });

  test("only the command that changes something asked, and the app answered it without a card", () => {
    const approvals = approvalLines(home);
    assert.equal(approvals.length, 1, approvals.join("\n"));
    assert.match(approvals[0], /touch created\.txt/);
    assert.ok(!home.petLines().includes("state waitingApproval"));
  });

  test("the pet walks through the turn with the narration from Claude's own transcript", () => {
    const pet = home.petLines();
    assert.ok(
      inOrder(pet, ["state thinking", "state running", "state reading", "state responding", "state idle"]),
      pet.join("\n"),
    );
    // Hook payloads carry no prose: every narration bubble was read from the transcript. Claude stores a
    // message only after the hook before its tool has run, so a step may still show the prose before it,
    // but narration never runs backwards and every line of it reaches the pet.
    const prose = server.turns.map((t) => t.text);
    const narrated = pet.filter((l) => l.startsWith("bubble ")).map((l) => prose.indexOf(l.slice(7))).filter((i) => i >= 0);
    assert.ok(narrated.every((at, i) => i === 0 || at >= narrated[i - 1]), pet.join("\n"));
    assert.ok(narrated.includes(0) && narrated.includes(1), pet.join("\n"));
    assert.ok(inOrder(pet, ["state responding", `bubble ${prose[3]}`, "state idle"]), pet.join("\n"));
  });
});

describe("Claude Code waiting on a card when the app quits", () => {
  let home;
  let server;
  let result;

  before(async () => {
    home = new NubboHome({ "settings.approvalMode": "manual" });
    server = new FakeModelServer([
      { text: "I will create the marker file.", tool: { name: "Bash", input: { command: "touch parked.txt", description: "Create marker" } } },
      { text: "The command was not allowed, so I stopped." },
    ]);
    await server.start();
    await home.installHooks();
    await home.startApp();
    const claudeRun = startClaude(home, server, "Create the marker file.");
    // The card is shown once its bubble is logged too: the pet's views redraw between the two lines.
    await waitFor("the approval card", () => inOrder(home.petLines(), ["state waitingApproval", /^bubble .*touch parked\.txt/]), 60000);
    await home.stopApp();
    result = await claudeRun;
  });

  after(async () => {
    await home?.dispose();
    await server?.stop();
  });

  test("the request was parked for the user, not decided by the trust settings", () => {
    const approvals = approvalLines(home);
    assert.equal(approvals.length, 1, approvals.join("\n"));
    assert.match(approvals[0], /touch parked\.txt/);
    assert.ok(inOrder(home.petLines(), ["state waitingApproval", /^bubble .*touch parked\.txt/]), home.petLines().join("\n"));
  });

  test("Claude falls back to its own answer, finishes, and the command never ran", () => {
    assert.equal(result.timedOut, false);
    assert.equal(result.code, 0, result.stderr);
    assert.equal(result.stdout.trim(), "The command was not allowed, so I stopped.");
    assert.ok(!fs.existsSync(path.join(home.project, "parked.txt")));
  });
});

describe("Claude Code wired while the app is not running", () => {
  let home;
  let server;
  let result;

  before(async () => {
    home = new NubboHome({ "settings.approvalMode": "fullAuto" });
    server = new FakeModelServer([
      { text: "I will create the marker file.", tool: { name: "Bash", input: { command: "touch absent.txt", description: "Create marker" } } },
      { text: "Finished without the app." },
    ]);
    await server.start();
    await home.installHooks();
    result = await startClaude(home, server, "Create the marker file.");
  });

  after(async () => {
    await home?.dispose();
    await server?.stop();
  });

  test("every hook fails open: Claude finishes on its own answers and quickly", () => {
    assert.equal(result.timedOut, false);
    assert.equal(result.code, 0, result.stderr);
    assert.equal(result.stdout.trim(), "Finished without the app.");
    // No verdict came, so Claude's own answer stood: a print-mode run cannot ask, and refuses.
    assert.ok(!fs.existsSync(path.join(home.project, "absent.txt")));
    assert.ok(result.seconds < 30, `took ${result.seconds} s`);
    assert.deepEqual(home.agentLog(), []);
  });
});
