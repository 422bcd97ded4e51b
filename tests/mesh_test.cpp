// The glb and the preview picture, checked by real clients: a glTF reader (tinygltf) reads back
// what the builder put in, the glTF validator finds no error, and the PNG decodes.
#include <gtest/gtest.h>
#include <spng.h>
#include <tiny_gltf.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <random>

#include "job/console_report.h"
#include "job/file_names.h"
#include "job/mesh_outputs.h"
#include "large_model.h"
#include "mesh/glb_writer.h"
#include "mesh/preview.h"
#include "model_builder.h"
#include "model_unpack_version.h"
#include "test_support.h"

namespace model_unpack {
namespace {

using testing::floats3;
using testing::materials;
using testing::ModelBuilder;
using testing::Payload;
using testing::u16s;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

class MeshTest : public ::testing::Test {
 protected:
  // Writes the model as NAME.zmdl, then its glb and png; returns the console lines.
  std::string convert(const std::string& name, const ModelBuilder& model, bool* had_error = nullptr,
                      std::uint32_t png_size = 64) {
    return convert_bytes(name, model.bytes(), had_error, png_size);
  }
  std::string convert_bytes(const std::string& name, const std::string& bytes,
                            bool* had_error = nullptr, std::uint32_t png_size = 64) {
    testing::write_file(name + ".zmdl", bytes);
    char* text = nullptr;
    std::size_t size = 0;
    std::FILE* out = open_memstream(&text, &size);
    ConsoleReport said(ConsoleOutput{out, false});
    write_mesh_outputs(outputs_of(derive_path_names(name), {false, {}, true, true}),
                       MeshSettings{png_size, false, system_files()}, said);
    std::fclose(out);
    if (had_error != nullptr) *had_error = said.had_error();
    std::string printed(text, size);
    std::free(text);
    return printed;
  }

  static tinygltf::Model load(const std::string& path) {
    tinygltf::TinyGLTF loader;
    tinygltf::Model model;
    std::string error, warning;
    EXPECT_TRUE(loader.LoadBinaryFromFile(&model, &error, &warning, path)) << error;
    return model;
  }

