# The release folder: `cmake --workflow --preset dist` builds every artifact with its own
# preset and gathers them in build/dist/ with a SHA256SUMS file (cmake/make_dist.cmake).
add_custom_target(dist ALL
  COMMAND ${CMAKE_COMMAND} -DSOURCE=${PROJECT_SOURCE_DIR} -DVERSION=${PROJECT_VERSION}
    -P ${PROJECT_SOURCE_DIR}/cmake/make_dist.cmake
  USES_TERMINAL
  COMMENT "build/dist: every artifact of model-unpack ${PROJECT_VERSION}")
