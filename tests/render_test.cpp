// The glb as people see it: three.js, in headless Chromium, renders each test glb from the
// preview's direction and frame, lit the same way, and the rendering is compared with the
// tool's own picture (tests/render/compare.mjs; npm ci --prefix tests/render).
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "job/console_report.h"
#include "job/file_names.h"
#include "job/mesh_outputs.h"
#include "large_model.h"
#include "mesh/mesh.h"
#include "mesh/preview.h"
#include "model_builder.h"
#include "test_support.h"

namespace model_unpack {
namespace {

using nlohmann::json;
using testing::floats3;
using testing::ModelBuilder;
using testing::Payload;
using testing::u16s;

// MODEL_UNPACK_RENDER_SIZE changes it (the README's pictures are 512 pixels wide).
const std::uint32_t kSize = [] {
  const char* size = std::getenv("MODEL_UNPACK_RENDER_SIZE");
  return size != nullptr ? static_cast<std::uint32_t>(std::atoi(size)) : 256u;
}();

// Writes NAME.zmdl, its glb and png; returns the case for the comparison script.
json make_case(const std::string& name, const std::string& bytes) {
  testing::write_file(name + ".zmdl", bytes);
  std::FILE* quiet = std::fopen("/dev/null", "w");
  ConsoleReport said(ConsoleOutput{quiet, false});
  write_mesh_outputs(outputs_of(derive_path_names(name), {false, {}, true, true}),
                     MeshSettings{kSize, false, system_files()}, said);
  EXPECT_FALSE(said.had_error());
  std::fclose(quiet);
  const auto model = ModelFile::open((name + ".zmdl").c_str(), system_files());
  const PreviewFrame frame = frame_preview(read_mesh(*model), kSize);
  return {{"glb", name + ".glb"},
          {"png", name + ".png"},
          {"size", kSize},
          {"frame",
           {{"right", frame.right},
            {"up", frame.up},
            {"forward", frame.forward},
            {"centre", frame.centre},
            {"scale", frame.scale},
            {"depth", frame.depth}}}};
}

Payload cube_positions(float far) {
  Payload positions =
      floats3({0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0, 0, 0, 1, 1, 0, 1, 1, 1, 1, 0, 1, 1});
  if (far != 0) {
    positions = floats3(
        {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0, 0, 0, 1, 1, 0, 1, 1, 1, 1, 0, 1, 1, far, far, far});
  }
  return positions;
}

// The twelve triangles of the unit cube, counter-clockwise seen from outside.
Payload cube_triangles() {
  return u16s(3, {0, 2, 1, 0, 3, 2, 4, 5, 6, 4, 6, 7, 0, 1, 5, 0, 5, 4,
                  2, 3, 7, 2, 7, 6, 1, 2, 6, 1, 6, 5, 0, 4, 7, 0, 7, 3});
}

TEST(RenderTest, ThreeJsShowsWhatThePictureShows) {
  testing::ScratchDirectory directory;
  Payload body;
  body.u32(1).name("hull").u16(2);
  for (float f : {-0.2f, -0.2f, 0.5f, 1.2f, -0.2f, 0.5f, 0.5f, 1.3f, 0.5f, -0.2f, -0.2f, 0.5f, 0.5f,
                  1.3f, 0.5f, -0.2f, 1.2f, 0.5f}) {
    body.f32(f);
  }
  json cases = json::array();
  cases.push_back(
      make_case("sample", testing::read_file(MODEL_UNPACK_EXAMPLES_DIR "/sample.zmdl")));
  cases.push_back(make_case("generated", testing::large_model(200000).bytes()));
  cases.push_back(make_case(
      "materials", ModelBuilder()
                       .block("positions", cube_positions(0))
                       .block("position_tris", cube_triangles())
                       .block("material_tris", u16s(1, {1, 1, 0, 0, 2, 2, 1, 1, 2, 2, 0, 0}))
                       .block("materials", testing::materials({"stone", "wood", "glass"}))
                       .block("collisebodies", body)
                       .bytes()));
  Payload points;
  points.u32(60);
  for (int i = 0; i < 60; ++i) points.f32(i % 10).f32(i / 10).f32((i * 7) % 5);
  cases.push_back(make_case("points", ModelBuilder().block("positions", points).bytes()));
  // A vertex far from the rest, used by no triangle: the cube is framed as if alone.
  cases.push_back(make_case("outlier", ModelBuilder()
                                           .block("positions", cube_positions(3e38f))
                                           .block("position_tris", cube_triangles())
                                           .bytes()));
  std::ofstream("cases.json") << cases.dump();

  const char* save = std::getenv("MODEL_UNPACK_RENDER_SAVE");
  const std::string command = "node " MODEL_UNPACK_RENDER_SCRIPT " cases.json " +
                              std::string(save != nullptr ? save : "") + " > results.txt";
  const int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
      << testing::read_file("results.txt")
      << "(three.js and playwright-core: npm ci --prefix tests/render; Debian's chromium)";
  std::istringstream lines(testing::read_file("results.txt"));
  std::size_t checked = 0;
  for (std::string line; std::getline(lines, line); ++checked) {
    const json result = json::parse(line);
    SCOPED_TRACE(line);
    std::cout << line << "\n";  // the figures, for the record
    EXPECT_GE(result["silhouette"].get<double>(), 0.95);
    for (const json& material : result["materials"]) {
      if (material["pixels"].get<int>() < 50) continue;  // edges only
      EXPECT_LE(material["distance"].get<double>(), 12.0) << material.dump();
    }
  }
  EXPECT_EQ(checked, cases.size());
}

}  // namespace
}  // namespace model_unpack
