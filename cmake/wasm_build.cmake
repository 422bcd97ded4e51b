# What the WebAssembly build adds to the batch tool's module: the npm package that runs it with
# Node.js (build/wasm/model-unpack-VERSION.tgz) and the page.

# The package: the module, its launcher, package.json and a README, packed by npm.
find_program(NPM npm REQUIRED)
set(package_dir ${CMAKE_BINARY_DIR}/package)
set(package_tarball ${CMAKE_BINARY_DIR}/model-unpack-${PROJECT_VERSION}.tgz)
set(package_sources npm/README.md npm/bin/model-unpack-batch.mjs npm/lib/host_paths.mjs
  npm/lib/linux_host.mjs LICENSE docs/report.schema.json)
# package.json's file list, made from the files copied here.
set(package_files model-unpack-batch.wasm THIRD-PARTY-NOTICES.txt)
foreach(source ${package_sources})
  string(REGEX REPLACE "^(npm|docs)/" "" relative ${source})
  list(APPEND package_files ${relative})
endforeach()
list(SORT package_files)
list(JOIN package_files "\",\n    \"" PACKAGE_FILES)
configure_file(npm/package.json.in ${package_dir}/package.json @ONLY)
include(${CMAKE_CURRENT_LIST_DIR}/third_party_notices.cmake)
write_third_party_notices(${package_dir}/THIRD-PARTY-NOTICES.txt ${notices_wasm})
set(package_copies)
foreach(source ${package_sources})
  string(REGEX REPLACE "^(npm|docs)/" "" relative ${source})
  add_custom_command(OUTPUT ${package_dir}/${relative}
    COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/${source} ${package_dir}/${relative}
    DEPENDS ${CMAKE_SOURCE_DIR}/${source})
  list(APPEND package_copies ${package_dir}/${relative})
endforeach()
add_custom_command(OUTPUT ${package_tarball}
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:model-unpack-batch>
          ${package_dir}/model-unpack-batch.wasm
  COMMAND ${NPM} pack --silent --pack-destination ${CMAKE_BINARY_DIR} ${package_dir}
  DEPENDS model-unpack-batch ${package_copies} ${package_dir}/package.json
  COMMENT "npm pack: model-unpack-${PROJECT_VERSION}.tgz")
add_custom_target(npm-package ALL DEPENDS ${package_tarball})

# The page: one HTML file holding the module, its worker and its script (web/build.mjs, with
# the npm packages web/package-lock.json pins): build/wasm/model-unpack.html.
set(page ${CMAKE_BINARY_DIR}/model-unpack.html)
write_third_party_notices(${CMAKE_BINARY_DIR}/page-notices.txt ${notices_page})
file(GLOB page_sources ${PROJECT_SOURCE_DIR}/web/src/*)
add_custom_command(OUTPUT ${page}
  COMMAND node ${PROJECT_SOURCE_DIR}/web/build.mjs $<TARGET_FILE:model-unpack-batch> ${page}
    ${PROJECT_SOURCE_DIR}/LICENSE ${CMAKE_BINARY_DIR}/page-notices.txt ${PROJECT_VERSION}
    ${PROJECT_SOURCE_DIR}/examples/sample.zmdl
  DEPENDS model-unpack-batch ${page_sources} ${PROJECT_SOURCE_DIR}/web/build.mjs
    ${PROJECT_SOURCE_DIR}/examples/sample.zmdl
    ${PROJECT_SOURCE_DIR}/LICENSE
    ${PROJECT_SOURCE_DIR}/web/package-lock.json
  COMMENT "The page: model-unpack.html")
add_custom_target(page DEPENDS ${page})
