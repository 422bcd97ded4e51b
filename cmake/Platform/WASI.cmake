# WASI, a system this CMake does not know yet: programs are .wasm modules, and nothing is
# shared.
set(CMAKE_EXECUTABLE_SUFFIX .wasm)
set_property(GLOBAL PROPERTY TARGET_SUPPORTS_SHARED_LIBS FALSE)
