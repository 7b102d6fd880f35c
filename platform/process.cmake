# Starting a program of ours and our own path (platform/process.h).
if(WIN32)
  add_library(mw_process STATIC win32/process_win32.cpp)
else()
  add_library(mw_process STATIC posix/process_posix.cpp)
endif()
mw_target(mw_process)
