# The test programs of each folder (serial/tests, qt/tests, ...) and how
# CTest labels them. Each test is labelled with what it needs beyond the
# program itself (see README): unit (nothing), pty (pseudo-terminals, the
# simulated chip on one), ser2net (Debian's port server, serving a
# pseudo-terminal), xvfb (a virtual X display), wine (scripts/test-windows),
# browser (headless Chromium; the browser's build, cmake/test_labels.cmake).
# A program is labelled by the most any of its cases needs.
include(${CMAKE_CURRENT_LIST_DIR}/googletest.cmake)
find_package(Qt6 REQUIRED COMPONENTS Test)
include(${CMAKE_CURRENT_LIST_DIR}/layers.cmake)

include(${CMAKE_CURRENT_LIST_DIR}/test_labels.cmake)

# No test writes into the user's configuration: every test gets a scratch
# configuration folder in the build tree (tests/CMakeLists.txt makes it, and
# the fixture test_home makes it again), and a private runtime folder. A test
# program makes both itself (testsupport/test_main.cpp).
set(VXT_TEST_HOME ${CMAKE_BINARY_DIR}/test-home)
set(VXT_TEST_ENV "XDG_CONFIG_HOME=${VXT_TEST_HOME}/config" "XDG_RUNTIME_DIR=${VXT_TEST_HOME}/runtime")


# vxt_test_programs(<label> <name>... [PLAIN] [PLATFORM <qpa>] [LINK <target>...]):
# each <name> a test program of its own, from the source of its name,
# linking LINK; each test case runs in a process of its own, labelled
# <label>. By default on the test helpers' main() (testsupport/: Qt,
# headless, the scratch home) on Qt's offscreen platform, or PLATFORM; PLAIN:
# no Qt, on the quiet main() of core/tests.
function(vxt_test_programs label)
  cmake_parse_arguments(PARSE_ARGV 1 arg "PLAIN" "PLATFORM" "LINK")
  vxt_check_test_label(${label})
  if(NOT arg_PLATFORM)
    set(arg_PLATFORM offscreen)
  endif()
  foreach(name IN LISTS arg_UNPARSED_ARGUMENTS)
    add_executable(${name} ${name}.cpp)
    target_link_libraries(${name} PRIVATE ${arg_LINK})
    if(arg_PLAIN)
      target_link_libraries(${name} PRIVATE vxt_gtest_main)
      set_target_properties(${name} PROPERTIES AUTOMOC OFF)
      gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST NO_PRETTY_VALUES
                           PROPERTIES TIMEOUT 60 LABELS ${label})
      continue()
    endif()
    target_link_libraries(${name} PRIVATE vxt4710_testsupport)
    # NO_PRETTY_VALUES: a case is named by its row's name, not by the row's
    # bytes (which differ between builds).
    gtest_discover_tests(${name}
      DISCOVERY_MODE PRE_TEST NO_PRETTY_VALUES
      PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=${arg_PLATFORM}"
                 # One variable: the discovered tests' properties take no lists.
                 # The test programs' main() makes the folders and sets the rest.
                 ENVIRONMENT_MODIFICATION "VXT_TEST_HOME=set:${VXT_TEST_HOME}" TIMEOUT 120
                 LABELS ${label})
  endforeach()
endfunction()
