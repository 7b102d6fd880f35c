# The per-user registry: the system registry on Windows, a .reg file on Linux (platform/registry.h).
if(WIN32)
  add_library(mw_registry STATIC win32/registry_win32.cpp)
  target_link_libraries(mw_registry PUBLIC advapi32)
else()
  add_library(mw_registry STATIC posix/registry_regfile.cpp posix/registry_regfile_format.cpp)
endif()
mw_target(mw_registry)
target_link_libraries(mw_registry PUBLIC mw_platform)
