#include "mesh/palette.h"

#include <cmath>
#include <iterator>

namespace model_unpack {

Vec3 material_colour(std::uint32_t number) {
  static constexpr Vec3 kPalette[] = {
      {0.80f, 0.36f, 0.27f}, {0.30f, 0.55f, 0.80f}, {0.40f, 0.70f, 0.35f}, {0.90f, 0.70f, 0.25f},
      {0.60f, 0.40f, 0.75f}, {0.30f, 0.70f, 0.70f}, {0.85f, 0.50f, 0.65f}, {0.55f, 0.55f, 0.55f},
      {0.70f, 0.50f, 0.30f}, {0.50f, 0.75f, 0.90f}, {0.75f, 0.80f, 0.35f}, {0.45f, 0.35f, 0.60f},
  };
  return kPalette[number % std::size(kPalette)];
}

double srgb_to_linear(double value) {
  return value <= 0.04045 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
}

double linear_to_srgb(double value) {
  return value <= 0.0031308 ? value * 12.92 : 1.055 * std::pow(value, 1 / 2.4) - 0.055;
}

Vec3 linear_colour(const Vec3& srgb) {
  return {static_cast<float>(srgb_to_linear(srgb[0])), static_cast<float>(srgb_to_linear(srgb[1])),
          static_cast<float>(srgb_to_linear(srgb[2]))};
}

}  // namespace model_unpack
