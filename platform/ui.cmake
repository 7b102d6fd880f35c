# The dialog layer (portable) and its headless backend; the Win32 and GTK backends add theirs here.
add_library(mw_ui STATIC
  ${CMAKE_CURRENT_LIST_DIR}/ui/dialog.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ui/dialog_template.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ui/post_queue.cpp)
mw_target(mw_ui)
target_link_libraries(mw_ui PUBLIC Threads::Threads)

# Deterministic, virtual-time backend for tests of every dialog; portable C++, so it also runs
# cross-built under Wine.
add_library(mw_ui_headless STATIC ${CMAKE_CURRENT_LIST_DIR}/headless/headless_ui.cpp)
mw_target(mw_ui_headless)
target_link_libraries(mw_ui_headless PUBLIC mw_ui)
