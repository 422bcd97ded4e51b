# Both tools as native Windows executables, cross-built with MinGW-w64 and linked statically,
# the key injector the tests drive the interactive tool with under Wine, and the zip a user
# downloads: build/windows/model-unpack-VERSION-windows-x86_64.zip.

include(${CMAKE_CURRENT_LIST_DIR}/host_header_only.cmake)

# The platform's own files in place of the Linux ones.
set(windows_io_sources src/io/buffered_file.cpp
  src/io/command_line.cpp src/io/file_system_windows.cpp src/io/interrupt_watch_windows.cpp
  src/io/threads.cpp)
add_library(mu_common STATIC ${windows_io_sources} ${model_sources} ${export_sources}
  ${report_sources} ${mesh_sources} ${job_sources})
target_include_directories(mu_common PUBLIC src)
target_include_directories(mu_common SYSTEM PRIVATE ${header_only})
target_compile_definitions(mu_common PUBLIC MODEL_UNPACK_VERSION="${PROJECT_VERSION}"
  UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX)
target_link_libraries(mu_common PUBLIC shell32)

add_executable(model-unpack-batch src/batch/main.cpp ${batch_front_sources})
target_link_libraries(model-unpack-batch PRIVATE mu_common)
add_executable(model-unpack src/console/main.cpp src/console/console_loop.cpp
  src/console/typed_name.cpp src/console/word_reader.cpp src/console/windows_console.cpp)
target_link_libraries(model-unpack PRIVATE mu_common)

add_executable(inject-keys tests/windows/inject_keys.cpp)
target_link_options(inject-keys PRIVATE -municode)

include(${CMAKE_CURRENT_LIST_DIR}/third_party_notices.cmake)
write_third_party_notices(${CMAKE_BINARY_DIR}/THIRD-PARTY-NOTICES.txt ${notices_windows})
file(GLOB doc_pages ${PROJECT_SOURCE_DIR}/docs/*.md)
set(zip_name model-unpack-${PROJECT_VERSION}-windows-x86_64)
set(zip_folder ${CMAKE_BINARY_DIR}/${zip_name})
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/${zip_name}.zip
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${zip_folder}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${zip_folder}
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:model-unpack> $<TARGET_FILE:model-unpack-batch>
    ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/CHANGELOG.md
    ${CMAKE_BINARY_DIR}/THIRD-PARTY-NOTICES.txt ${zip_folder}
  COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/LICENSE ${zip_folder}/LICENSE.txt
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${PROJECT_SOURCE_DIR}/docs ${zip_folder}/docs
  COMMAND ${CMAKE_COMMAND} -E tar cf ${zip_name}.zip --format=zip ${zip_name}
  WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
  DEPENDS model-unpack model-unpack-batch README.md CHANGELOG.md LICENSE ${doc_pages}
  COMMENT "Windows zip: ${zip_name}.zip")
add_custom_target(windows_zip ALL DEPENDS ${CMAKE_BINARY_DIR}/${zip_name}.zip)
