# The fuzz targets and what each links, shared by the libFuzzer build (fuzz/) and the regression replay that
# the normal test run compiles (tests/fuzz/).
set(NUBBO_FUZZ_BRIDGE_TARGETS
  FuzzHookPayload FuzzNarrationText FuzzClaudeTranscript FuzzCodexRollout FuzzGeminiChat FuzzTranscriptSearch)
set(NUBBO_FUZZ_APP_TARGETS
  FuzzIncomingEvent FuzzHookEntries FuzzTomlHookEntries FuzzSettingsImport FuzzPackRules FuzzPackExtractor)
set(NUBBO_FUZZ_TARGETS ${NUBBO_FUZZ_BRIDGE_TARGETS} ${NUBBO_FUZZ_APP_TARGETS})
