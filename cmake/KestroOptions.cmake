# Compiler settings shared by every target of the project.

# Warnings: the project's own code builds without any.
add_compile_options(-Wall -Wextra)

# __FILE__ is the path relative to the repository root: per-file log statements
# name their category after it, so it must not depend on where the tree lives.
add_compile_options("-fmacro-prefix-map=${PROJECT_SOURCE_DIR}/=")
# The same for the relative spelling: the compiler cache rewrites source paths
# relative to the build directory, so that checkouts in different places share
# its entries.
file(RELATIVE_PATH KESTRO_SOURCE_FROM_BUILD "${CMAKE_BINARY_DIR}" "${PROJECT_SOURCE_DIR}")
string(REGEX REPLACE "/+$" "" KESTRO_SOURCE_FROM_BUILD "${KESTRO_SOURCE_FROM_BUILD}")
if(KESTRO_SOURCE_FROM_BUILD)
  add_compile_options("-fmacro-prefix-map=${KESTRO_SOURCE_FROM_BUILD}/=")
endif()

# Every deliverable carries its own copy of the framework; nothing is exported
# unless a deliverable says so explicitly (an export list on the shared library).
set(CMAKE_CXX_VISIBILITY_PRESET hidden)
set(CMAKE_C_VISIBILITY_PRESET hidden)
set(CMAKE_VISIBILITY_INLINES_HIDDEN ON)
set(CMAKE_POSITION_INDEPENDENT_CODE ON)

if(KESTRO_SANITIZE)
  message(STATUS "Building with sanitizers: ${KESTRO_SANITIZE}")
  add_compile_options(-fsanitize=${KESTRO_SANITIZE} -fno-omit-frame-pointer -g)
  add_link_options(-fsanitize=${KESTRO_SANITIZE})
  if(KESTRO_SANITIZE MATCHES "undefined")
    add_compile_options(-fno-sanitize-recover=undefined)
  endif()
endif()

# The fuzz preset: every target gets libFuzzer's coverage instrumentation, and
# AddressSanitizer/UndefinedBehaviorSanitizer turn memory and arithmetic errors
# into crashes the fuzzer reports. Only the fuzzers themselves link libFuzzer's
# main (fuzz/CMakeLists.txt).
if(KESTRO_BUILD_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "KESTRO_BUILD_FUZZ needs clang: use the fuzz preset")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined
                      -fno-sanitize-recover=undefined -fno-omit-frame-pointer -g)
  add_link_options(-fsanitize=address,undefined)
endif()
