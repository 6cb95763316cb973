# The keychain tests talk to a real Secret Service. Each test runs in a private D-Bus session with an
# unlocked gnome-keyring in a temporary home (with-keyring.sh), so the user's keyring is never touched, and
# in a process of its own, since the D-Bus libraries keep the first bus they reach for the life of a process.
find_program(NUBBO_DBUS_RUN_SESSION dbus-run-session REQUIRED)
find_program(NUBBO_KEYRING_DAEMON gnome-keyring-daemon REQUIRED)

add_executable(keychain_tests ${CMAKE_CURRENT_SOURCE_DIR}/KeychainStoreTest.cpp)
target_link_libraries(keychain_tests PRIVATE nubbo_app_core GTest::gtest)
set_target_properties(keychain_tests PROPERTIES CROSSCOMPILING_EMULATOR
  "${NUBBO_DBUS_RUN_SESSION};--;bash;${CMAKE_CURRENT_SOURCE_DIR}/with-keyring.sh")
gtest_discover_tests(keychain_tests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 60
  ENVIRONMENT "LSAN_OPTIONS=suppressions=${CMAKE_CURRENT_SOURCE_DIR}/keychain-lsan.supp")
