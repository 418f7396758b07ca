# kestro_add_gtest(<name> SOURCES ... [LIBS ...] [LABELS ...])
#
# Builds one GoogleTest executable and registers each of its test cases with
# ctest (one process per case, so process-wide singletons start fresh).
# LABELS tag the cases, e.g. "concurrency" for the ThreadSanitizer subset.
# Each label also gets a build target, kestro_tests_<label>, that builds only
# the test programs carrying it (scripts/test.sh <preset> <label>).
function(kestro_add_gtest name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gmock GTest::gtest_main)
  set(props "")
  if(ARG_LABELS)
    set(props LABELS "${ARG_LABELS}")
    foreach(label IN LISTS ARG_LABELS)
      if(NOT TARGET kestro_tests_${label})
        add_custom_target(kestro_tests_${label})
      endif()
      add_dependencies(kestro_tests_${label} ${name})
    endforeach()
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES ${props} TIMEOUT 300)
endfunction()
