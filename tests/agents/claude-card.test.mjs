// Claude Code asks to run a command; the card appears on the real pet window (a desktop session on Xvfb, see
// tests/desktop/desktop-session.sh), and a real click on its button decides what Claude does.
import assert from "node:assert/strict";
import { execFile } from "node:child_process";
import fs from "node:fs";
import path from "node:path";
import { after, before, describe, test } from "node:test";
import { fileURLToPath } from "node:url";
import { promisify } from "node:util";

import { startClaude } from "./claude-run.mjs";
import { FakeModelServer } from "./fake-model-server.mjs";
import { NubboHome, waitFor } from "./harness.mjs";

const exec = promisify(execFile);
const desktopDir = path.join(path.dirname(fileURLToPath(import.meta.url)), "..", "desktop");
const shots = process.env.NUBBO_SHOTS_DIR;

// The button's centre on screen, found by its accessible name on the accessibility bus, once the card has
// come to rest (the same place twice, a moment apart), as a person's eye would wait for it.
async function buttonCentre(name) {
  const find = async () => {
    const { stdout } = await exec("/usr/bin/python3", [path.join(desktopDir, "atspi_find.py"), "Nubbo", "push button", name, "20"]);
    const [x, y, w, h] = stdout.trim().split(/\s+/).map(Number);
    return [Math.round(x + w / 2), Math.round(y + h / 2)];
  };
  let last = await find();
  for (let tries = 0; tries < 40; tries++) {
    await new Promise((resolve) => setTimeout(resolve, 250));
    const now = await find();
    if (now[0] === last[0] && now[1] === last[1]) return now;
    last = now;
  }
  throw new Error(`the ${name} button never came to rest`);
}

for (const [button, runs] of [["Allow", true], ["Deny", false]]) {
  describe(`Claude Code's request answered with ${button} on the card`, () => {
    let home;
    let server;
    let result;
    const marker = `${button.toLowerCase()}ed.txt`;

    before(async () => {
      home = new NubboHome({ "settings.approvalMode": "manual", hasOpenedSettingsOnFirstLaunch: true });
      server = new FakeModelServer([
        { text: "I will create the marker file.", tool: { name: "Bash", input: { command: `touch ${marker}`, description: "Create marker" } } },
        { text: "Finished with the marker." },
      ]);
      await server.start();
      await home.installHooks();
      await home.startApp({
        QT_QPA_PLATFORM: "xcb",
        DISPLAY: process.env.DISPLAY,
        XAUTHORITY: process.env.XAUTHORITY,
        DBUS_SESSION_BUS_ADDRESS: process.env.DBUS_SESSION_BUS_ADDRESS,
        QT_LINUX_ACCESSIBILITY_ALWAYS_ON: "1",
      });
      const claudeRun = startClaude(home, server, "Create the marker file.");
      await waitFor("the approval card", () => home.petLines().includes("state waitingApproval"), 60000);
      const [x, y] = await buttonCentre(button);
      if (shots) await exec("import", ["-window", "root", path.join(shots, `claude-card-${button.toLowerCase()}.png`)]);
      await exec("xdotool", ["mousemove", String(x), String(y), "click", "1"]);
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
