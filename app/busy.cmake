# The busy dialog (mw_busy) and the program's seam to the real search and upload (mw_busy_real),
# kept apart so that the dialog and its tests build without the network and upload libraries.
include_guard(GLOBAL)

add_library(mw_busy STATIC ${CMAKE_CURRENT_LIST_DIR}/search_dlg.cpp)
mw_target(mw_busy)
target_link_libraries(mw_busy PUBLIC mw_app_core mw_ui mw_resources mw_platform Threads::Threads)

if(EXISTS ${PROJECT_SOURCE_DIR}/discovery/search.h)
  add_library(mw_busy_real STATIC ${CMAKE_CURRENT_LIST_DIR}/busy_jobs_real.cpp)
  mw_target(mw_busy_real)
  target_link_libraries(mw_busy_real PUBLIC mw_busy mw_discovery varnel dunmore mw_platform)
endif()
