// What every real-agent test needs: the agent installed from npm (cached between runs), a fresh home,
// the app wired by its own "--install-hooks" and running headless, and its logs read back.
import { spawn, spawnSync } from "node:child_process";
import fs from "node:fs";
import os from "node:os";
import path from "node:path";

export const appPath = process.env.NUBBO_APP;
if (!appPath) throw new Error("NUBBO_APP must name the app binary");

// Real processes cannot run on a fake clock: conditions are polled until a deadline instead.
const pollMs = 50;

const cacheRoot = process.env.NUBBO_AGENT_CACHE ||
  path.join(process.env.XDG_CACHE_HOME || path.join(os.homedir(), ".cache"), "nubbo-tests", "agents");

// Installs `pkg@version` once into the cache and returns the path of its `bin` command. The install goes
// to a temporary folder renamed into place, so an interrupted download is never taken for a cached one.
export function ensureAgent(pkg, version, bin) {
  const folder = path.join(cacheRoot, `${pkg.replace(/[@/]/g, "_")}-${version}`);
  const binary = path.join(folder, "node_modules", ".bin", bin);
  if (fs.existsSync(binary)) return binary;
  fs.mkdirSync(cacheRoot, { recursive: true });
  const staging = fs.mkdtempSync(path.join(cacheRoot, ".staging-"));
  const result = spawnSync("npm", ["install", "--no-audit", "--no-fund", "--no-save", "--prefix", staging, `${pkg}@${version}`],
    { encoding: "utf8", timeout: 10 * 60 * 1000 });
  if (result.status !== 0) {
    fs.rmSync(staging, { recursive: true, force: true });
    throw new Error(`npm install ${pkg}@${version} failed: ${result.stderr || result.error}`);
  }
  try {
    fs.renameSync(staging, folder);
  } catch (error) {
    // Another run finished the same install first.
    fs.rmSync(staging, { recursive: true, force: true });
    if (!fs.existsSync(binary)) throw error;
  }
  return binary;
}

export async function waitFor(what, predicate, timeoutMs) {
  const deadline = Date.now() + timeoutMs;
  for (;;) {
    const value = await predicate();
    if (value) return value;
    if (Date.now() > deadline) throw new Error(`timed out waiting for ${what}`);
    await new Promise((resolve) => setTimeout(resolve, pollMs));
  }
}

// Runs a command to its end (or kills it at the time-out); resolves with what it printed.
export function run(command, args, { env, cwd, input, timeoutMs = 120000 } = {}) {
  return new Promise((resolve) => {
    const child = spawn(command, args, { env, cwd, stdio: ["pipe", "pipe", "pipe"] });
    let stdout = "";
    let stderr = "";
    child.stdout.on("data", (d) => (stdout += d));
    child.stderr.on("data", (d) => (stderr += d));
    const started = Date.now();
    let timedOut = false;
    const timer = setTimeout(() => {
      timedOut = true;
      child.kill("SIGKILL");
    }, timeoutMs);
    child.on("close", (code, signal) => {
      clearTimeout(timer);
      resolve({ code, signal, stdout, stderr, timedOut, seconds: (Date.now() - started) / 1000 });
    });
    child.stdin.end(input ?? "");
  });
}

