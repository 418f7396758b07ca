# Node modules and their JavaScript tests.
#
# kestro_node_module(<target> SOURCES ... [LIBS ...] [TEST_MODULE])
#   A Node module <target>.node: a MODULE library with node's headers, the
#   project's export list (cmake/node-module.map: only the entry points) and,
#   unless TEST_MODULE, the deliverable's place build/<preset>/out/. Node-API and
#   libuv symbols stay undefined: the node executable provides them at load.
#   A TEST_MODULE goes to build/<preset>/tests/ instead (tests find it through
#   KESTRO_TEST_MODULE_DIR) and finds the shared libraries in out/.
#
# kestro_add_node_test(<name> FILES <x.test.js>... [DEPENDS <targets>...] [LABELS ...])
#   One ctest entry per file, <name>.<file stem>, running `node --test <file>`
#   with KESTRO_OUT_DIR (build/<preset>/out) and KESTRO_TEST_MODULE_DIR
#   (build/<preset>/tests) set. Under the sanitizer presets the sanitizer
#   runtime is preloaded into node (which is not instrumented itself) and node
#   runs under tools/sanitizers/run-node.js: the sanitizers write their reports
#   to files, every report is printed, and a test fails for a report only when
#   our code (a module built here, out/ and tests/, or this repository's
#   sources) made what it reports. Leak checking is off, since node leaks at
#   exit by design; cmake/tsan-node.supp holds the one ordering ThreadSanitizer
#   cannot see that involves our frames.

find_path(NODE_INCLUDE_DIR node_api.h PATHS /usr/include/node REQUIRED)
find_program(NODE_EXECUTABLE node REQUIRED)
set(KESTRO_NODE_MODULE_MAP "${CMAKE_CURRENT_LIST_DIR}/node-module.map")
set(KESTRO_TEST_MODULE_DIR "${CMAKE_BINARY_DIR}/tests")
set(KESTRO_NODE_TSAN_SUPPRESSIONS "${CMAKE_CURRENT_LIST_DIR}/tsan-node.supp")
set(KESTRO_NODE_REPORT_FILTER "${PROJECT_SOURCE_DIR}/tools/sanitizers/run-node.js")

# Node's headers, as system headers (their warnings are not ours), at the
# Node-API version the modules need (KESTRO_NODE_API_VERSION, from
# js/package.json): they see only the calls of that version, and answer it
# from node_api_module_get_api_version_v1.
add_library(kestro_node_headers INTERFACE)
target_include_directories(kestro_node_headers SYSTEM INTERFACE "${NODE_INCLUDE_DIR}")
target_compile_definitions(kestro_node_headers INTERFACE NAPI_VERSION=${KESTRO_NODE_API_VERSION})

function(kestro_node_module target)
  cmake_parse_arguments(ARG "TEST_MODULE" "" "SOURCES;LIBS" ${ARGN})
  add_library(${target} MODULE ${ARG_SOURCES})
  target_link_libraries(${target} PRIVATE kestro_node_headers ${ARG_LIBS})
  target_link_options(${target} PRIVATE "LINKER:--version-script=${KESTRO_NODE_MODULE_MAP}")
  set_target_properties(${target} PROPERTIES
    PREFIX "" SUFFIX ".node" LINK_DEPENDS "${KESTRO_NODE_MODULE_MAP}")
  if(ARG_TEST_MODULE)
    set_target_properties(${target} PROPERTIES
      LIBRARY_OUTPUT_DIRECTORY "${KESTRO_TEST_MODULE_DIR}"
      BUILD_WITH_INSTALL_RPATH ON
      INSTALL_RPATH "\$ORIGIN/../out")
  else()
    kestro_deliverable(${target})
  endif()
endfunction()

# The environment that loads sanitized modules into an uninstrumented node:
# the runtime for run-node.js to preload into the program it runs (which also
# adds the options that send reports to files), and the options of our own.
function(kestro_node_sanitizer_environment out)
  set(env "")
  if(KESTRO_SANITIZE MATCHES "address")
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libasan.so
                    OUTPUT_VARIABLE asan OUTPUT_STRIP_TRAILING_WHITESPACE)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libubsan.so
                    OUTPUT_VARIABLE ubsan OUTPUT_STRIP_TRAILING_WHITESPACE)
    list(APPEND env "KESTRO_SANITIZER_PRELOAD=${asan}:${ubsan}"
         "ASAN_OPTIONS=detect_leaks=0:detect_stack_use_after_return=0")
  elseif(KESTRO_SANITIZE MATCHES "thread")
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libtsan.so
                    OUTPUT_VARIABLE tsan OUTPUT_STRIP_TRAILING_WHITESPACE)
    list(APPEND env "KESTRO_SANITIZER_PRELOAD=${tsan}"
         "TSAN_OPTIONS=second_deadlock_stack=1:suppressions=${KESTRO_NODE_TSAN_SUPPRESSIONS}")
  endif()
  set(${out} "${env}" PARENT_SCOPE)
endfunction()

# The command of a node test: node itself, or under a sanitizer node behind
# the report filter.
function(kestro_node_test_command out)
  set(command ${NODE_EXECUTABLE})
  if(KESTRO_SANITIZE)
    set(command ${NODE_EXECUTABLE} "${KESTRO_NODE_REPORT_FILTER}"
        --modules "${KESTRO_OUT_DIR}" --modules "${KESTRO_TEST_MODULE_DIR}"
        --sources "${PROJECT_SOURCE_DIR}" -- ${NODE_EXECUTABLE})
  endif()
  set(${out} ${command} PARENT_SCOPE)
endfunction()

function(kestro_add_node_test name)
  cmake_parse_arguments(ARG "" "" "FILES;DEPENDS;LABELS" ${ARGN})
  kestro_node_sanitizer_environment(sanitizerEnv)
  kestro_node_test_command(node)
  foreach(file IN LISTS ARG_FILES)
    get_filename_component(stem "${file}" NAME_WE)
    set(test "${name}.${stem}")
    add_test(NAME ${test}
             COMMAND ${node} --test "${CMAKE_CURRENT_SOURCE_DIR}/${file}"
             WORKING_DIRECTORY "${CMAKE_CURRENT_SOURCE_DIR}")
    set_tests_properties(${test} PROPERTIES
      ENVIRONMENT "KESTRO_OUT_DIR=${KESTRO_OUT_DIR};KESTRO_TEST_MODULE_DIR=${KESTRO_TEST_MODULE_DIR};${sanitizerEnv}"
      LABELS "node;${ARG_LABELS}"
      TIMEOUT 300)
  endforeach()
  foreach(label IN ITEMS node ${ARG_LABELS})
    if(NOT TARGET kestro_tests_${label})
      add_custom_target(kestro_tests_${label})
    endif()
    if(ARG_DEPENDS)
      add_dependencies(kestro_tests_${label} ${ARG_DEPENDS})
    endif()
  endforeach()
endfunction()
