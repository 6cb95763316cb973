// The approval card on the real pet window: the app's environment for the desktop session, and a click on a
// card button found by its accessible name once the card has come to rest.
import { execFile } from "node:child_process";
import path from "node:path";
import { fileURLToPath } from "node:url";
import { promisify } from "node:util";

import { FakeModelServer } from "./fake-model-server.mjs";
import { NubboHome, waitFor } from "./harness.mjs";

const exec = promisify(execFile);
const desktopDir = path.join(path.dirname(fileURLToPath(import.meta.url)), "..", "desktop");

export const desktopAppEnv = () => ({
  QT_QPA_PLATFORM: "xcb",
  DISPLAY: process.env.DISPLAY,
  XAUTHORITY: process.env.XAUTHORITY,
  DBUS_SESSION_BUS_ADDRESS: process.env.DBUS_SESSION_BUS_ADDRESS,
  QT_LINUX_ACCESSIBILITY_ALWAYS_ON: "1",
});

async function buttonCentre(name) {
  const { stdout } = await exec("/usr/bin/python3", [path.join(desktopDir, "atspi_find.py"), "Nubbo", "push button", name, "20"]);
  const [x, y, w, h] = stdout.trim().split(/\s+/).map(Number);
  return [Math.round(x + w / 2), Math.round(y + h / 2)];
}

// The same place twice, a moment apart, as a person's eye would wait for the card to settle.
export async function clickCardButton(name, screenshot) {
  let last = await buttonCentre(name);
  for (let tries = 0; tries < 40; tries++) {
    await new Promise((resolve) => setTimeout(resolve, 250));
    const now = await buttonCentre(name);
    if (now[0] === last[0] && now[1] === last[1]) {
      // At rest, the card's buttons wait a moment before they take a click (one aimed at what was there before
      // must not answer it).
      await new Promise((resolve) => setTimeout(resolve, 600));
      if (screenshot) await exec("import", ["-window", "root", screenshot]);
      await exec("xdotool", ["mousemove", String(now[0]), String(now[1]), "click", "1"]);
      return;
    }
    last = now;
  }
  throw new Error(`the ${name} button never came to rest`);
}

// Waits for the card, then answers it with the named button; gives the pet's log lines as the card came.
export async function answerTheCard(home, button, screenshotName) {
  await waitFor("the approval card", () => home.petLines().includes("state waitingApproval"), 60000);
  const linesAtTheCard = home.petLines();
  const shots = process.env.NUBBO_SHOTS_DIR;
  await clickCardButton(button, shots && path.join(shots, screenshotName));
  return linesAtTheCard;
}

// A home in manual mode with the app on the real display, and a model that asks once to touch the marker.
export async function manualCardSetUp(marker) {
  const home = new NubboHome({ "settings.approvalMode": "manual", hasOpenedSettingsOnFirstLaunch: true });
  const server = new FakeModelServer([
    { text: "I will create the marker file.", tool: { name: "Bash", input: { command: `touch ${marker}`, description: "Create marker" } } },
    { text: "Finished with the marker." },
  ]);
  await server.start();
  await home.installHooks();
  await home.startApp(desktopAppEnv());
  return { home, server };
}
