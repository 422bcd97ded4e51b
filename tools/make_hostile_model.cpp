// Writes a model built to cost a reader as much as its size allows, for the memory benchmark:
//   directory: nothing but directory entries (the positions block named over and over);
//   bodies:    collision bodies of one triangle each, as many as fit;
//   repeated:  a few hundred entries all naming one block that claims more than the file holds;
//   materials: a triangle for each material number, as many as fit (65,536 at most);
//   names:     collision bodies of one triangle each, named by 64 control characters;
//   crowded:   triangles each over half the picture, as many as fit (the drawing's budget).
// Usage: make-hostile-model KIND SIZE_MB OUTPUT.zmdl
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "model_builder.h"

using model_unpack::testing::ModelBuilder;
using model_unpack::testing::Payload;

namespace {

constexpr std::size_t kEntrySize = 68;

std::string directory_model(std::size_t bytes) {
  ModelBuilder model;
  const std::size_t entries = bytes / kEntrySize;
  const auto block_at = static_cast<std::uint32_t>(28 + kEntrySize * (entries + 1));
  for (std::size_t i = 0; i < entries; ++i) model.entry("positions", block_at);
  return model.place(block_at, Payload().u32(1).f32(1).f32(2).f32(3)).bytes();
}

std::string bodies_model(std::size_t bytes, bool control_names) {
  constexpr std::size_t kBodySize = 64 + 2 + 36;
  const std::size_t count = bytes / kBodySize;
  Payload bodies;
  bodies.u32(static_cast<std::uint32_t>(count));
  for (std::size_t i = 0; i < count; ++i) {
    bodies.name(control_names ? std::string(64, '\x01') : "body " + std::to_string(i)).u16(1);
    for (int k = 0; k < 9; ++k) bodies.f32(static_cast<float>((i * 9 + k) % 1000));
  }
  return ModelBuilder().block("collisebodies", bodies).bytes();
}

std::string materials_model(std::size_t bytes) {
  constexpr std::size_t kTriangleSize = 6 + 2;
  const std::size_t count = std::min<std::size_t>(bytes / kTriangleSize, 65536);
  Payload triangles, numbers;
  triangles.u32(static_cast<std::uint32_t>(count));
  numbers.u32(static_cast<std::uint32_t>(count));
  for (std::size_t i = 0; i < count; ++i) {
    triangles.u16(0).u16(1).u16(2);
    numbers.u16(static_cast<std::uint16_t>(i));
  }
  return ModelBuilder()
      .block("positions", model_unpack::testing::floats3({0, 0, 0, 1, 0, 0, 0, 1, 0}))
      .block("position_tris", triangles)
      .block("material_tris", numbers)
      .bytes();
}

std::string crowded_model(std::size_t bytes) {
  const std::size_t count = std::min<std::size_t>(bytes / 6, 0xFFFFFFFF);
  Payload triangles;
  triangles.u32(static_cast<std::uint32_t>(count));
  for (std::size_t i = 0; i < count; ++i) {
    if (i % 2 == 0) triangles.u16(0).u16(1).u16(2);
    if (i % 2 == 1) triangles.u16(0).u16(2).u16(3);
  }
  return ModelBuilder()
      .block("positions", model_unpack::testing::floats3({0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0}))
      .block("position_tris", triangles)
      .bytes();
}

std::string repeated_model(std::size_t bytes) {
  ModelBuilder model;
  constexpr std::uint32_t kEntries = 400;
  constexpr std::uint32_t kBlockAt = 28 + kEntrySize * (kEntries + 1);
  for (std::uint32_t i = 0; i < kEntries; ++i) model.entry("positions", kBlockAt);
  const std::size_t room = bytes > kBlockAt + 4 ? bytes - kBlockAt - 4 : 0;
  return model.place(kBlockAt, Payload().u32(0xFFFFFFFF).fill(room, 0x41)).bytes();
}

}  // namespace

int main(int argc, char** argv) {
  const double megabytes = argc == 4 ? std::atof(argv[2]) : 0;
  if (megabytes <= 0) {
    std::fputs(
        "usage: make-hostile-model directory|bodies|repeated|materials|names|crowded SIZE_MB "
        "OUTPUT.zmdl\n",
        stderr);
    return 2;
  }
  const auto bytes = static_cast<std::size_t>(megabytes * 1e6);
  std::string model;
  if (std::strcmp(argv[1], "directory") == 0) {
    model = directory_model(bytes);
  } else if (std::strcmp(argv[1], "bodies") == 0) {
    model = bodies_model(bytes, false);
  } else if (std::strcmp(argv[1], "names") == 0) {
    model = bodies_model(bytes, true);
  } else if (std::strcmp(argv[1], "materials") == 0) {
    model = materials_model(bytes);
  } else if (std::strcmp(argv[1], "crowded") == 0) {
    model = crowded_model(bytes);
  } else if (std::strcmp(argv[1], "repeated") == 0) {
    model = repeated_model(bytes);
  } else {
    std::fprintf(stderr, "make-hostile-model: unknown kind %s\n", argv[1]);
    return 2;
  }
  std::FILE* out = std::fopen(argv[3], "wb");
  if (out == nullptr || std::fwrite(model.data(), 1, model.size(), out) != model.size() ||
      std::fclose(out) != 0) {
    std::perror(argv[3]);
    return 1;
  }
  return 0;
}
