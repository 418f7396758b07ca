# Writes the npm package @kestro/native as a tarball: js/ (its package.json
# decides with "files" what goes in) and the built binaries under
# prebuilds/<platform>-<arch>/, then `npm pack`.
#
#   cmake -DJS_DIR=<js/> -DSTAGE_DIR=<scratch folder> -DDEST_DIR=<tarball's folder>
#         -DTARGET=<platform>-<arch> -DBINARIES=<file>|<file>... -DNPM=<npm>
#         -P StageNpmPackage.cmake
#
# BINARIES are the Node modules and the shared libraries they link, each under
# the name the modules ask the dynamic loader for (a library's SONAME): a
# symbolic link is copied as the file it points to, since npm packs no links.
foreach(var JS_DIR STAGE_DIR DEST_DIR TARGET BINARIES NPM)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "StageNpmPackage.cmake: ${var} is not set")
  endif()
endforeach()

file(REMOVE_RECURSE "${STAGE_DIR}")
set(prebuilds "${STAGE_DIR}/prebuilds/${TARGET}")
file(MAKE_DIRECTORY "${prebuilds}" "${DEST_DIR}")

file(GLOB jsFiles LIST_DIRECTORIES true "${JS_DIR}/*")
foreach(path IN LISTS jsFiles)
  get_filename_component(name "${path}" NAME)
  if(NOT name MATCHES "^(node_modules|tests|prebuilds)$")
    file(COPY "${path}" DESTINATION "${STAGE_DIR}")
  endif()
endforeach()

string(REPLACE "|" ";" binaries "${BINARIES}")
foreach(binary IN LISTS binaries)
  get_filename_component(name "${binary}" NAME)
  file(COPY_FILE "${binary}" "${prebuilds}/${name}")
endforeach()

execute_process(
  COMMAND "${NPM}" pack --pack-destination "${DEST_DIR}" --loglevel=error
  WORKING_DIRECTORY "${STAGE_DIR}"
  OUTPUT_VARIABLE tarball OUTPUT_STRIP_TRAILING_WHITESPACE
  COMMAND_ERROR_IS_FATAL ANY)
message(STATUS "npm package: ${DEST_DIR}/${tarball}")
