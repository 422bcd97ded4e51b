// Streams for holding a job's lines until their turn: one whose writes are handed to a function,
// and unnamed temporary files.
#pragma once

#include <cstddef>
#include <cstdio>

namespace model_unpack {

using StreamSink = void (*)(void* cookie, const char* data, std::size_t size);

// Whether the C library makes streams whose bytes go to a function (not Windows').
#if defined(_WIN32)
inline constexpr bool kSinkStreams = false;
#else
inline constexpr bool kSinkStreams = true;
#endif

// A stream for writing whose bytes go to `sink`; null when none can be had.
std::FILE* open_sink_stream(void* cookie, StreamSink sink);

// An unnamed temporary file, opened for writing and reading back in binary, gone when closed;
// null when none can be had (WASI has no place for one).
std::FILE* open_temporary_file();

}  // namespace model_unpack
