# One place for the versions, read before project(): js/package.json, the npm
# package's manifest.
#   KESTRO_VERSION           "version": the project's version, so the CMake
#                            package's, liblogcore's SONAME (its major) and
#                            the npm package's
#   KESTRO_NODE_API_VERSION  "binary": {"napi_versions": [N]}: the Node-API
#                            version the Node modules are compiled against
#                            (NAPI_VERSION), the oldest a host must offer
set(kestroPackageJsonFile "${CMAKE_CURRENT_LIST_DIR}/../js/package.json")
file(READ "${kestroPackageJsonFile}" kestroPackageJson)
string(JSON KESTRO_VERSION GET "${kestroPackageJson}" version)
string(JSON KESTRO_NODE_API_VERSION GET "${kestroPackageJson}" binary napi_versions 0)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${kestroPackageJsonFile}")
