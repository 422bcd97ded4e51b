# WebAssembly for WASI preview 1 with Debian's own toolchain: clang and lld, wasi-libc, and
# libc++ and compiler-rt built for wasm32.
set(CMAKE_SYSTEM_NAME WASI)
list(APPEND CMAKE_MODULE_PATH ${CMAKE_CURRENT_LIST_DIR})  # Platform/WASI.cmake
set(CMAKE_SYSTEM_VERSION 1)
set(CMAKE_SYSTEM_PROCESSOR wasm32)

set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET wasm32-wasi)
set(CMAKE_CXX_COMPILER_TARGET wasm32-wasi)

# wasi-libc's emulations of what a batch run asks of a POSIX system; libc++ for wasm32 has
# neither exceptions nor threads.
set(CMAKE_CXX_FLAGS_INIT
    "-fno-exceptions -D_WASI_EMULATED_GETPID -D_WASI_EMULATED_SIGNAL -mbulk-memory -ftls-model=local-exec -mnontrapping-fptoint -msign-ext")
set(CMAKE_EXE_LINKER_FLAGS_INIT
    "-lwasi-emulated-getpid -lwasi-emulated-signal -Wl,-z,stack-size=1048576")

# Only the target's own libraries; header-only ones are added by the project.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
