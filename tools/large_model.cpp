#include "large_model.h"

#include <array>
#include <cmath>
#include <random>
#include <string>

namespace model_unpack::testing {

namespace {

// Bytes of payload per vertex over all blocks: 4 x 12 (float triples) + 8 + 12 + 2 x (6 + 6 +
// 2) (two triangles) + 3 x 6 (edges) + 2 (bone link).
constexpr std::size_t kBytesPerVertex = 48 + 8 + 12 + 28 + 18 + 2;

}  // namespace

ModelBuilder large_model(std::size_t bytes) {
  const auto vertices = static_cast<std::uint32_t>(bytes / kBytesPerVertex);
  const std::uint32_t triangles = 2 * vertices;
  std::mt19937 random(1);
  std::uniform_real_distribution<float> coordinate(-100.0f, 100.0f);
  std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
  auto index = [&random, vertices] {
    return static_cast<std::uint16_t>(random() % (vertices < 65535 ? vertices : 65535));
  };

  // The surface: the first vertices (as many as u16 indices reach) lie on a grid over a wavy
  // sheet, two triangles per grid cell, as a real mesh's neighbours do; triangles past the grid
  // go round it again.
  const std::uint32_t grid_vertices = vertices < 65535 ? vertices : 65535;
  const auto columns = static_cast<std::uint32_t>(std::sqrt(static_cast<double>(grid_vertices)));
  const std::uint32_t rows = columns > 0 ? grid_vertices / columns : 0;
  std::uint32_t vertex = 0;
  auto surface = [&] {
    const std::uint32_t i = vertex++ / 3;
    const std::uint32_t axis = (vertex - 1) % 3;
    if (columns < 2 || rows < 2 || i >= rows * columns) return coordinate(random);
    const float x = 200.0f * static_cast<float>(i % columns) / static_cast<float>(columns) - 100.0f;
    const float z = 200.0f * static_cast<float>(i / columns) / static_cast<float>(rows) - 100.0f;
    if (axis == 0) return x;
    if (axis == 2) return z;
    return 20.0f * std::sin(x / 15.0f) * std::cos(z / 23.0f);
  };
  Payload position_tris;
  position_tris.u32(triangles);
  const std::uint32_t cells = columns >= 2 && rows >= 2 ? (columns - 1) * (rows - 1) : 0;
  for (std::uint32_t t = 0; t < triangles; ++t) {
    if (cells == 0) {
      for (int k = 0; k < 3; ++k) position_tris.u16(index());
      continue;
    }
    const std::uint32_t cell = (t / 2) % cells;
    const std::uint32_t corner = cell / (columns - 1) * columns + cell % (columns - 1);
    const std::uint32_t a = corner, b = corner + 1, c = corner + columns, d = corner + columns + 1;
    for (std::uint32_t i : t % 2 == 0 ? std::array{a, c, b} : std::array{b, c, d}) {
      position_tris.u16(static_cast<std::uint16_t>(i));
    }
  }

  auto float_triples = [&](auto&& draw) {
    Payload payload;
    payload.u32(vertices);
    for (std::uint32_t i = 0; i < 3 * vertices; ++i) payload.f32(draw());
    return payload;
  };
  auto u16_elements = [&](std::uint32_t count, int per_element) {
    Payload payload;
    payload.u32(count);
    for (std::uint32_t i = 0; i < count * static_cast<std::uint32_t>(per_element); ++i) {
      payload.u16(index());
    }
    return payload;
  };

  Payload texcoords;
  texcoords.u32(vertices);
  for (std::uint32_t i = 0; i < 2 * vertices; ++i) texcoords.f32(unit(random));
  Payload materials;
  materials.u32(16);
  for (int i = 0; i < 16; ++i) materials.name("material_" + std::to_string(i));
  Payload material_tris;
  material_tris.u32(triangles);
  for (std::uint32_t i = 0; i < triangles; ++i)
    material_tris.u16(static_cast<std::uint16_t>(random() % 16));
  Payload edges;
  edges.u32(0).u32(3 * vertices);
  for (std::uint32_t i = 0; i < 9 * vertices; ++i) edges.u16(index());
  Payload bones;
  bones.u32(100);
  for (int i = 0; i < 100; ++i) {
    const std::uint32_t extra = random() % 101;
    bones.name("bone_" + std::to_string(i)).name("bone_" + std::to_string(i / 2)).fill(64, 0x11);
    bones.u32(extra).fill(extra, 'e');
  }
  Payload bodies;
  bodies.u32(20);
  for (int i = 0; i < 20; ++i) {
    bodies.name("body_" + std::to_string(i)).u16(50);
    for (int j = 0; j < 50 * 9; ++j) bodies.f32(coordinate(random));
  }

  return ModelBuilder()
      .header("large synthetic model")
      .block("positions", float_triples(surface))
      .block("normals", float_triples([&] { return unit(random); }))
      .block("binormals", float_triples([&] { return unit(random); }))
      .block("tangents", float_triples([&] { return unit(random); }))
      .block("texcoords", texcoords)
      .block("vertexes", u16_elements(vertices, 6))
      .block("position_tris", position_tris)
      .block("vertex_tris", u16_elements(triangles, 3))
      .block("material_tris", material_tris)
      .block("materials", materials)
      .block("edges", edges)
      .block("bonelinks", u16_elements(vertices, 1))
      .block("bones", bones)
      .block("collisebodies", bodies);
}

}  // namespace model_unpack::testing
