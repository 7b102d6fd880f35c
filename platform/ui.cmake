# The dialog layer (portable), its messages between processes, and its headless backend; the Win32
# and GTK backends add theirs here.
add_library(mw_ui STATIC
  ${CMAKE_CURRENT_LIST_DIR}/ui/dialog.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ui/dialog_template.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ui/post_queue.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ui/remote_dispatch.cpp)
if(WIN32)
  target_sources(mw_ui PRIVATE ${CMAKE_CURRENT_LIST_DIR}/win32/remote_message_win32.cpp)
  target_link_libraries(mw_ui PUBLIC user32)
else()
  target_sources(mw_ui PRIVATE ${CMAKE_CURRENT_LIST_DIR}/posix/remote_message_unix.cpp)
endif()
mw_target(mw_ui)
target_link_libraries(mw_ui PUBLIC mw_platform Threads::Threads)

# Deterministic, virtual-time backend for tests of every dialog, and its test driver; portable
# C++, so it also runs cross-built under Wine.
add_library(mw_ui_headless STATIC
  ${CMAKE_CURRENT_LIST_DIR}/headless/headless_ui.cpp
  ${CMAKE_CURRENT_LIST_DIR}/headless/headless_driver.cpp)
mw_target(mw_ui_headless)
target_link_libraries(mw_ui_headless PUBLIC mw_ui)

# The desktop backend a program installs (CreatePlatformUi): the console stand-in until a build
# has a desktop backend of its own.
add_library(mw_ui_console STATIC ${CMAKE_CURRENT_LIST_DIR}/headless/console_ui.cpp)
mw_target(mw_ui_console)
target_link_libraries(mw_ui_console PUBLIC mw_ui_headless)
