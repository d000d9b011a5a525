# GoogleTest suites: every test case runs in a process of its own (engine and
# driver state is static), discovered when CTest runs so that the armhf build
# can list its cases through the emulator.
find_package(GTest REQUIRED)
include(GoogleTest)

# crv_add_gtest(<name> SOURCES ... [LIBS ...] [LABELS ...] [WRAP_IOCTL] [WRAP_STAT] [OWN_MAIN])
# OWN_MAIN: the sources or LIBS bring main() instead of GoogleTest's.
# WRAP_IOCTL routes the suite's ioctl calls through the simulated devices of
# tests/support (see devsim.h); WRAP_STAT (with WRAP_IOCTL) lets stat() report
# the device nodes set with devsim::set_node (devsim_node.h).
function(crv_add_gtest name)
  cmake_parse_arguments(A "WRAP_IOCTL;WRAP_STAT;OWN_MAIN" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${A_SOURCES})
  target_link_libraries(${name} PRIVATE ${A_LIBS} crv_test_support GTest::gtest GTest::gmock Threads::Threads)
  if(NOT A_OWN_MAIN)
    target_link_libraries(${name} PRIVATE GTest::gtest_main)
  endif()
  if(A_WRAP_IOCTL)
    # The wrapper is pulled in from the start: the libraries under test
    # that call ioctl come after the simulated devices on the link line.
    target_link_options(${name} PRIVATE -Wl,--wrap=ioctl -Wl,--undefined=__wrap_ioctl)
    target_link_libraries(${name} PRIVATE crv_devsim)
  endif()
  if(A_WRAP_STAT)
    target_link_options(${name} PRIVATE -Wl,--wrap=stat64 -Wl,--undefined=__wrap_stat64)
  endif()
  if(NOT A_TIMEOUT)
    set(A_TIMEOUT 120)
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT ${A_TIMEOUT} LABELS "${A_LABELS}")
endfunction()

# crv_add_static_program_test(<target> <usage regex> <exit status>): in a
# cross build, the program is static and runs under the emulator with no
# library path, printing its usage when given no argument.
function(crv_add_static_program_test target usage status)
  add_test(NAME ${target}_static_usage
    COMMAND ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:${target}> -DEMULATOR=${CMAKE_CROSSCOMPILING_EMULATOR}
            -DUSAGE=${usage} -DSTATUS=${status} -P ${PROJECT_SOURCE_DIR}/cmake/check_static_program.cmake)
endfunction()