// Starts a full-screen terminal program on a pseudo-terminal of its own (util-linux `script`), as a user
// would in a terminal window. Returns a handle whose stop() ends it and everything it started.
// `screen`, when given, is a file that receives everything the program draws; type() sends keystrokes.
export function startInTerminal(command, args, { env, cwd, screen = "/dev/null" }) {
  const quoted = [command, ...args].map((a) => `'${String(a).replace(/'/g, "'\\''")}'`).join(" ");
  const child = spawn("script", ["-qfec", `stty cols 120 rows 40; exec ${quoted}`, screen], {
    cwd, env: { TERM: "xterm-256color", ...env }, stdio: ["pipe", "ignore", "ignore"], detached: true,
  });
  // Our end of the terminal's input would otherwise keep the test process alive after the program is gone.
  const exited = new Promise((resolve) => child.on("exit", (...why) => {
    child.stdin.destroy();
    resolve(...why);
  }));
  return {
    exited,
    type(keys) {
      child.stdin.write(keys);
    },
    async stop() {
      if (child.exitCode !== null || child.signalCode !== null) return;
      // `script` starts the program in a session of its own on the terminal: end that session first (a
      // program that ignores the terminal's hang-up would outlive it), then script's own group.
      for (const leader of spawnSync("pgrep", ["-P", String(child.pid)], { encoding: "utf8" }).stdout.split(/\s+/))
        if (leader) spawnSync("pkill", ["-KILL", "-s", leader]);
      try {
        process.kill(-child.pid, "SIGKILL");
      } catch {
        // Already gone.
      }
      await exited;
    },
  };
}

// A temporary home with the app's settings, hooks installed by the app itself, and the app running.
export class NubboHome {
  constructor(preferences = {}) {
    this.home = fs.mkdtempSync(path.join(os.tmpdir(), "nubbo-agent-"));
    this.project = path.join(this.home, "project");
    fs.mkdirSync(this.project);
    const config = path.join(this.home, ".config", "Nubbo");
    fs.mkdirSync(config, { recursive: true });
    fs.writeFileSync(path.join(config, "preferences.json"), JSON.stringify(preferences));
    this.logs = path.join(this.home, ".local", "state", "Nubbo");
    // Its own runtime folder: the app here never takes the place of one running on the desktop.
    this.runtime = path.join(this.home, "run");
    fs.mkdirSync(this.runtime, { mode: 0o700 });
  }

  // The environment every process of the test sees: nothing of the real user's home or session.
  env(extra = {}) {
    return {
      HOME: this.home,
      XDG_CONFIG_HOME: path.join(this.home, ".config"),
      XDG_CACHE_HOME: path.join(this.home, ".cache"),
      XDG_DATA_HOME: path.join(this.home, ".local", "share"),
      XDG_STATE_HOME: path.join(this.home, ".local", "state"),
      XDG_RUNTIME_DIR: this.runtime,
      PATH: process.env.PATH,
      LANG: "C.UTF-8",
      QT_QPA_PLATFORM: "offscreen",
      DBUS_SESSION_BUS_ADDRESS: "unix:path=/nonexistent/bus",
      ...(process.env.ASAN_OPTIONS ? { ASAN_OPTIONS: process.env.ASAN_OPTIONS } : {}),
      ...extra,
    };
  }

  async installHooks() {
    const result = await run(appPath, ["--install-hooks"], { env: this.env(), timeoutMs: 60000 });
    if (result.stdout !== "nubbo: install-hooks OK\n")
      throw new Error(`install-hooks printed ${JSON.stringify(result.stdout)} ${result.stderr}`);
    // The launcher runs only a bridge no other user can change. A checkout under /tmp is not one, so the hooks
    // then reach a copy of this build's bridge in the tests' own cache folder, named by the launcher's cache.
    const bundle = path.resolve(path.dirname(appPath), "..", "..");
    const bridge = path.join(bundle, "Contents", "Helpers", "nubbo-bridge");
    if (ownedByUs(bridge)) return;
    const parent = path.join(cacheRoot, "..", "bundles");
    fs.mkdirSync(parent, { recursive: true, mode: 0o700 });
    this.bundleCopy = fs.mkdtempSync(path.join(parent, "b-"));
    const copy = path.join(this.bundleCopy, "Nubbo.app");
    fs.mkdirSync(path.join(copy, "Contents", "Helpers"), { recursive: true, mode: 0o755 });
    fs.copyFileSync(bridge, path.join(copy, "Contents", "Helpers", "nubbo-bridge"));
    fs.chmodSync(path.join(copy, "Contents", "Helpers", "nubbo-bridge"), 0o755);
    if (!ownedByUs(path.join(copy, "Contents", "Helpers", "nubbo-bridge")))
      throw new Error(`no folder only this user can write holds a bridge for the hooks (tried ${copy})`);
    fs.writeFileSync(path.join(this.home, ".nubbo", "bin", ".bridge-cache"), copy + "\n");
  }

