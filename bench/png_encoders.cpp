// The two PNG encoders a build could carry, side by side on preview pictures of a generated
// model: bytes and the best of five encodes at each size, alternating the two.
// Usage: png_encoders [SIZE...]   (default 512 4096)
#include <spng.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#define STBI_WRITE_NO_STDIO
#include <stb/stb_image_write.h>

#include "io/memory_file_system.h"
#include "large_model.h"
#include "mesh/mesh.h"
#include "mesh/preview.h"

namespace {

using namespace model_unpack;

std::string with_spng(const Picture& picture) {
  std::unique_ptr<spng_ctx, decltype(&spng_ctx_free)> context(spng_ctx_new(SPNG_CTX_ENCODER),
                                                              spng_ctx_free);
  spng_set_option(context.get(), SPNG_ENCODE_TO_BUFFER, 1);
  spng_ihdr header{};
  header.width = header.height = picture.size;
  header.bit_depth = 8;
  header.color_type = SPNG_COLOR_TYPE_TRUECOLOR;
  spng_set_ihdr(context.get(), &header);
  spng_encode_image(context.get(), picture.rgb.data(), picture.rgb.size(), SPNG_FMT_PNG,
                    SPNG_ENCODE_FINALIZE);
  std::size_t size = 0;
  int error = 0;
  void* png = spng_get_png_buffer(context.get(), &size, &error);
  std::string bytes(static_cast<const char*>(png), size);
  std::free(png);
  return bytes;
}

std::string with_stb(const Picture& picture) {
  std::string bytes;
  const int side = static_cast<int>(picture.size);
  stbi_write_png_to_func(
      [](void* context, void* data, int size) {
        static_cast<std::string*>(context)->append(static_cast<const char*>(data), size);
      },
      &bytes, side, side, 3, picture.rgb.data(), side * 3);
  return bytes;
}

}  // namespace

int main(int argc, char** argv) {
  MemoryFileSystem files;
  files.put("m.zmdl", testing::large_model(8 << 20).bytes());
  const Mesh mesh = read_mesh(*ModelFile::open("m.zmdl", files));
  std::vector<std::uint32_t> sides;
  for (int i = 1; i < argc; ++i) sides.push_back(static_cast<std::uint32_t>(std::atoi(argv[i])));
  if (sides.empty()) sides = {512, 4096};
  for (const std::uint32_t side : sides) {
    {
      const Picture picture = render_preview(mesh, side);
      double best[2] = {1e9, 1e9};
      std::size_t bytes[2] = {};
      for (int round = 0; round < 5; ++round) {
        for (int encoder = 0; encoder < 2; ++encoder) {
          const auto start = std::chrono::steady_clock::now();
          const std::string png = encoder == 0 ? with_spng(picture) : with_stb(picture);
          const double ms =
              std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                  .count();
          best[encoder] = std::min(best[encoder], ms);
          bytes[encoder] = png.size();
        }
      }
      std::printf("%u px: libspng %zu bytes %.1f ms; stb_image_write %zu bytes %.1f ms\n", side,
                  bytes[0], best[0], bytes[1], best[1]);
    }
  }
}
