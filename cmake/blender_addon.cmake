# Packs the Blender add-on: blender/model_unpack_zmdl with the batch tool of each system it
# carries (bin/linux-x86_64, bin/windows-x86_64: whichever is given and built) and the licence,
# as a zip Blender installs (Edit > Preferences > Add-ons > Install...).
# Usage: cmake -DSOURCE=DIR -DVERSION=X.Y.Z -DOUTPUT=ZIP [-DLINUX_TOOL=PATH]
#          [-DWINDOWS_TOOL=PATH] [-DNOTICES=THIRD-PARTY-NOTICES.txt] -P blender_addon.cmake
get_filename_component(output_dir ${OUTPUT} DIRECTORY)
set(staging ${output_dir}/blender-addon)
set(addon ${staging}/model_unpack_zmdl)
file(REMOVE_RECURSE ${staging})
file(MAKE_DIRECTORY ${addon})
file(GLOB sources ${SOURCE}/blender/model_unpack_zmdl/*.py)
file(COPY ${sources} DESTINATION ${addon})
file(COPY_FILE ${SOURCE}/LICENSE ${addon}/LICENSE.txt)
if(DEFINED NOTICES AND EXISTS "${NOTICES}")
  file(COPY ${NOTICES} DESTINATION ${addon})
endif()
# The add-on's version is the tools'.
string(REPLACE "." ", " version_tuple ${VERSION})
file(READ ${addon}/__init__.py init)
string(REPLACE "\"version\": (0, 0, 0)" "\"version\": (${version_tuple})" init "${init}")
file(WRITE ${addon}/__init__.py "${init}")
foreach(system linux windows)
  string(TOUPPER ${system} SYSTEM)
  if(DEFINED ${SYSTEM}_TOOL AND EXISTS "${${SYSTEM}_TOOL}")
    file(MAKE_DIRECTORY ${addon}/bin/${system}-x86_64)
    file(COPY ${${SYSTEM}_TOOL} DESTINATION ${addon}/bin/${system}-x86_64)
  endif()
endforeach()
file(REMOVE ${OUTPUT})
execute_process(COMMAND ${CMAKE_COMMAND} -E tar cf ${OUTPUT} --format=zip model_unpack_zmdl
  WORKING_DIRECTORY ${staging} COMMAND_ERROR_IS_FATAL ANY)
file(REMOVE_RECURSE ${staging})
