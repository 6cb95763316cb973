// Claude Code asks to run a command; the card appears on the real pet window (a desktop session on Xvfb, see
// tests/desktop/desktop-session.sh), and a real click on its button decides what Claude does.
import assert from "node:assert/strict";
import fs from "node:fs";
import path from "node:path";
import { after, before, describe, test } from "node:test";

import { startClaude } from "./claude-run.mjs";
import { answerTheCard, manualCardSetUp } from "./desktop-card.mjs";

for (const [button, runs] of [["Allow", true], ["Deny", false]]) {
  describe(`Claude Code's request answered with ${button} on the card`, () => {
    let home;
    let server;
    let result;
    const marker = `${button.toLowerCase()}ed.txt`;

    before(async () => {
      ({ home, server } = await manualCardSetUp(marker));
      const claudeRun = startClaude(home, server, "Create the marker file.");
      await answerTheCard(home, button, `claude-card-${button.toLowerCase()}.png`);
      result = await claudeRun;
    });

    after(async () => {
      await home?.dispose();
      await server?.stop();
    });

    test(`Claude ${runs ? "runs" : "does not run"} the command and finishes its turn`, () => {
      assert.equal(result.timedOut, false);
      assert.equal(result.code, 0, result.stderr);
      assert.equal(fs.existsSync(path.join(home.project, marker)), runs);
      assert.equal(result.stdout.trim(), "Finished with the marker.");
    });
  });
}
