// Claude Code from npm in print mode, offline against the scripted model, in a test home.
import fs from "node:fs";
import path from "node:path";

import { ensureAgent, run } from "./harness.mjs";

const claude = ensureAgent("@anthropic-ai/claude-code", "2.1.337", "claude");

export async function startClaude(home, server, prompt) {
  fs.writeFileSync(path.join(home.home, ".claude.json"), JSON.stringify({ hasCompletedOnboarding: true }));
  return run(claude, ["-p", prompt, "--permission-mode", "default"], {
    cwd: home.project,
    timeoutMs: 120000,
    env: home.env({
      ANTHROPIC_BASE_URL: server.url,
      ANTHROPIC_API_KEY: "sk-ant-test-not-a-key",
      CLAUDE_CODE_DISABLE_NONESSENTIAL_TRAFFIC: "1",
      DISABLE_AUTOUPDATER: "1",
      DISABLE_TELEMETRY: "1",
      DISABLE_ERROR_REPORTING: "1",
    }),
  });
}
