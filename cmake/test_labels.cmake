# The labels of the tests (README): unit, pty, ser2net, xvfb, wine, tshark,
# and browser (the page in headless Chromium, from the browser's build,
# scripts/build-web). The Linux build and the browser's build both take them
# from here.

set(VXT_TEST_LABELS unit pty ser2net xvfb wine tshark browser)

function(vxt_check_test_label label)
  if(NOT label IN_LIST VXT_TEST_LABELS)
    message(FATAL_ERROR "test label \"${label}\" is none of: ${VXT_TEST_LABELS}")
  endif()
endfunction()

# vxt_test_label(<label> <test>...): labels tests registered with add_test in
# this folder (the scripts, the runs on a virtual X display, the browser).
function(vxt_test_label label)
  vxt_check_test_label(${label})
  set_tests_properties(${ARGN} PROPERTIES LABELS ${label})
endfunction()
