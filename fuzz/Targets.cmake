# The fuzz targets and what each links, shared by the libFuzzer build (fuzz/) and the regression replay that
# the normal test run compiles (tests/fuzz/).
set(NUBBO_FUZZ_BRIDGE_TARGETS
  FuzzHookPayload FuzzNarrationText FuzzClaudeTranscript FuzzCodexRollout FuzzGeminiChat FuzzTranscriptSearch)
set(NUBBO_FUZZ_APP_TARGETS
  FuzzIncomingEvent FuzzHookEntries FuzzTomlHookEntries FuzzSettingsImport FuzzPackRules FuzzPackExtractor
  FuzzShellCommand)
set(NUBBO_FUZZ_TARGETS ${NUBBO_FUZZ_BRIDGE_TARGETS} ${NUBBO_FUZZ_APP_TARGETS})

# The app sources the app targets reach, compiled on their own: the whole app core would pull in the views,
# the QML modules and the X11 code, which no target needs and which would make every fuzz build slow.
function(nubbo_fuzz_app_library name)
  set(app ${PROJECT_SOURCE_DIR}/app)
  add_library(${name} STATIC
    ${app}/model/AgentEvent.cpp ${app}/intake/IncomingEvent.cpp ${app}/intake/TerminalContextDecode.cpp
    ${app}/hooks/HookEntries.cpp ${app}/hooks/TomlHookEntries.cpp
    ${app}/shell/models/SettingsFile.cpp ${app}/settings/SettingsStore.cpp ${app}/settings/SettingsStore.h
    ${app}/settings/SettingsTable.cpp
    ${app}/core/SettingsEnums.cpp ${app}/shell/models/SettingsTexts.cpp ${app}/remote/RemoteHostState.cpp
    ${app}/core/AppPaths.cpp ${app}/core/PrivateFiles.cpp ${app}/core/NubboLog.cpp
    ${app}/petart/PetPackManager.cpp ${app}/petart/PackExtractor.cpp ${app}/petart/PetArtErrors.cpp
    ${app}/petart/PetArtLimits.cpp
    ${app}/approvals/ShellCommand.cpp ${app}/approvals/ShellCommandReader.cpp ${app}/approvals/KnownPrograms.cpp
    ${app}/approvals/DangerousCommands.cpp ${app}/approvals/TrustedCommands.cpp ${app}/approvals/RequestKind.cpp
    ${app}/approvals/TrustEngine.cpp ${app}/approvals/ApprovalModeTexts.cpp ${app}/summary/SummaryEndpoint.cpp)
  set_target_properties(${name} PROPERTIES AUTOMOC ON UNITY_BUILD OFF)
  target_include_directories(${name} PUBLIC ${app})
  find_package(tomlplusplus 3 REQUIRED)
  # PkgConfig::LIBARCHIVE is app/CMakeLists.txt's (global).
  # Qt6::Gui: a pack's pictures are measured by their headers (QImageReader).
  target_link_libraries(${name} PUBLIC nubbo_common Qt6::Core Qt6::Gui Qt6::Network tomlplusplus::tomlplusplus PkgConfig::LIBARCHIVE)
  target_compile_definitions(${name} PUBLIC QT_NO_KEYWORDS NUBBO_VERSION="${PROJECT_VERSION}")
endfunction()

