// The preview as PNG bytes. One encoder in every build, the WebAssembly one included: a single
// header of Debian's.
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#define STBI_WRITE_NO_STDIO
#include <stb/stb_image_write.h>

#include "mesh/preview.h"

namespace model_unpack {

std::string encode_png(const Picture& picture) {
  std::string bytes;
  const int side = static_cast<int>(picture.size);
  const auto append = [](void* context, void* data, int size) {
    static_cast<std::string*>(context)->append(static_cast<const char*>(data),
                                               static_cast<std::size_t>(size));
  };
  if (stbi_write_png_to_func(append, &bytes, side, side, 3, picture.rgb.data(), side * 3) == 0)
    return {};
  return bytes;
}

}  // namespace model_unpack
