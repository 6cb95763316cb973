// Copilot CLI from npm in its own-provider mode (an OpenAI-compatible endpoint: the scripted model), its hook
// file written by the app's own "--install-hooks"; the card on the real pet window (desktop session).
import assert from "node:assert/strict";
import fs from "node:fs";
import path from "node:path";
import { after, before, describe, test } from "node:test";

import { answerTheCard, desktopAppEnv } from "./desktop-card.mjs";
import { FakeModelServer } from "./fake-model-server.mjs";
import { NubboHome, ensureAgent, run, waitFor } from "./harness.mjs";

const copilot = ensureAgent("@github/copilot", "1.0.102", "copilot");

async function copilotHome(settings, command) {
  const home = new NubboHome({ "settings.enable.copilot": true, hasOpenedSettingsOnFirstLaunch: true, ...settings });
  fs.mkdirSync(path.join(home.project, "build"));
  const server = new FakeModelServer([
    { text: "I will run the command.", tool: { name: "bash", input: { command, description: "Run it" } } },
    { text: "Finished." },
  ]);
  await server.start();
  await home.installHooks();
  await home.startApp(desktopAppEnv());
  const env = home.env({ COPILOT_PROVIDER_BASE_URL: `${server.url}/v1`, COPILOT_PROVIDER_API_KEY: "not-a-key", COPILOT_MODEL: "gpt-4.1" });
  const copilotRun = run(copilot, ["-p", "Run the command."], { cwd: home.project, timeoutMs: 120000, env });
  return { home, server, copilotRun };
}

describe("Copilot CLI with a trusted command in smart mode", () => {
  let home, server, result;

  before(async () => {
    let copilotRun;
    ({ home, server, copilotRun } = await copilotHome(
      { "settings.approvalMode": "smart", "settings.trustedCommands": ["touch "] }, "touch created.txt"));
    result = await copilotRun;
    await waitFor("the session to end", () => home.agentLog().some((l) => l.includes("] Copilot CLI agentStopped")), 20000);
  });

  after(async () => {
    await home?.dispose();
    await server?.stop();
  });

  test("the hooks fire, the request carries Copilot's command, and the allow lets it run", () => {
    assert.equal(result.code, 0, result.stderr);
    assert.match(result.stdout, /Finished\./);
    const log = home.agentLog();
    assert.ok(log.some((l) => l.includes("] Copilot CLI coding: Running touch created.txt")), log.join("\n"));
    assert.ok(log.some((l) => l.includes("] Copilot CLI approvalRequired: Approval requested: touch created.txt")), log.join("\n"));
    assert.ok(fs.existsSync(path.join(home.project, "created.txt")));
    assert.ok(!home.petLines().includes("state waitingApproval"));
  });
});

describe("Copilot CLI with a dangerous command denied on the card", () => {
  let home, server, result;

  before(async () => {
    let copilotRun;
    ({ home, server, copilotRun } = await copilotHome({ "settings.approvalMode": "smart" }, "rm -rf build"));
    await answerTheCard(home, "Deny", "copilot-card-deny.png");
    result = await copilotRun;
  });

  after(async () => {
    await home?.dispose();
    await server?.stop();
  });

  test("Copilot does not run the command and finishes its turn", () => {
    assert.equal(result.code, 0, result.stderr);
    assert.ok(fs.existsSync(path.join(home.project, "build")), "the denied command ran");
    assert.deepEqual([...new Set(server.answeredSteps)], [0, 1]);
  });
});
