# What the Windows build adds to both tools (cross-built with MinGW-w64, linked statically):
# the key injector the tests drive the interactive tool with under Wine, and the zip a user
# downloads: build/windows/model-unpack-VERSION-windows-x86_64.zip.

# Each tool's version information and manifest (long paths, the UTF-8 code page, the systems
# it is made for), and no symbols: a user's download is the program alone.
enable_language(RC)
foreach(TOOL model-unpack model-unpack-batch)
  if(TOOL STREQUAL "model-unpack")
    set(TOOL_DESCRIPTION "model-unpack: takes apart 3D model files, interactively")
  else()
    set(TOOL_DESCRIPTION "model-unpack-batch: takes apart 3D model files from scripts")
  endif()
  set(TOOL_MANIFEST ${CMAKE_BINARY_DIR}/resources/${TOOL}.manifest)
  configure_file(packaging/windows/tool.manifest.in ${TOOL_MANIFEST} @ONLY)
  configure_file(packaging/windows/tool.rc.in ${CMAKE_BINARY_DIR}/resources/${TOOL}.rc @ONLY)
  target_sources(${TOOL} PRIVATE ${CMAKE_BINARY_DIR}/resources/${TOOL}.rc)
  target_link_options(${TOOL} PRIVATE -s)
endforeach()

add_executable(inject-keys tests/windows/inject_keys.cpp)
target_link_options(inject-keys PRIVATE -municode)

include(${CMAKE_CURRENT_LIST_DIR}/third_party_notices.cmake)
write_third_party_notices(${CMAKE_BINARY_DIR}/THIRD-PARTY-NOTICES.txt ${notices_windows})
file(GLOB doc_pages ${PROJECT_SOURCE_DIR}/docs/*.md)
# The zip's README links to the licence as the zip names it; its quick start carries the version.
file(READ ${PROJECT_SOURCE_DIR}/README.md zip_readme)
string(REPLACE "](LICENSE)" "](LICENSE.txt)" zip_readme "${zip_readme}")
file(WRITE ${CMAKE_BINARY_DIR}/zip-readme/README.md "${zip_readme}")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/README.md)
configure_file(packaging/windows/START-HERE.txt ${CMAKE_BINARY_DIR}/zip-readme/START-HERE.txt @ONLY NEWLINE_STYLE CRLF)
file(GLOB example_pictures ${PROJECT_SOURCE_DIR}/examples/*.png)
set(zip_name model-unpack-${PROJECT_VERSION}-windows-x86_64)
set(zip_folder ${CMAKE_BINARY_DIR}/${zip_name})
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/${zip_name}.zip
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${zip_folder}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${zip_folder}
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:model-unpack> $<TARGET_FILE:model-unpack-batch>
    ${CMAKE_BINARY_DIR}/zip-readme/README.md ${CMAKE_BINARY_DIR}/zip-readme/START-HERE.txt
    ${PROJECT_SOURCE_DIR}/CHANGELOG.md ${CMAKE_BINARY_DIR}/THIRD-PARTY-NOTICES.txt ${zip_folder}
  COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/LICENSE ${zip_folder}/LICENSE.txt
  COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/examples/sample.zmdl ${zip_folder}
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${PROJECT_SOURCE_DIR}/docs ${zip_folder}/docs
  COMMAND ${CMAKE_COMMAND} -E make_directory ${zip_folder}/examples
  COMMAND ${CMAKE_COMMAND} -E copy ${example_pictures} ${zip_folder}/examples
  COMMAND ${CMAKE_COMMAND} -E tar cf ${zip_name}.zip --format=zip ${zip_name}
  WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
  DEPENDS model-unpack model-unpack-batch ${CMAKE_BINARY_DIR}/zip-readme/README.md
    ${CMAKE_BINARY_DIR}/zip-readme/START-HERE.txt CHANGELOG.md LICENSE ${doc_pages}
    examples/sample.zmdl ${example_pictures}
  COMMENT "Windows zip: ${zip_name}.zip")
add_custom_target(windows_zip ALL DEPENDS ${CMAKE_BINARY_DIR}/${zip_name}.zip)
