# The applications-menu entry for a bundle, its values escaped as desktop entries require so that any install
# path reads back as itself: by the desktop (Exec) and by the hook launcher (X-Nubbo-Bundle).

# A string value: backslash written as "\\". Line breaks and tabs have no place in an install path.
function(nubbo_desktop_string out text)
  if(text MATCHES "[\n\r\t]")
    message(FATAL_ERROR "A desktop entry cannot name a path holding a line break or tab: ${text}")
  endif()
  string(REPLACE "\\" "\\\\" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# One Exec argument: double-quoted with '"', '`', '$' and '\' escaped by a backslash, those backslashes then
# doubled as for every string value, and '%' doubled so it is no field code.
function(nubbo_desktop_exec_argument out text)
  string(REPLACE "\\" "\\\\" text "${text}")
  string(REPLACE "\"" "\\\"" text "${text}")
  string(REPLACE "`" "\\`" text "${text}")
  string(REPLACE "$" "\\$" text "${text}")
  nubbo_desktop_string(text "${text}")
  string(REPLACE "%" "%%" text "${text}")
  set(${out} "\"${text}\"" PARENT_SCOPE)
endfunction()

# Writes the entry for the bundle at bundle_path to output (relative paths are under the current binary
# folder).
function(nubbo_configure_menu_entry output bundle_path)
  nubbo_desktop_exec_argument(NUBBO_DESKTOP_EXEC "${bundle_path}/Contents/MacOS/Nubbo")
  nubbo_desktop_string(NUBBO_DESKTOP_BUNDLE "${bundle_path}")
  configure_file("${CMAKE_CURRENT_FUNCTION_LIST_DIR}/dev.nubbo.Nubbo.desktop.in" "${output}" @ONLY)
endfunction()
