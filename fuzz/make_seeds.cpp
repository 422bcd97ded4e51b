// Writes the fuzzer's seed corpus: every block kind, the sample model and truncations of it.
// Usage: make-fuzz-seeds SAMPLE.zmdl OUTPUT_DIRECTORY
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "model_builder.h"

using namespace model_unpack::testing;

namespace {

void save(const std::string& directory, const std::string& name, const std::string& bytes) {
  std::ofstream out(directory + "/" + name, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

Payload bone(std::uint32_t extra) {
  Payload payload;
  payload.name("a").name("b").fill(64, 'd').u32(extra).fill(extra, 'x');
  return payload;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fputs("usage: make-fuzz-seeds SAMPLE.zmdl OUTPUT_DIRECTORY\n", stderr);
    return 2;
  }
  const std::string out = argv[2];
  std::ifstream sample_file(argv[1], std::ios::binary);
  const std::string sample{std::istreambuf_iterator<char>(sample_file),
                           std::istreambuf_iterator<char>()};
  save(out, "sample", sample);
  for (std::size_t cut = 0; cut < sample.size(); cut += sample.size() / 16 + 1) {
    save(out, "sample-cut-" + std::to_string(cut), sample.substr(0, cut));
  }

  for (const char* name : {"positions", "normals", "binormals", "tangents"}) {
    save(out, name,
         ModelBuilder().block(name, floats3({1, -2.5f, 0, 1000.0625f, 0.1f, -0.0f})).bytes());
  }
  for (const char* name : {"position_tris", "vertex_tris"}) {
    save(out, name, ModelBuilder().block(name, u16s(3, {0, 1, 2, 65535, 7, 9})).bytes());
  }
  save(out, "vertexes", ModelBuilder().block("vertexes", u16s(6, {1, 2, 3, 4, 5, 6})).bytes());
  save(out, "materials",
       ModelBuilder().block("materials", materials({"stone", std::string(64, 'm')})).bytes());
  save(out, "material_tris", ModelBuilder().block("material_tris", u16s(1, {0, 12})).bytes());
  save(out, "bonelinks", ModelBuilder().block("bonelinks", u16s(1, {3, 4})).bytes());
  save(out, "edges", ModelBuilder().block("edges", edges(7, {1, 2, 3, 4, 5, 6})).bytes());
  save(
      out, "bones",
      ModelBuilder()
          .block("bones",
                 Payload().u32(3).raw(bone(0).bytes()).raw(bone(10).bytes()).raw(bone(100).bytes()))
          .bytes());
  Payload bodies;
  bodies.u32(2).name("empty").u16(0).name("one").u16(1).fill(36, 0x3F);
  save(out, "collisebodies", ModelBuilder().block("collisebodies", bodies).bytes());
  save(out, "unrendered",
       ModelBuilder()
           .block("texcoords", Payload().u32(1))
           .block("animation", Payload().u32(1))
           .block("light_animations", Payload().u32(0))
           .block("%s%n", Payload().u32(2))
           .bytes());
  save(out, "duplicates",
       ModelBuilder()
           .block("edges", edges(7, {1, 2, 3}))
           .block("edges", edges(2, {4, 5, 6}))
           .bytes());
  save(out, "no-terminator", ModelBuilder().entry("positions", 200).without_terminator().bytes());
  return 0;
}
