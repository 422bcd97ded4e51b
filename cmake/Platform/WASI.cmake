# WASI, a system this CMake does not know yet: POSIX-like names and object files, programs are
# .wasm modules, and nothing is shared.
include(Platform/UnixPaths)
set(CMAKE_EXECUTABLE_SUFFIX .wasm)
set_property(GLOBAL PROPERTY TARGET_SUPPORTS_SHARED_LIBS FALSE)
