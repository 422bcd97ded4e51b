// Large synthetic models with the proportions of a real mesh: per vertex a position, normal,
// binormal, tangent, texture coordinate and vertex record; two triangles per vertex with their
// materials, three edges per vertex, a bone link each, plus bones, materials and collision
// bodies. The same size always gives the same bytes.
#pragma once

#include <cstddef>

#include "model_builder.h"

namespace model_unpack::testing {

ModelBuilder large_model(std::size_t bytes);

}  // namespace model_unpack::testing
