#include "io/capture_streams.h"

#if defined(_WIN32)
#include <windows.h>

#include <atomic>
#include <string>
#endif

namespace model_unpack {

#if defined(_WIN32)

std::FILE* open_sink_stream(void*, StreamSink) {
  return nullptr;
}

// In the user's temporary folder (the C runtime's own tmpfile() writes to the drive's root,
// where a user may not write), deleted by the C runtime when closed.
std::FILE* open_temporary_file() {
  wchar_t folder[MAX_PATH + 1];
  if (GetTempPathW(MAX_PATH + 1, folder) == 0) return nullptr;
  static std::atomic<unsigned> serial{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::wstring name = std::wstring(folder) + L"model-unpack-" +
                              std::to_wstring(GetCurrentProcessId()) + L"-" +
                              std::to_wstring(serial++) + L".tmp";
    if (std::FILE* file = _wfopen(name.c_str(), L"wxb+D")) return file;
  }
  return nullptr;
}

#else

namespace {
struct SinkCookie {
  void* cookie;
  StreamSink sink;
};
}  // namespace

std::FILE* open_sink_stream(void* cookie, StreamSink sink) {
  auto* state = new SinkCookie{cookie, sink};
  const cookie_io_functions_t functions{
      nullptr,
      [](void* self, const char* data, std::size_t size) -> ssize_t {
        const auto* state = static_cast<SinkCookie*>(self);
        state->sink(state->cookie, data, size);
        return static_cast<ssize_t>(size);
      },
      nullptr,
      [](void* self) -> int {
        delete static_cast<SinkCookie*>(self);
        return 0;
      }};
  std::FILE* stream = fopencookie(state, "w", functions);
  if (stream == nullptr) delete state;
  return stream;
}

std::FILE* open_temporary_file() {
#if defined(__wasi__)
  return nullptr;
#else
  return std::tmpfile();
#endif
}

#endif

}  // namespace model_unpack
