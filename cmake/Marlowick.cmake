# Build conventions shared by every folder: warnings, sanitizers, the test framework, test registration.
set(MW_WIN32 ${WIN32})

set(MW_WARNINGS -Wall -Wextra -Wpedantic -Wshadow -Wformat=2 -Wno-missing-field-initializers)
if(MW_WERROR)
  list(APPEND MW_WARNINGS -Werror)
endif()

if(MW_SANITIZE)
  string(REPLACE ";" "," _mw_san "${MW_SANITIZE}")
  add_compile_options(-fsanitize=${_mw_san} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${_mw_san})
endif()

if(WIN32)
  # Windows 7 APIs and later; narrow (ANSI) entry points like the system's own code.
  add_compile_definitions(_WIN32_WINNT=0x0601 WINVER=0x0601 WIN32_LEAN_AND_MEAN NOMINMAX)
  # Ship the MinGW runtime beside our binaries so that they start on a machine without MinGW.
  foreach(_dll libstdc++-6.dll libgcc_s_seh-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${_dll}
                    OUTPUT_VARIABLE _path OUTPUT_STRIP_TRAILING_WHITESPACE)
    file(COPY ${_path} DESTINATION ${CMAKE_BINARY_DIR}/bin)
  endforeach()
  find_file(MW_WINPTHREAD_DLL libwinpthread-1.dll PATHS /usr/x86_64-w64-mingw32/lib NO_DEFAULT_PATH)
  if(MW_WINPTHREAD_DLL)
    file(COPY ${MW_WINPTHREAD_DLL} DESTINATION ${CMAKE_BINARY_DIR}/bin)
  endif()
endif()

# mw_target(<target>): the project's warning set for one of our own targets.
function(mw_target target)
  target_compile_options(${target} PRIVATE ${MW_WARNINGS})
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
endfunction()

# GoogleTest: Debian's build natively; for Windows built from Debian's source package with the
# cross toolchain.
if(CMAKE_CROSSCOMPILING)
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
else()
  find_package(GTest REQUIRED)
endif()
find_package(Threads REQUIRED)

# mw_test(<name> SOURCES ... [LIBS ...] [LABELS ...] [TIMEOUT s] [LINUX_ONLY]): one test program,
# registered with CTest as one test. Under the mingw preset CTest runs it through Wine.
function(mw_test name)
  cmake_parse_arguments(T "LINUX_ONLY" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  if(T_LINUX_ONLY AND WIN32)
    return()
  endif()
  add_executable(${name} ${T_SOURCES})
  mw_target(${name})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest_main GTest::gmock Threads::Threads)
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT} LABELS "${T_LABELS}"
    ENVIRONMENT "MW_SOURCE_DIR=${PROJECT_SOURCE_DIR};MW_BIN_DIR=${CMAKE_BINARY_DIR}/bin")
endfunction()
