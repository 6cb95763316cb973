// Claude Code from npm, offline against the scripted model, in a test home: in print mode, or in its terminal
// interface on a pseudo-terminal.
import fs from "node:fs";
import path from "node:path";

import { ensureAgent, run, startInTerminal } from "./harness.mjs";

const claude = ensureAgent("@anthropic-ai/claude-code", "2.1.337", "claude");
const apiKey = "sk-ant-test-not-a-key";

function claudeEnv(home, server) {
  return home.env({
    ANTHROPIC_BASE_URL: server.url,
    ANTHROPIC_API_KEY: apiKey,
    CLAUDE_CODE_DISABLE_NONESSENTIAL_TRAFFIC: "1",
    DISABLE_AUTOUPDATER: "1",
    DISABLE_TELEMETRY: "1",
    DISABLE_ERROR_REPORTING: "1",
  });
}

export async function startClaude(home, server, prompt) {
  fs.writeFileSync(path.join(home.home, ".claude.json"), JSON.stringify({ hasCompletedOnboarding: true }));
  return run(claude, ["-p", prompt, "--permission-mode", "default"], {
    cwd: home.project,
    timeoutMs: 120000,
    env: claudeEnv(home, server),
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
