# The notification tests talk to a notification server of their own on a private D-Bus session, one session
# per test (the D-Bus libraries keep the first bus they reach for the life of a process). That bus starts no
# services, so a notification daemon installed on the machine can never answer in the test server's place.

list(FILTER SESSIONS_TEST_SOURCES EXCLUDE REGEX "/NotificationsTest\\.cpp$")

add_executable(notification_tests ${CMAKE_CURRENT_SOURCE_DIR}/NotificationsTest.cpp)
target_link_libraries(notification_tests PRIVATE nubbo_app_core GTest::gtest)
set_target_properties(notification_tests PROPERTIES CROSSCOMPILING_EMULATOR
  "${NUBBO_DBUS_RUN_SESSION};--config-file=${NUBBO_SERVICELESS_BUS_CONFIG};--")
gtest_discover_tests(notification_tests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 60)
