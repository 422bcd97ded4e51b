// Writes the sample model: one block of every kind the tool knows, and one it does not.
// Usage: make-sample-model OUTPUT.zmdl
#include <cstdio>
#include <exception>

#include "model_builder.h"

using namespace model_unpack::testing;

namespace {

Payload bone(std::string_view first, std::string_view second, std::string_view extra) {
  Payload payload;
  payload.name(first).name(second);
  for (unsigned char i = 0; i < 64; ++i)
    payload.raw(std::string(1, static_cast<char>('A' + i % 26)));
  return payload.u32(static_cast<std::uint32_t>(extra.size())).raw(extra);
}

ModelBuilder sample_model() {
  Payload bones;
  bones.u32(2)
      .raw(bone("root", "spine", "").bytes())
      .raw(bone("spine", "head", "look-at target").bytes());
  Payload bodies;
  bodies.u32(2).name("hull").u16(1);
  for (float value : {-1.0f, -1.0f, 0.0f, 1.0f, -1.0f, 0.0f, 0.0f, 1.0f, 2.0f}) bodies.f32(value);
  bodies.name("marker").u16(0);

  Payload unknown;
  unknown.u32(3).raw("opaque");

  return ModelBuilder()
      .header("sample model v1")
      .block("positions",
             floats3({0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.5f, 0.5f, 1.25f}))
      .block("position_tris", u16s(3, {0, 1, 2, 0, 2, 3}))
      .block("normals",
             floats3({0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 1.0f, 0.0f, -0.6f, 0.8f}))
      .block("binormals", floats3({1.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f}))
      .block("tangents", floats3({0.0f, 1.0f, 0.0f, 0.0f, 1.0f, 0.0f}))
      .block("texcoords", Payload().u32(2).f32(0.0f).f32(0.0f).f32(1.0f).f32(1.0f))
      .block("materials", materials({"stone", "moss_on_stone"}))
      .block("material_tris", u16s(1, {0, 1}))
      .block("edges", edges(7, {0, 1, 0, 1, 2, 0, 2, 0, 1}))
      .block("vertexes", u16s(6, {0, 0, 0, 0, 1, 0, 1, 1, 0, 1, 2, 0}))
      .block("vertex_tris", u16s(3, {0, 1, 2}))
      .block("bonelinks", u16s(1, {0, 0, 1, 1}))
      .block("bones", bones)
      .block("collisebodies", bodies)
      .block("lightmap_hints", unknown);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: make-sample-model OUTPUT.zmdl\n", stderr);
    return 2;
  }
  try {
    sample_model().write(argv[1]);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "make-sample-model: %s\n", error.what());
    return 1;
  }
  return 0;
}
