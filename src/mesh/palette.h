// The colours of the glb and the preview picture, in one place. Colours are given as they
// appear on screen (sRGB, 0 to 1); the glb stores them linear, as glTF asks, so that a viewer
// shows what the picture shows.
#pragma once

#include <cstdint>

#include "mesh/mesh.h"

namespace model_unpack {

// A material's colour, by its number in the model.
Vec3 material_colour(std::uint32_t number);

// Triangles whose material number names no material.
inline constexpr Vec3 kNoMaterialColour{0.72f, 0.72f, 0.70f};
// Collision bodies: translucent over the model, so that it stays visible through them.
inline constexpr Vec3 kCollisionBodyColour{0.95f, 0.30f, 0.85f};
inline constexpr float kCollisionBodyAlpha = 0.3f;
// Vertices without triangles, drawn as dots.
inline constexpr Vec3 kPointColour{40 / 255.0f, 60 / 255.0f, 90 / 255.0f};

// The sRGB transfer function and its inverse, exactly (IEC 61966-2-1), on values 0 to 1.
double srgb_to_linear(double value);
double linear_to_srgb(double value);
Vec3 linear_colour(const Vec3& srgb);

}  // namespace model_unpack