  // `extra` reaches only the app, e.g. a real display instead of the headless platform.
  async startApp(extra = {}) {
    this.app = spawn(appPath, [], { env: this.env(extra), stdio: ["ignore", "ignore", "pipe"] });
    this.appStderr = "";
    this.app.stderr.on("data", (d) => (this.appStderr += d));
    this.appExit = new Promise((resolve) => this.app.on("exit", (code, signal) => resolve({ code, signal })));
    await waitFor("the app's socket", () => this.log().some((l) => l.includes("nubbo socket listening at")), 30000);
  }

  // Ends the app as a logout does and waits until it is gone.
  async stopApp() {
    if (!this.app || this.app.exitCode !== null || this.app.signalCode !== null) return;
    this.app.kill("SIGTERM");
    await this.appExit;
  }

  // nubbo.log without its time stamps.
  log() {
    try {
      return fs.readFileSync(path.join(this.logs, "nubbo.log"), "utf8").split("\n").filter(Boolean)
        .map((line) => line.replace(/^\S+ /, ""));
    } catch {
      return [];
    }
  }

  agentLog() {
    try {
      return fs.readFileSync(path.join(this.logs, "agent.log"), "utf8").split("\n").filter(Boolean);
    } catch {
      return [];
    }
  }

  // The pet's visible history: "state …" and "bubble …" lines in order.
  petLines() {
    return this.log().filter((l) => l.startsWith("state ") || l.startsWith("bubble "));
  }

  // Agents may leave daemons behind (Cline's hub): they would write into the home while it is removed and
  // keep the test process from ending, so everything still running with this home is ended first.
  async dispose() {
    await this.stopApp();
    const marker = Buffer.from(`HOME=${this.home}\0`);
    const stragglers = fs.readdirSync("/proc").filter((pid) => /^\d+$/.test(pid) && Number(pid) !== process.pid)
      .filter((pid) => {
        try {
          return fs.readFileSync(`/proc/${pid}/environ`).includes(marker);
        } catch {
          return false;
        }
      });
    for (const pid of stragglers) {
      try {
        process.kill(Number(pid), "SIGKILL");
      } catch {
        // Already gone.
      }
    }
    await waitFor("the agent's leftover processes to end",
      () => stragglers.every((pid) => !fs.existsSync(`/proc/${pid}`) || isZombie(pid)), 10000);
    fs.rmSync(this.home, { recursive: true, force: true, maxRetries: 5 });
    if (this.bundleCopy) fs.rmSync(this.bundleCopy, { recursive: true, force: true });
  }
}

// The launcher's test: the file and every folder above it belong to this user or root, and neither group nor
// others may write to them.
function ownedByUs(file) {
  for (let p = fs.realpathSync(file); ; p = path.dirname(p)) {
    const st = fs.statSync(p);
    if ((st.uid !== 0 && st.uid !== process.getuid()) || (st.mode & 0o022) !== 0) return false;
    if (p === path.dirname(p)) return true;
  }
}

function isZombie(pid) {
  try {
    return fs.readFileSync(`/proc/${pid}/stat`, "utf8").replace(/^.*\) /s, "").startsWith("Z");
  } catch {
    return true;
  }
}

// True when `needles` occur in `lines` in this order (other lines may come between).
export function inOrder(lines, needles) {
  let at = 0;
  for (const line of lines) {
    if (at < needles.length && (needles[at] instanceof RegExp ? needles[at].test(line) : line === needles[at])) at++;
  }
  return at === needles.length;
}
