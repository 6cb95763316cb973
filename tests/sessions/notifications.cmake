# The notification tests talk to a notification server of their own on a private D-Bus session, one session
# per test (the D-Bus libraries keep the first bus they reach for the life of a process). That bus starts no
# services, so a notification daemon installed on the machine can never answer in the test server's place.
find_program(NUBBO_DBUS_RUN_SESSION dbus-run-session REQUIRED)

list(FILTER SESSIONS_TEST_SOURCES EXCLUDE REGEX "/NotificationsTest\\.cpp$")

set(NUBBO_NOTIFICATION_BUS_CONFIG ${CMAKE_CURRENT_BINARY_DIR}/notification-bus.conf)
file(WRITE ${NUBBO_NOTIFICATION_BUS_CONFIG} [=[<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:tmpdir=/tmp</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
]=])

add_executable(notification_tests ${CMAKE_CURRENT_SOURCE_DIR}/NotificationsTest.cpp)
target_link_libraries(notification_tests PRIVATE nubbo_app_core GTest::gtest)
set_target_properties(notification_tests PROPERTIES CROSSCOMPILING_EMULATOR
  "${NUBBO_DBUS_RUN_SESSION};--config-file=${NUBBO_NOTIFICATION_BUS_CONFIG};--")
gtest_discover_tests(notification_tests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 60)
