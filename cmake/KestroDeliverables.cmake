# Where the built deliverables go.
#
# liblogcore.so, the Node modules (*.node) and the programs land side by side
# in build/<preset>/out/. Each finds the shared libraries it links beside
# itself ($ORIGIN only, no build-tree paths), so the folder can be moved or
# copied as a whole, as the application bundle does with them.
set(KESTRO_OUT_DIR "${CMAKE_BINARY_DIR}/out")

# kestro_deliverable(<target>): puts <target> into the out folder with an
# $ORIGIN-only run path.
function(kestro_deliverable target)
  set_target_properties(${target} PROPERTIES
    LIBRARY_OUTPUT_DIRECTORY "${KESTRO_OUT_DIR}"
    RUNTIME_OUTPUT_DIRECTORY "${KESTRO_OUT_DIR}"
    BUILD_WITH_INSTALL_RPATH ON
    INSTALL_RPATH "\$ORIGIN")
endfunction()
