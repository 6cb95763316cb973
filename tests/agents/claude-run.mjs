// Claude Code from npm, offline against the scripted model, in a test home: in print mode, or in its terminal
// interface on a pseudo-terminal.
import { spawn } from "node:child_process";
import fs from "node:fs";
import path from "node:path";

import { ensureAgent, run, startInTerminal } from "./harness.mjs";

export const claude = ensureAgent("@anthropic-ai/claude-code", "2.1.337", "claude");
const apiKey = "sk-ant-test-not-a-key";

// What Claude needs to talk to the scripted model and nothing else.
export function claudeVariables(server) {
  return {
    ANTHROPIC_BASE_URL: server.url,
    ANTHROPIC_API_KEY: apiKey,
    CLAUDE_CODE_DISABLE_NONESSENTIAL_TRAFFIC: "1",
    DISABLE_AUTOUPDATER: "1",
    DISABLE_TELEMETRY: "1",
    DISABLE_ERROR_REPORTING: "1",
  };
}

// `configDir`, when given, is the CLAUDE_CONFIG_DIR Claude runs with: it reads its settings (the hooks among
// them) and its .claude.json there instead of the home.
function claudeEnv(home, server, configDir) {
  return home.env({ ...claudeVariables(server), ...(configDir ? { CLAUDE_CONFIG_DIR: configDir } : {}) });
}

function printArguments(home, prompt, configDir) {
  fs.mkdirSync(configDir ?? home.home, { recursive: true });
  fs.writeFileSync(path.join(configDir ?? home.home, ".claude.json"), JSON.stringify({ hasCompletedOnboarding: true }));
  return ["-p", prompt, "--permission-mode", "default"];
}

export async function startClaude(home, server, prompt, { configDir } = {}) {
  return run(claude, printArguments(home, prompt, configDir), {
    cwd: home.project,
    timeoutMs: 120000,
    env: claudeEnv(home, server, configDir),
  });
}

// The same in print mode, left running: the caller ends it with kill().
export function spawnClaude(home, server, prompt, { configDir } = {}) {
  return spawn(claude, printArguments(home, prompt, configDir), {
    cwd: home.project,
    env: claudeEnv(home, server, configDir),
    stdio: ["ignore", "ignore", "ignore"],
  });
}

// The interface asks, on a first start, whether to use the key from the environment and whether to trust the
// folder; a user who answered before has these recorded (Claude keeps the key's last 20 characters).
export function startClaudeInTerminal(home, server, prompt, screen) {
  fs.writeFileSync(path.join(home.home, ".claude.json"), JSON.stringify({
    hasCompletedOnboarding: true,
    customApiKeyResponses: { approved: [apiKey.slice(-20)], rejected: [] },
    projects: { [home.project]: { hasTrustDialogAccepted: true, hasCompletedProjectOnboarding: true } },
  }));
  return startInTerminal(claude, ["--permission-mode", "default", prompt], {
    cwd: home.project,
    screen,
    env: claudeEnv(home, server),
  });
}
