// Writes COUNT random model files for the soak test: every block kind, random counts, NaN and
// infinite floats, indices past the vertices, offsets past the end, counts far past the end,
// truncated files. The same seed always gives the same files.
// Usage: make-soak-models COUNT DIRECTORY [SEED]
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>

#include "model_builder.h"

using namespace model_unpack::testing;

namespace {

class SoakModel {
 public:
  explicit SoakModel(std::uint32_t seed) : random_(seed) {}

  std::string bytes() {
    ModelBuilder model;
    model.header("soak " + std::to_string(random_()));
    vertices_ = pick(0, 300);
    static const char* const kKinds[] = {"positions",     "normals",     "binormals", "tangents",
                                         "position_tris", "vertex_tris", "vertexes",  "materials",
                                         "material_tris", "edges",       "bonelinks", "bones",
                                         "collisebodies", "texcoords",   "bbox_data", "unknown"};
    for (const char* kind : kKinds) {
      if (chance(0.35)) continue;
      const std::string name = kind;
      if (chance(0.05)) {
        model.entry(name, static_cast<std::uint32_t>(random_()));  // anywhere, often past the end
      } else {
        model.block(name, payload(name));
      }
      if (chance(0.05)) model.block(name, payload(name));  // a duplicate
    }
    std::string bytes = model.bytes();
    if (chance(0.2)) bytes.resize(pick(0, static_cast<std::uint32_t>(bytes.size())));
    return bytes;
  }

 private:
  bool chance(double p) { return std::bernoulli_distribution(p)(random_); }
  std::uint32_t pick(std::uint32_t low, std::uint32_t high) {
    return std::uniform_int_distribution<std::uint32_t>(low, high)(random_);
  }
  // A count word: usually what follows, sometimes far more.
  std::uint32_t count(std::uint32_t real) {
    if (chance(0.05)) return 0xFFFFFFFF - pick(0, 100);
    if (chance(0.1)) return real + pick(0, 1000);
    return real;
  }
  float coordinate() {
    if (chance(0.02)) return std::numeric_limits<float>::quiet_NaN();
    if (chance(0.02)) return chance(0.5) ? INFINITY : -INFINITY;
    if (chance(0.01)) return std::numeric_limits<float>::max();
    return std::uniform_real_distribution<float>(-10, 10)(random_);
  }
  std::uint16_t index() {
    if (chance(0.03)) return static_cast<std::uint16_t>(pick(0, 65535));
    return static_cast<std::uint16_t>(pick(0, vertices_ > 0 ? vertices_ : 1));
  }

  Payload payload(const std::string& name) {
    Payload p;
    if (name == "positions" || name == "normals" || name == "binormals" || name == "tangents") {
      const std::uint32_t n = chance(0.8) ? vertices_ : pick(0, 300);
      p.u32(count(n));
      for (std::uint32_t i = 0; i < 3 * n; ++i) p.f32(coordinate());
    } else if (name == "position_tris" || name == "vertex_tris" || name == "edges") {
      const std::uint32_t n = pick(0, 400);
      if (name == "edges") p.u32(random_());
      p.u32(count(n));
      for (std::uint32_t i = 0; i < 3 * n; ++i) p.u16(index());
    } else if (name == "vertexes") {
      const std::uint32_t n = pick(0, 100);
      p.u32(count(n));
      for (std::uint32_t i = 0; i < 6 * n; ++i) p.u16(index());
    } else if (name == "materials") {
      const std::uint32_t n = pick(0, 20);
      p.u32(count(n));
      for (std::uint32_t i = 0; i < n; ++i) {
        std::string text = "mat_" + std::to_string(i);
        if (chance(0.1)) text += "\xff\xc2\x9b\x1b[31m";
        p.name(text);
      }
    } else if (name == "material_tris" || name == "bonelinks") {
      const std::uint32_t n = pick(0, 400);
      p.u32(count(n));
      for (std::uint32_t i = 0; i < n; ++i) p.u16(static_cast<std::uint16_t>(pick(0, 25)));
    } else if (name == "bones") {
      const std::uint32_t n = pick(0, 10);
      p.u32(count(n));
      for (std::uint32_t i = 0; i < n; ++i) {
        const std::uint32_t extra = pick(0, 200);
        p.name("bone").name("parent").fill(64, 'd').u32(chance(0.05) ? random_() : extra);
        p.fill(extra, 'x');
      }
    } else if (name == "collisebodies") {
      const std::uint32_t n = pick(0, 5);
      p.u32(count(n));
      for (std::uint32_t i = 0; i < n; ++i) {
        const std::uint32_t groups = pick(0, 20);
        p.name("body").u16(static_cast<std::uint16_t>(chance(0.05) ? 65535 : groups));
        for (std::uint32_t k = 0; k < 9 * groups; ++k) p.f32(coordinate());
      }
    } else {
      p.u32(count(pick(0, 50)));
    }
    return p;
  }

  std::mt19937 random_;
  std::uint32_t vertices_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fputs("usage: make-soak-models COUNT DIRECTORY [SEED]\n", stderr);
    return 2;
  }
  const long count = std::atol(argv[1]);
  const std::string directory = argv[2];
  const std::uint32_t seed = argc > 3 ? static_cast<std::uint32_t>(std::atol(argv[3])) : 1;
  for (long i = 0; i < count; ++i) {
    SoakModel model(seed * 1000003u + static_cast<std::uint32_t>(i));
    const std::string path = directory + "/m" + std::to_string(i) + ".zmdl";
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) return 1;
    const std::string bytes = model.bytes();
    std::fwrite(bytes.data(), 1, bytes.size(), out);
    std::fclose(out);
  }
  return 0;
}
