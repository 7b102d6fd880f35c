# The single-instance guard's named lock (platform/instance.h).
if(WIN32)
  add_library(mw_instance STATIC win32/instance_win32.cpp)
else()
  add_library(mw_instance STATIC posix/instance_posix.cpp)
endif()
mw_target(mw_instance)
target_link_libraries(mw_instance PUBLIC mw_platform)
