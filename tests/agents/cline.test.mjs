// Cline CLI 3 from npm against the scripted model (OpenAI-compatible chat), its hook scripts written by the
// app's own "--install-hooks" into ~/Documents/Cline/Hooks; the card on the real pet window (desktop session).
import assert from "node:assert/strict";
import fs from "node:fs";
import path from "node:path";
import { after, before, describe, test } from "node:test";

import { answerTheCard, desktopAppEnv } from "./desktop-card.mjs";
import { FakeModelServer } from "./fake-model-server.mjs";
import { NubboHome, ensureAgent, run, waitFor } from "./harness.mjs";

const cline = ensureAgent("cline", "3.0.65", "cline");

async function clineHome(settings, command) {
  const home = new NubboHome({ "settings.enable.cline": true, hasOpenedSettingsOnFirstLaunch: true, ...settings });
  fs.mkdirSync(path.join(home.project, "build"));
  const server = new FakeModelServer([
    { text: "I will run the command.", tool: { name: "run_commands", input: { commands: [command] } } },
    { text: "Finished." },
  ]);
  await server.start();
  await home.installHooks();
  await home.startApp(desktopAppEnv());
  const env = home.env({});
  const auth = await run(cline, ["auth", "-p", "openai", "-k", "not-a-key", "-m", "fake-model", "-b", `${server.url}/v1`],
    { cwd: home.project, timeoutMs: 60000, env });
  assert.equal(auth.code, 0, auth.stderr);
  const clineRun = run(cline, ["--json", "Run the command."], { cwd: home.project, timeoutMs: 120000, env });
  return { home, server, clineRun };
}

describe("Cline CLI with a trusted command in smart mode", () => {
  let home, server, result;

  before(async () => {
    let clineRun;
    ({ home, server, clineRun } = await clineHome(
      { "settings.approvalMode": "smart", "settings.trustedCommands": ["touch "] }, "touch created.txt"));
    result = await clineRun;
    await waitFor("the pet to show the end", () => home.petLines().includes("state success"), 20000);
  });

  after(async () => {
    await home?.dispose();
    await server?.stop();
  });

  test("the hooks in Documents/Cline/Hooks fire, the card's command is Cline's, and the allow lets it run", () => {
    assert.equal(result.code, 0, result.stderr);
    assert.deepEqual([...new Set(server.answeredSteps)], [0, 1]);
    const log = home.agentLog();
    assert.ok(log.some((l) => l.includes("] Cline agentStarted")), log.join("\n"));
    assert.ok(log.some((l) => l.includes("] Cline approvalRequired: Approval requested: touch created.txt")), log.join("\n"));
    assert.ok(log.some((l) => l.includes("] Cline taskCompleted")), log.join("\n"));
    assert.ok(fs.existsSync(path.join(home.project, "created.txt")));
    assert.ok(!home.petLines().includes("state waitingApproval"));
  });
});

describe("Cline CLI with a dangerous command denied on the card", () => {
  let home, server, result;

  before(async () => {
    let clineRun;
    ({ home, server, clineRun } = await clineHome({ "settings.approvalMode": "smart" }, "rm -rf build"));
    await answerTheCard(home, "Deny", "cline-card-deny.png");
    result = await clineRun;
  });

  after(async () => {
    await home?.dispose();
    await server?.stop();
  });

  // Cline's answer to a deny ("cancel") ends the task: the model is not asked again.
  test("Cline does not run the command and stops the task", () => {
    assert.equal(result.code, 0, result.stderr);
    assert.ok(fs.existsSync(path.join(home.project, "build")), "the denied command ran");
    assert.deepEqual([...new Set(server.answeredSteps)], [0]);
    assert.ok(home.agentLog().some((l) => l.includes("] Cline approvalRequired: Approval requested: rm -rf build")));
  });
});
