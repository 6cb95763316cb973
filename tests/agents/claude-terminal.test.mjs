// Claude Code's terminal interface on a pseudo-terminal, with the card on the real pet window (a desktop
// session on Xvfb): a request shows both the card and Claude's own dialog; answering in the terminal
// withdraws the card, answering on the card lets Claude go on.
import assert from "node:assert/strict";
import { execFile } from "node:child_process";
import fs from "node:fs";
import path from "node:path";
import { fileURLToPath } from "node:url";
import { promisify } from "node:util";
import { after, before, describe, test } from "node:test";

import { startClaudeInTerminal } from "./claude-run.mjs";
import { clickCardButton, manualCardSetUp } from "./desktop-card.mjs";
import { inOrder, waitFor } from "./harness.mjs";

const exec = promisify(execFile);
const finder = path.join(path.dirname(fileURLToPath(import.meta.url)), "..", "desktop", "atspi_find.py");

// What the terminal shows, without its escape sequences and the spaces cursor moves stand for.
const screenText = (file) => fs.readFileSync(file, "utf8").replace(/\x1b\[[0-9;?]*[a-zA-Z]|\x1b\][^\x07\x1b]*(\x07|\x1b\\)/g, "").replace(/\s+/g, "");

async function cardButtonShown(name) {
  try {
    await exec("/usr/bin/python3", [finder, "Nubbo", "push button", name, "0"]);
    return true;
  } catch {
    return false;
  }
}

for (const where of ["terminal", "card"]) {
  describe(`Claude Code's terminal dialog and the card, answered on the ${where}`, () => {
    let home;
    let server;
    let agent;
    let screen;
    const marker = `from-${where}.txt`;

    before(async () => {
      ({ home, server } = await manualCardSetUp(marker));
      screen = path.join(home.home, "screen.log");
      agent = startClaudeInTerminal(home, server, "Create the marker file.", screen);
      await waitFor("the card", () => home.petLines().includes("state waitingApproval"), 60000);
      await waitFor("Claude's own dialog", () => screenText(screen).includes("Doyouwanttoproceed?"), 30000);
      if (where === "terminal") {
        agent.type("1");
        await new Promise((resolve) => setTimeout(resolve, 300));
        agent.type("\r");
      } else {
        await clickCardButton("Allow");
      }
      await waitFor("Claude to finish", () => screenText(screen).includes("Finishedwiththemarker."), 60000);
    });

    after(async () => {
      await agent?.stop();
      await home?.dispose();
      await server?.stop();
    });

    test("the command ran and the pet left the card for the agent's work", async () => {
      assert.ok(fs.existsSync(path.join(home.project, marker)));
      const pet = home.petLines();
      assert.ok(inOrder(pet, ["state waitingApproval", /^state (?!waitingApproval)/]), pet.join("\n"));
      await waitFor("the card to leave the screen", async () => !(await cardButtonShown("Allow")), 10000);
    });
  });
}
