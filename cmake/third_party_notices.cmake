# The notices that the licences of code compiled into an artifact ask to travel with it: each
# library's copyright file as its Debian or npm package ships it.
set(notices_native /usr/share/doc/nlohmann-json3-dev/copyright
  /usr/share/doc/libstb-dev/copyright)
set(notices_windows ${notices_native} /usr/share/doc/mingw-w64-x86-64-dev/copyright)
set(notices_wasm ${notices_native} /usr/share/doc/wasi-libc/copyright
  /usr/share/doc/libc++-14-dev-wasm32/copyright)
set(notices_page ${notices_wasm} ${PROJECT_SOURCE_DIR}/web/node_modules/three/LICENSE
  ${PROJECT_SOURCE_DIR}/web/node_modules/fflate/LICENSE
  ${PROJECT_SOURCE_DIR}/web/node_modules/@bjorn3/browser_wasi_shim/LICENSE-MIT)

function(write_third_party_notices output)
  set(text "model-unpack is under the MIT licence (LICENSE). It carries code of the libraries\n")
  string(APPEND text "below; their notices follow as their packages ship them.\n")
  foreach(notice ${ARGN})
    if(NOT EXISTS ${notice})
      message(FATAL_ERROR "No ${notice}: run script/bootstrap")
    endif()
    file(READ ${notice} body)
    string(REGEX REPLACE "^.*/(doc|node_modules)/" "" name ${notice})
    string(APPEND text "\n======== ${name}\n\n${body}")
  endforeach()
  file(WRITE ${output} "${text}")
endfunction()
