// libFuzzer harness for the mesh outputs: the fuzzer's bytes as a model, its glb and preview
// made in memory, then checked as a reader would: the GLB container is well formed, tinygltf
// parses it, every index is below its vertex count, no float in the BIN chunk is NaN or
// infinite, and the PNG decodes at the asked size.
#include <spng.h>
#include <tiny_gltf.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "io/memory_file_system.h"
#include "mesh/glb_writer.h"
#include "mesh/mesh.h"
#include "mesh/preview.h"

namespace {

constexpr std::uint32_t kFuzzPictureSize = 24;

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "mesh check failed: %s\n", what);
  std::abort();
}

std::uint32_t u32_at(const std::string& bytes, std::size_t offset) {
  std::uint32_t value = 0;
  std::memcpy(&value, bytes.data() + offset, 4);
  return value;
}

void check_container(const std::string& glb) {
  if (glb.size() < 20 || glb.size() % 4 != 0) fail("size");
  if (u32_at(glb, 0) != 0x46546C67 || u32_at(glb, 4) != 2 || u32_at(glb, 8) != glb.size()) {
    fail("header");
  }
  const std::uint32_t json_length = u32_at(glb, 12);
  if (json_length % 4 != 0 || u32_at(glb, 16) != 0x4E4F534A || 20 + json_length > glb.size()) {
    fail("JSON chunk");
  }
  const std::size_t bin_at = 20 + json_length;
  if (bin_at == glb.size()) return;
  const std::uint32_t bin_length = u32_at(glb, bin_at);
  if (bin_length % 4 != 0 || u32_at(glb, bin_at + 4) != 0x004E4942 ||
      bin_at + 8 + bin_length != glb.size()) {
    fail("BIN chunk");
  }
}

void check_model(const tinygltf::Model& model) {
  for (const tinygltf::Mesh& mesh : model.meshes) {
    for (const tinygltf::Primitive& primitive : mesh.primitives) {
      const auto& positions = model.accessors.at(primitive.attributes.at("POSITION"));
      if (primitive.indices < 0) continue;
      const tinygltf::Accessor& indices = model.accessors.at(primitive.indices);
      const tinygltf::BufferView& view = model.bufferViews.at(indices.bufferView);
      const unsigned char* data = model.buffers.at(view.buffer).data.data() + view.byteOffset;
      for (std::size_t i = 0; i < indices.count; ++i) {
        std::uint32_t index = 0;
        if (indices.componentType == TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT) {
          std::uint16_t small;
          std::memcpy(&small, data + 2 * i, 2);
          index = small;
        } else {
          std::memcpy(&index, data + 4 * i, 4);
        }
        if (index >= positions.count) fail("index past the vertices");
      }
    }
  }
  for (const tinygltf::Accessor& accessor : model.accessors) {
    if (accessor.componentType != TINYGLTF_COMPONENT_TYPE_FLOAT) continue;
    const tinygltf::BufferView& view = model.bufferViews.at(accessor.bufferView);
    const unsigned char* data = model.buffers.at(view.buffer).data.data() + view.byteOffset;
    for (std::size_t i = 0; i < accessor.count * 3; ++i) {
      float value;
      std::memcpy(&value, data + 4 * i, 4);
      if (!std::isfinite(value)) fail("a float that is not finite");
    }
  }
}

void check_png(const std::string& png) {
  spng_ctx* context = spng_ctx_new(0);
  spng_set_png_buffer(context, png.data(), png.size());
  spng_ihdr header{};
  std::vector<unsigned char> rgb(kFuzzPictureSize * kFuzzPictureSize * 3);
  const bool ok = spng_get_ihdr(context, &header) == 0 && header.width == kFuzzPictureSize &&
                  header.height == kFuzzPictureSize &&
                  spng_decode_image(context, rgb.data(), rgb.size(), SPNG_FMT_RGB8, 0) == 0;
  spng_ctx_free(context);
  if (!ok) fail("the PNG does not decode at its size");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace model_unpack;
  MemoryFileSystem files(true);
  files.put("m.zmdl", std::string(reinterpret_cast<const char*>(data), size));
  const Mesh mesh = read_mesh(*ModelFile::open("m.zmdl", files));
  {
    auto out = OutputFile::create("m.glb", Folder::current(), 0644, files);
    write_glb(mesh, "fuzz", *out);
    if (!out->close()) fail("the glb could not be written in memory");
  }
  const std::string& glb = *files.written("m.glb");
  check_container(glb);
  tinygltf::TinyGLTF loader;
  tinygltf::Model model;
  std::string error, warning;
  if (!loader.LoadBinaryFromMemory(&model, &error, &warning,
                                   reinterpret_cast<const unsigned char*>(glb.data()),
                                   static_cast<unsigned>(glb.size()))) {
    std::fprintf(stderr, "%s\n", error.c_str());
    fail("tinygltf cannot read the glb");
  }
  check_model(model);

  const Picture picture = render_preview(mesh, kFuzzPictureSize);
  if (picture.size != 0) check_png(encode_png(picture));
  // Drawn at once in shares of the triangles and bands of rows, the picture is the same.
  const Picture shared = render_preview(mesh, kFuzzPictureSize, 3);
  if (shared.rgb != picture.rgb || shared.triangles_not_drawn != picture.triangles_not_drawn)
    fail("the picture drawn on three threads differs from the one drawn on one");
  return 0;
}
