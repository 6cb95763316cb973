// Gemini CLI's environment for a run against the scripted model: its API key, the model server, a trusted
// workspace, and nothing that relaunches it or reports home.
export const geminiEnv = (home, server) => home.env({
  GEMINI_API_KEY: "not-a-key",
  GOOGLE_GEMINI_BASE_URL: server.url,
  GEMINI_CLI_TRUST_WORKSPACE: "true",
  GEMINI_CLI_NO_RELAUNCH: "true",
  GEMINI_TELEMETRY_ENABLED: "false",
});