  testing::ScratchDirectory directory_;
};

template <typename T>
std::vector<T> accessor_values(const tinygltf::Model& model, int index) {
  const tinygltf::Accessor& accessor = model.accessors[static_cast<std::size_t>(index)];
  const tinygltf::BufferView& view =
      model.bufferViews[static_cast<std::size_t>(accessor.bufferView)];
  const auto& data = model.buffers[static_cast<std::size_t>(view.buffer)].data;
  const int per = tinygltf::GetNumComponentsInType(static_cast<std::uint32_t>(accessor.type));
  std::vector<T> values(accessor.count * static_cast<std::size_t>(per));
  std::memcpy(values.data(), data.data() + view.byteOffset + accessor.byteOffset,
              values.size() * sizeof(T));
  return values;
}

std::vector<std::uint32_t> indices_of(const tinygltf::Model& model, const tinygltf::Primitive& p) {
  const tinygltf::Accessor& accessor = model.accessors[static_cast<std::size_t>(p.indices)];
  if (accessor.componentType == TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT) {
    const auto shorts = accessor_values<std::uint16_t>(model, p.indices);
    return {shorts.begin(), shorts.end()};
  }
  return accessor_values<std::uint32_t>(model, p.indices);
}

Payload bodies(std::initializer_list<std::pair<std::string, std::vector<float>>> list) {
  Payload payload;
  payload.u32(static_cast<std::uint32_t>(list.size()));
  for (const auto& [name, points] : list) {
    payload.name(name).u16(static_cast<std::uint16_t>(points.size() / 9));
    for (float f : points) payload.f32(f);
  }
  return payload;
}

TEST_F(MeshTest, AReaderGetsBackWhatTheModelHolds) {
  const std::string printed = convert(
      "m",
      ModelBuilder()
          .block("positions", floats3({0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 0}))
          .block("normals", floats3({0, 0, 2, 0, 0, 1, 0, 0, 1, 0, 3, 0}))
          .block("position_tris", u16s(3, {0, 1, 2, 1, 3, 2, 3, 0, 1}))
          .block("material_tris", u16s(1, {1, 0, 7}))
          .block("materials", materials({"stone", "caf\xc3\xa9\xff"}))
          .block("collisebodies", bodies({{"hull", {0, 0, 0, 1, 0, 0, 0, 0, 1}}, {"empty", {}}})));
  EXPECT_EQ(printed,
            "Mesh written: m.glb (4 vertices, 3 triangles, 2 collision bodies)\n"
            "Preview written: m.png (64 x 64 pixels)\n"
            "Warning: 1 triangle with a material number past the last material has no "
            "material\n");
  const tinygltf::Model gltf = load("m.glb");
  EXPECT_EQ(gltf.asset.generator, "model-unpack " MODEL_UNPACK_VERSION);
  ASSERT_EQ(gltf.nodes.size(), 4u);
  EXPECT_EQ(gltf.nodes[0].name, "model");
  const tinygltf::Mesh& mesh = gltf.meshes[static_cast<std::size_t>(gltf.nodes[0].mesh)];
  ASSERT_EQ(mesh.primitives.size(), 3u);  // materials 0, 1, then 7 without a material
  EXPECT_EQ(indices_of(gltf, mesh.primitives[0]), (std::vector<std::uint32_t>{1, 3, 2}));
  EXPECT_EQ(indices_of(gltf, mesh.primitives[1]), (std::vector<std::uint32_t>{0, 1, 2}));
  EXPECT_EQ(indices_of(gltf, mesh.primitives[2]), (std::vector<std::uint32_t>{3, 0, 1}));
  EXPECT_EQ(gltf.materials[static_cast<std::size_t>(mesh.primitives[0].material)].name, "stone");
  EXPECT_EQ(gltf.materials[static_cast<std::size_t>(mesh.primitives[1].material)].name,
            "caf\xc3\xa9\xef\xbf\xbd");
  const tinygltf::Material& grey =
      gltf.materials[static_cast<std::size_t>(mesh.primitives[2].material)];
  EXPECT_EQ(grey.name, "no material");
  for (const tinygltf::Material& material : gltf.materials) {
    EXPECT_TRUE(material.doubleSided) << material.name;
    EXPECT_EQ(material.pbrMetallicRoughness.metallicFactor, 0.0) << material.name;
  }
  // Colours are stored linear: "stone" is drawn (0.80, 0.36, 0.27) in sRGB.
  const auto& stone = gltf.materials[static_cast<std::size_t>(mesh.primitives[0].material)];
  EXPECT_NEAR(stone.pbrMetallicRoughness.baseColorFactor[0], 0.6038, 1e-4);
  EXPECT_NEAR(stone.pbrMetallicRoughness.baseColorFactor[1], 0.1065, 1e-4);
  EXPECT_EQ(accessor_values<float>(gltf, mesh.primitives[0].attributes.at("POSITION")),
            (std::vector<float>{0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 0}));
  EXPECT_EQ(accessor_values<float>(gltf, mesh.primitives[0].attributes.at("NORMAL")),
            (std::vector<float>{0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 1, 0}));
  EXPECT_EQ(gltf.nodes[3].name, "collision bodies");
  EXPECT_EQ(gltf.nodes[3].children, (std::vector<int>{1, 2}));
  EXPECT_EQ(gltf.nodes[1].name, "hull");
  EXPECT_EQ(gltf.nodes[2].mesh, -1);
  for (const std::size_t node : {1, 2, 3}) {
    EXPECT_TRUE(gltf.nodes[node].extras.Get("collision").Get<bool>()) << node;
  }
  const auto& hull = gltf.meshes[static_cast<std::size_t>(gltf.nodes[1].mesh)].primitives[0];
  const tinygltf::Material& body = gltf.materials[static_cast<std::size_t>(hull.material)];
  EXPECT_EQ(body.name, "collision body");
  EXPECT_EQ(body.alphaMode, "BLEND");
  EXPECT_NEAR(body.pbrMetallicRoughness.baseColorFactor[3], 0.3, 1e-6);
  EXPECT_EQ(accessor_values<float>(gltf, hull.attributes.at("POSITION")),
            (std::vector<float>{0, 0, 0, 1, 0, 0, 0, 0, 1}));
}

TEST_F(MeshTest, WhatCannotBeUsedIsLeftOutAndSaid) {
  Payload positions = floats3({0, 0, 0, 1, 0, 0, 0, 1, 0});
  positions.f32(kNaN).f32(0).f32(0);
  Payload header_only;
  header_only.u32(4);
  // positions, last in the file, declares 5 vertices and holds 4.
  const std::string printed =
      convert("h", ModelBuilder()
                       .block("normals", floats3({0, 0, 1}))
                       .block("position_tris", u16s(3, {0, 1, 2, 0, 1, 9, 0, 0, 1, 0, 1, 3}))
                       .block("material_tris", u16s(1, {0}))
                       .block("collisebodies", bodies({{"bad", {0, 0, 0, kInf, 0, 0, 0, 0, 1}}}))
                       .block("positions", Payload().u32(5).raw(positions.bytes().substr(4))));
  EXPECT_EQ(printed,
            "Mesh written: h.glb (4 vertices, 1 triangle, 1 collision body)\n"
            "Preview written: h.png (64 x 64 pixels)\n"
            "Warning: positions: 1 of 5 elements lie past the end of the file\n"
            "Warning: 1 vertex with a non-finite coordinate written as 0, 0, 0\n"
            "Warning: normals left out: 1 normal for 4 vertices\n"
            "Warning: materials left out: 1 material number for 4 triangles\n"
            "Warning: 1 triangle left out: an index past the last vertex\n"
            "Warning: 1 triangle left out: two equal indices\n"
            "Warning: 1 triangle left out: a non-finite vertex\n"
            "Warning: 1 collision body triangle left out: a non-finite point\n");
  const tinygltf::Model gltf = load("h.glb");
  EXPECT_EQ(accessor_values<float>(gltf, gltf.meshes[0].primitives[0].attributes.at("POSITION")),
            (std::vector<float>{0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0}));
  EXPECT_EQ(gltf.meshes.size(), 1u) << "the body without a triangle has no mesh";
}

TEST_F(MeshTest, EmptyModelsAndTheInputFileItself) {
  bool had_error = false;
  testing::write_file("e.png", "a picture of an earlier run");
  EXPECT_EQ(convert("e", ModelBuilder(), &had_error),
            "Mesh written: e.glb (0 vertices, 0 triangles, 0 collision bodies)\n"
            "Warning: no preview picture e.png: the model has no vertices; the e.png of an "
            "earlier run is removed\n");
  EXPECT_FALSE(had_error);
  EXPECT_FALSE(testing::exists("e.png"));
  EXPECT_TRUE(load("e.glb").scenes.at(0).nodes.empty());
  // A header cut short is said.
  EXPECT_EQ(convert_bytes("short", std::string(21, 'h')),
            "Mesh written: short.glb (0 vertices, 0 triangles, 0 collision bodies)\n"
            "Warning: no preview picture short.png: the model has no vertices\n"
            "Warning: the file ends inside its 28-byte header, after 21 bytes\n");

  // A model named like its own glb is never written over.
  const std::string model = ModelBuilder().block("positions", floats3({1, 2, 3})).bytes();
  testing::write_file("self.glb", model);
  char* text = nullptr;
  std::size_t size = 0;
  std::FILE* out = open_memstream(&text, &size);
  ConsoleReport said(ConsoleOutput{out, false});
  write_mesh_outputs(outputs_of(derive_path_names("self.glb"), {false, {}, true, true}),
                     MeshSettings{16, false, system_files()}, said);
  std::fclose(out);
  ASSERT_TRUE(said.had_error());
  EXPECT_EQ(said.first_error()->form, &form_of(JobMessage::MeshOutputIsInput));
  EXPECT_EQ(std::string(text, size),
            "Error: self.glb is the input file :(\nPreview written: self.png (16 x 16 pixels)\n");
  std::free(text);
  EXPECT_EQ(testing::read_file("self.glb"), model);

  // A glb past its container's 32-bit lengths is not written at all (here with a small limit).
  std::unique_ptr<OutputFile> glb =
      OutputFile::create("limit.glb", Folder::current(), 0600, system_files());
  ASSERT_NE(glb, nullptr);
  EXPECT_FALSE(write_glb(Mesh{}, "test", *glb, 64));
  EXPECT_TRUE(glb->close());
  EXPECT_EQ(testing::read_file("limit.glb"), "");
}

TEST_F(MeshTest, PicturesDecodeAtTheAskedSizeAndShowTheModel) {
  convert("p",
          ModelBuilder()
              .block("positions", floats3({0, 0, 0, 1, 0, 0, 0, 1, 0}))
              .block("position_tris", u16s(3, {0, 1, 2})),
          nullptr, 100);
  const std::string png = testing::read_file("p.png");
  spng_ctx* context = spng_ctx_new(0);
  spng_set_png_buffer(context, png.data(), png.size());
  spng_ihdr header{};
  ASSERT_EQ(spng_get_ihdr(context, &header), 0);
  EXPECT_EQ(header.width, 100u);
  EXPECT_EQ(header.height, 100u);
  std::vector<unsigned char> rgb(100 * 100 * 3);
  ASSERT_EQ(spng_decode_image(context, rgb.data(), rgb.size(), SPNG_FMT_RGB8, 0), 0);
  spng_ctx_free(context);
  std::size_t drawn = 0;
  for (std::size_t i = 0; i < rgb.size(); i += 3) drawn += rgb[i] != rgb[0];
  EXPECT_GT(drawn, 100u * 100 / 10) << "the triangle fills part of the picture";
}

// The far vertices by the rule itself, the quartiles found by ordering each axis whole.
std::uint64_t far_by_ordering(const Mesh& mesh) {
  double low[3], high[3], spread = 0;
  for (int k = 0; k < 3; ++k) {
    std::vector<float> axis;
    for (const Vec3& p : mesh.positions) axis.push_back(p[k]);
    std::sort(axis.begin(), axis.end());
    const std::size_t last = axis.size() - 1;
    low[k] = axis[last / 4], high[k] = axis[last - last / 4];
    spread = std::max(spread, high[k] - low[k]);
  }
  std::uint64_t far = 0;
  for (const Vec3& p : mesh.positions) {
    bool out = false;
    for (int k = 0; k < 3; ++k) out |= p[k] < low[k] - 10 * spread || p[k] > high[k] + 10 * spread;
    far += out && spread > 0;
  }
  return far;
}

TEST(FarVertices, QuartilesAreThoseOfTheOrderedValues) {
  std::mt19937 random(7);
  std::uniform_real_distribution<float> near(-1, 1);
  for (int round = 0; round < 40; ++round) {
    Mesh mesh;
    const int count = round < 34 ? 1 + round * 97 : 70000 + round;  // counted past 2^16
    for (int i = 0; i < count; ++i) {
      const float kinds[] = {near(random),
                             -0.0f,
                             0.0f,
                             1.0f + near(random) * 1e-6f,
                             3e38f,
                             -near(random) * 1e30f,
                             near(random) * 1e-40f};
      Vec3 p;
      for (float& v : p) v = kinds[(random() >> 4) % (round % 7 + 1)];
      mesh.positions.push_back(p);
    }
    EXPECT_EQ(far_vertex_count(mesh), far_by_ordering(mesh)) << "round " << round;
  }
  // 0 .. count-1 along x, and two below: one just inside the bound the quartiles set, one just
  // past it. A quartile one rank off moves the bound by ten.
  for (const int count : {1001, 70001}) {
    Mesh mesh;
    const int last = count + 1, low = last / 4 - 2, spread = (last - last / 4 - 2) - low;
    const float bound = static_cast<float>(low - 10 * spread);
    mesh.positions = {{bound + 0.5f, 0, 0}, {bound - 0.5f, 0, 0}};
    for (int i = 0; i < count; ++i) mesh.positions.push_back({static_cast<float>(i), 0, 0});
    EXPECT_EQ(far_vertex_count(mesh), 1u) << count;
  }
}

// Bands of rows or shares of the triangles drawn at once make the same picture as one canvas:
// triangles across the bands' edges, bodies over them, dots where there is no triangle, a
// budget run out by the bodies or by the model's own triangles.
TEST_F(MeshTest, PictureIsTheSameInAnyNumberOfBands) {
  const auto mesh_of = [](const std::string& bytes) {
    testing::write_file("b.zmdl", bytes);
    return read_mesh(*ModelFile::open("b.zmdl", system_files()));
  };
  const Mesh large = mesh_of(testing::large_model(2 << 20).bytes());
  const Mesh points =
      mesh_of(ModelBuilder().block("positions", floats3({0, 0, 0, 1, 2, 3, 5, 1, 2})).bytes());
  Mesh starved = large;  // bodies of more pixel tests than the budget allows
  for (int copy = 0; copy < 400; ++copy) {
    starved.bodies[0].points.insert(starved.bodies[0].points.end(),
                                    {{-1e6f, -1e6f, 0}, {1e6f, -1e6f, 1}, {0, 1e6f, 2}});
  }
  Mesh crowded = large;  // triangles across the picture first, more than the budget allows
  for (std::uint16_t copy = 0; copy < 2000; ++copy) {
    crowded.triangles.insert(crowded.triangles.begin(),
                             {copy, static_cast<std::uint16_t>(200 + copy), 16000});
  }
  crowded.groups.front().count += 2000;
  for (std::size_t g = 1; g < crowded.groups.size(); ++g) crowded.groups[g].first += 2000;
  for (const Mesh* mesh : std::initializer_list<const Mesh*>{&large, &points, &starved, &crowded}) {
    const Picture one = render_preview(*mesh, 97);
    EXPECT_EQ(one.triangles_not_drawn > 0, mesh == &starved || mesh == &crowded);
    for (const unsigned bands : {2u, 3u, 97u}) {
      const Picture banded = render_preview(*mesh, 97, bands);
      EXPECT_EQ(banded.rgb, one.rgb) << bands << " bands";
      EXPECT_EQ(banded.triangles_not_drawn, one.triangles_not_drawn);
    }
  }
}

// The elements and vertices are handed over in runs: every run's are read and projected,
// the last, short run's too, each at its own index.
TEST_F(MeshTest, EveryRunOfElementsAndVerticesIsTaken) {
  constexpr std::uint16_t kVertices = 3 * 5461 + 7;  // three whole runs of positions and some
  // Only the last three vertices make a triangle, off the line of the rest: the picture
  // frames it alone.
  const auto at = [](std::uint16_t i) {
    return i + 3 >= kVertices ? Vec3{float(i % 3), float(i % 3 == 1), 0}
                              : Vec3{float(i), float(i % 7), 1};
  };
  Payload positions;
  positions.u32(kVertices);
  for (std::uint16_t i = 0; i < kVertices; ++i)
    for (const float v : at(i)) positions.f32(v);
  const std::uint16_t last = kVertices - 1;
  testing::write_file("runs.zmdl", ModelBuilder()
                                       .block("positions", positions)
                                       .block("position_tris", u16s(3, {last - 2, last - 1, last}))
                                       .bytes());
  const Mesh mesh = read_mesh(*ModelFile::open("runs.zmdl", system_files()));
  ASSERT_EQ(mesh.positions.size(), kVertices);
  for (std::uint16_t i = 0; i < kVertices; ++i) ASSERT_EQ(mesh.positions[i], at(i)) << i;
  const Picture picture = render_preview(mesh, 64);
  std::size_t lit = 0;
  for (std::size_t p = 0; p < picture.rgb.size(); p += 3) lit += picture.rgb[p] != picture.rgb[0];
  EXPECT_GT(lit, 64u * 64 / 8);  // the triangle fills much of the picture
}

TEST_F(MeshTest, FarVerticesDoNotShrinkThePictureOfTheRest) {
  const Payload cube = floats3({0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0, 0, 0, 1, 1, 0, 1, 1, 1, 1});
  Payload with_far =
      floats3({0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0, 0, 0, 1, 1, 0, 1, 1, 1, 1, 3e38f, 3e38f, 3e38f});
  const Payload faces = u16s(3, {0, 1, 2, 0, 2, 3, 4, 5, 6, 1, 5, 6, 1, 2, 6});
  const auto frame_of = [](const std::string& bytes) {
    testing::write_file("f.zmdl", bytes);
    return frame_preview(read_mesh(*ModelFile::open("f.zmdl", system_files())), 64);
  };
  const double alone =
      frame_of(ModelBuilder().block("positions", cube).block("position_tris", faces).bytes()).scale;
  for (const std::uint16_t far_used : {0, 1}) {
    Payload triangles = u16s(3, {0, 1, 2, 0, 2, 3, 4, 5, 6, 1, 5, 6, 1, 2, 6, 0, 1, 7});
    const std::string bytes = ModelBuilder()
                                  .block("positions", with_far)
                                  .block("position_tris", far_used ? triangles : faces)
                                  .bytes();
    const PreviewFrame frame = frame_of(bytes);
    EXPECT_DOUBLE_EQ(frame.scale, alone) << far_used;
    EXPECT_EQ(frame.left_out, far_used);
    const std::string printed = convert_bytes("far", bytes);
    EXPECT_NE(printed.find("Warning: 1 vertex lies far from the rest of the model"),
              std::string::npos)
        << printed;
    EXPECT_EQ(printed.find("Warning: the preview frames the bulk of the model; 1 vertex lies "
                           "outside it\n") != std::string::npos,
              far_used == 1)
        << printed;
  }
  // Points only: the far one is left out of the frame, and its dot out of the picture.
  EXPECT_NE(convert("points", ModelBuilder().block("positions", with_far))
                .find("Preview written: points.png (64 x 64 pixels)\nWarning: the preview frames "
                      "the bulk of the model; 1 vertex lies outside it\n"),
            std::string::npos);
}

// Runs the validator on `files`; its report on failure.
void expect_valid(const std::vector<std::string>& files, bool no_warnings) {
  std::string command = "node " MODEL_UNPACK_GLTF_VALIDATOR;
  if (no_warnings) command += " --no-warnings";
  for (const std::string& file : files) command += " " + file;
  const int status = std::system((command + " > report.txt 2>&1").c_str());
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
      << testing::read_file("report.txt")
      << "(the validator: npm ci --prefix tests/gltf; Node.js from Debian's nodejs)";
}

// The validator on glbs of every kind: no error for any, no warning for the sample and the
// generated large model.
TEST_F(MeshTest, TheGlbStaysWithinSixteenTimesTheModel) {
  // A triangle for each of 60,000 material numbers that no material names, and bodies named
  // by control characters, which JSON writes six bytes for one.
  Payload triangles, numbers, named;
  triangles.u32(60000);
  numbers.u32(60000);
  for (std::uint32_t i = 0; i < 60000; ++i) {
    triangles.u16(0).u16(1).u16(2);
    numbers.u16(static_cast<std::uint16_t>(i));
  }
  named.u32(2000);
  for (int i = 0; i < 2000; ++i) named.name(std::string(64, '\x01')).u16(1).fill(36, 0);
  const std::vector<std::pair<std::string, ModelBuilder>> models = {
      {"numbers", ModelBuilder()
                      .block("positions", floats3({0, 0, 0, 1, 0, 0, 0, 1, 0}))
                      .block("position_tris", triangles)
                      .block("material_tris", numbers)},
      {"names", ModelBuilder().block("collisebodies", named)}};
  for (const auto& [name, model] : models) {
    convert(name, model);
    EXPECT_LE(std::filesystem::file_size(name + ".glb"), 16 * model.bytes().size() + (1 << 20))
        << name;
  }
  EXPECT_EQ(load("numbers.glb").meshes.at(0).primitives.size(), 1u);
}

TEST_F(MeshTest, TheGltfValidatorFindsNoError) {
  const std::string sample = testing::read_file(MODEL_UNPACK_EXAMPLES_DIR "/sample.zmdl");
  convert_bytes("sample", sample);
  convert_bytes("large", testing::large_model(2 << 20).bytes());
  expect_valid({"sample.glb", "large.glb"}, true);

  std::vector<std::string> others;
  for (std::size_t cut : {40, 100, 300, 700, 1200, 1500, 1800, 2100}) {
    const std::string name = "cut" + std::to_string(cut);
    convert_bytes(name, sample.substr(0, cut));
    others.push_back(name + ".glb");
  }
  Payload wide;  // 65536 vertices: index 65535 needs 32-bit indices
  wide.u32(65536);
  for (std::uint32_t i = 0; i < 65536; ++i) wide.f32(static_cast<float>(i)).f32(i % 7).f32(0);
  convert("wide",
          ModelBuilder().block("positions", wide).block("position_tris", u16s(3, {0, 1, 65535})));
  Payload hostile = floats3({kNaN, 0, 0, 1e38f, -1e38f, 0, 0, 1, kInf});
  convert("hostile", ModelBuilder()
                         .block("positions", hostile)
                         .block("position_tris", u16s(3, {0, 1, 2, 1, 2, 9}))
                         .block("normals", floats3({0, 0, 0, 1, 1, 1, 2, 2, 2}))
                         .block("collisebodies", bodies({{"\xff\xfe", {kNaN}}, {"x", {}}})));
  others.insert(others.end(), {"wide.glb", "hostile.glb"});
  expect_valid(others, false);

  // Points only, and triangles without a material: valid, and a second reader loads them.
  convert("points", ModelBuilder().block("positions", floats3({0, 0, 0, 1, 0, 0, 0, 1, 0})));
  convert("grey", ModelBuilder()
                      .block("positions", floats3({0, 0, 0, 1, 0, 0, 0, 1, 0}))
                      .block("position_tris", u16s(3, {0, 1, 2})));
  expect_valid({"points.glb", "grey.glb"}, true);
  for (const char* glb : {"points.glb", "grey.glb"}) {
    const int status =
        std::system(("assimp info " + std::string(glb) + " > assimp.txt 2>&1").c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << glb << ": " << testing::read_file("assimp.txt") << "(assimp: Debian's assimp-utils)";
  }
}

}  // namespace
}  // namespace model_unpack
