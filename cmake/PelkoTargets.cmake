# Helpers that let each subsystem folder list its own sources and tests.
#
#   pelko_core_sources(files...)    portable code: no Windows header; built in both builds
#   pelko_win_sources(files...)     Windows code; built in the Windows build only
#   pelko_native_test(name files...)   GoogleTest program of the portable core (native build, sanitizers)
#   pelko_windows_test(name files...)  GoogleTest program run under Wine (Windows build)
#   pelko_fuzz_target(name file)       libFuzzer target (native build with clang); a bounded run is a test

set(PELKO_SOURCE_ROOT ${CMAKE_CURRENT_LIST_DIR}/..)

function(pelko_core_sources)
  foreach(f IN LISTS ARGN)
    set_property(GLOBAL APPEND PROPERTY PELKO_CORE_SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/${f})
  endforeach()
endfunction()

function(pelko_win_sources)
  if(PELKO_WINDOWS)
    foreach(f IN LISTS ARGN)
      set_property(GLOBAL APPEND PROPERTY PELKO_WIN_SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/${f})
    endforeach()
  endif()
endfunction()

set(PELKO_WARNINGS -Wall -Wextra -Wshadow -Wno-unused-parameter -Wno-missing-field-initializers)

if(PELKO_WINDOWS)
  # Unicode, no console, static runtime: one pelko.exe that needs only Windows' own DLLs.
  set(PELKO_WIN_DEFINES UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0A00 WINVER=0x0A00)
  set(PELKO_WIN_LIBS ws2_32 ole32 oleaut32 uuid shell32 shlwapi user32 gdi32 advapi32 mpr winmm comctl32)
  set(PELKO_STATIC_LINK -static -static-libgcc -static-libstdc++)
endif()

function(pelko_native_test name)
  if(NOT PELKO_WINDOWS)
    add_executable(${name} ${ARGN})
    target_link_libraries(${name} PRIVATE pelko_core GTest::gtest_main)
    target_compile_options(${name} PRIVATE ${PELKO_WARNINGS})
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES LABELS native)
  endif()
endfunction()

# pelko_windows_test(name files... [RESOURCE_LOCK lock]): tests that share something machine-wide
# within the test sandbox (a window class found by name, the desktop's foreground) take a lock,
# so CTest never runs two of them at once.
function(pelko_windows_test name)
  if(PELKO_WINDOWS)
    cmake_parse_arguments(PARSE_ARGV 1 arg "" "RESOURCE_LOCK" "")
    add_executable(${name} ${arg_UNPARSED_ARGUMENTS})
    target_link_libraries(${name} PRIVATE pelko_win pelko_test_support GTest::gtest_main ${PELKO_STATIC_LINK})
    target_compile_definitions(${name} PRIVATE ${PELKO_WIN_DEFINES})
    target_compile_options(${name} PRIVATE ${PELKO_WARNINGS})
    set(lock)
    if(arg_RESOURCE_LOCK)
      set(lock RESOURCE_LOCK ${arg_RESOURCE_LOCK})
    endif()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 120 DISCOVERY_MODE PRE_TEST PROPERTIES LABELS windows TIMEOUT 120 ${lock})
  endif()
endfunction()

function(pelko_fuzz_target name file)
  if(NOT PELKO_WINDOWS AND CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    add_executable(${name} ${file})
    target_link_libraries(${name} PRIVATE pelko_core)
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    # A bounded run in every test pass; scripts/fuzz.sh runs longer on demand.
    add_test(NAME fuzz.${name} COMMAND ${name} -max_total_time=5 -seed=1 -rss_limit_mb=2048)
    set_tests_properties(fuzz.${name} PROPERTIES LABELS native TIMEOUT 60)
  endif()
endfunction()
