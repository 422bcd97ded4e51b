# Builds every artifact of release VERSION from SOURCE and gathers them in SOURCE/build/dist:
# the Debian package and the tarball, the npm package, the Windows zip, the Blender add-on and
# the page, each named with the version, and SHA256SUMS (as sha256sum -c reads it).
# Usage: cmake -DSOURCE=DIR -DVERSION=X.Y.Z -P make_dist.cmake
foreach(workflow package wasm web windows)
  execute_process(COMMAND ${CMAKE_COMMAND} --workflow --preset ${workflow}
    WORKING_DIRECTORY ${SOURCE} COMMAND_ERROR_IS_FATAL ANY)
endforeach()

set(build ${SOURCE}/build)
# The Blender add-on carries the release's Linux tool and the Windows one.
execute_process(COMMAND ${CMAKE_COMMAND} -DSOURCE=${SOURCE} -DVERSION=${VERSION}
  -DOUTPUT=${build}/release/model-unpack-blender-${VERSION}.zip
  -DLINUX_TOOL=${build}/release/model-unpack-batch
  -DWINDOWS_TOOL=${build}/windows/model-unpack-batch.exe
  -DNOTICES=${build}/windows/THIRD-PARTY-NOTICES.txt
  -P ${CMAKE_CURRENT_LIST_DIR}/blender_addon.cmake COMMAND_ERROR_IS_FATAL ANY)
file(GLOB debs ${build}/release/model-unpack_${VERSION}_*.deb)
set(artifacts ${debs} ${build}/release/model-unpack-${VERSION}-linux-x86_64.tar.gz
  ${build}/wasm/model-unpack-${VERSION}.tgz
  ${build}/windows/model-unpack-${VERSION}-windows-x86_64.zip
  ${build}/release/model-unpack-blender-${VERSION}.zip)
set(dist ${build}/dist)
file(REMOVE_RECURSE ${dist})
file(MAKE_DIRECTORY ${dist})
foreach(artifact ${artifacts})
  if(NOT EXISTS ${artifact})
    message(FATAL_ERROR "not built: ${artifact}")
  endif()
  file(COPY ${artifact} DESTINATION ${dist})
endforeach()
file(COPY_FILE ${build}/wasm/model-unpack.html ${dist}/model-unpack-${VERSION}.html)
file(COPY_FILE ${SOURCE}/docs/report.schema.json ${dist}/model-unpack-${VERSION}-report.schema.json)

file(GLOB names RELATIVE ${dist} ${dist}/*)
list(SORT names)
set(sums "")
foreach(name ${names})
  file(SHA256 ${dist}/${name} sum)
  string(APPEND sums "${sum}  ${name}\n")
endforeach()
file(WRITE ${dist}/SHA256SUMS "${sums}")
message(STATUS "build/dist:\n${sums}")
