# Header-only libraries come from the host's Debian packages, through a folder that holds just
# them (`header_only`), so that no other host header can stand in for one of the target's.
set(header_only ${CMAKE_BINARY_DIR}/header-only)
file(MAKE_DIRECTORY ${header_only})
foreach(header nlohmann/json.hpp stb/stb_image_write.h)
  get_filename_component(folder ${header} DIRECTORY)
  find_path(${folder}_HOST_DIR ${header} PATHS /usr/include NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH
            REQUIRED)
  file(CREATE_LINK ${${folder}_HOST_DIR}/${folder} ${header_only}/${folder} SYMBOLIC)
endforeach()
