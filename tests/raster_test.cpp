// The canvas tests only the pixels that can show a triangle; here every pixel of each
// triangle's box is tested, as the pictures of earlier versions were drawn, and the two must
// plot the same pixels for tiny, wide, sliver and far-reaching triangles alike.
#include "mesh/raster.h"

#include <gtest/gtest.h>

#include <random>

namespace model_unpack {
namespace {

constexpr std::uint32_t kSide = 48;

// Every pixel of the box, each triangle nearer than the last so none is hidden: returns the
// pixels each triangle plots, in order.
std::vector<std::vector<int>> every_pixel(const std::vector<std::array<Projected, 3>>& triangles) {
  std::vector<std::vector<int>> plotted;
  for (const auto& [a, b, c] : triangles) {
    plotted.emplace_back();
    const double area = (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
    if (area == 0.0 || !std::isfinite(area)) continue;
    const double side = kSide;
    if (std::max({a.x, b.x, c.x}) < 0 || std::max({a.y, b.y, c.y}) < 0 ||
        std::min({a.x, b.x, c.x}) > side || std::min({a.y, b.y, c.y}) > side)
      continue;
    const auto clamp = [](double v) { return static_cast<int>(std::clamp(v, 0.0, kSide - 1.0)); };
    const double inverse = 1.0 / area;
    const double w0_dx = (b.y - c.y) * inverse, w0_dy = (c.x - b.x) * inverse;
    const double w1_dx = (c.y - a.y) * inverse, w1_dy = (a.x - c.x) * inverse;
    const double w0_origin = (b.x * c.y - b.y * c.x) * inverse;
    const double w1_origin = (c.x * a.y - c.y * a.x) * inverse;
    for (int y = clamp(std::floor(std::min({a.y, b.y, c.y})));
         y <= clamp(std::ceil(std::max({a.y, b.y, c.y}))); ++y) {
      for (int x = clamp(std::floor(std::min({a.x, b.x, c.x})));
           x <= clamp(std::ceil(std::max({a.x, b.x, c.x}))); ++x) {
        const double w0 = w0_origin + w0_dx * (x + 0.5) + w0_dy * (y + 0.5);
        const double w1 = w1_origin + w1_dx * (x + 0.5) + w1_dy * (y + 0.5);
        // A weight that is not a number does not fail its test.
        if (!(w0 < 0 || w1 < 0 || 1.0 - w0 - w1 < 0)) plotted.back().push_back(y * kSide + x);
      }
    }
  }
  return plotted;
}

// The canvas's: which pixels changed colour, each triangle drawn in a colour of its own.
std::vector<std::vector<int>> canvas_pixels(
    const std::vector<std::array<Projected, 3>>& triangles) {
  const unsigned char black[3] = {0, 0, 0};
  std::vector<unsigned char> rgb(kSide * kSide * 3);
  Canvas canvas(kSide, std::uint64_t{1} << 60, black, Rows{0, kSide}, rgb.data());
  std::vector<std::vector<int>> plotted;
  std::vector<unsigned char> before = rgb;
  for (std::size_t t = 0; t < triangles.size(); ++t) {
    const unsigned char id[3] = {static_cast<unsigned char>(t % 251 + 1),
                                 static_cast<unsigned char>(t / 251 % 251), 7};
    const auto& [a, b, c] = triangles[t];
    canvas.triangle(a, b, c, [&](double, double, double, unsigned char* colour) {
      std::copy(id, id + 3, colour);
    });
    plotted.emplace_back();
    for (std::size_t i = 0; i < kSide * kSide; ++i) {
      if (!std::equal(&rgb[i * 3], &rgb[i * 3] + 3, &before[i * 3]))
        plotted.back().push_back(static_cast<int>(i));
    }
    before = rgb;
  }
  return plotted;
}

TEST(RasterTest, PlotsWhatTestingEveryPixelOfTheBoxPlots) {
  std::mt19937_64 random(40);
  std::uniform_real_distribution<double> anywhere(-4, kSide + 4), unit(-1, 1), power(-12, 12);
  std::vector<std::array<Projected, 3>> triangles;
  for (int t = 0; t < 12000; ++t) {
    const double depth = t;  // each nearer than the last
    const Projected a{anywhere(random), anywhere(random), depth};
    const double reach = std::pow(10.0, power(random) / 4);  // sub-pixel to 1000 pixels
    Projected b{a.x + reach * unit(random), a.y + reach * unit(random), depth};
    Projected c{a.x + reach * unit(random), a.y + reach * unit(random), depth};
    if (t % 4 == 1) {  // a sliver: c close to the line from a to b
      const double along = unit(random), off = std::pow(10.0, power(random));
      c = {a.x + along * (b.x - a.x) + off, a.y + along * (b.y - a.y) - off, depth};
    }
    if (t % 8 == 2) c.x = std::pow(10.0, std::abs(power(random)) * 2);  // reaching far out
    triangles.push_back({a, b, c});
  }
  const auto expected = every_pixel(triangles);
  const auto got = canvas_pixels(triangles);
  std::size_t pixels = 0;
  for (std::size_t t = 0; t < triangles.size(); ++t) {
    ASSERT_EQ(got[t], expected[t]) << "triangle " << t;
    pixels += got[t].size();
  }
  EXPECT_GT(pixels, 100000u);  // the triangles did cover pixels
}

// Opaque triangles drawn backwards in shares, each share on a canvas of its own and the later
// laid over the earlier, give the picture drawn in order: overlapping triangles, many of them at
// exactly the same depth (the later in order shows), some sloping through the others.
TEST(RasterTest, SharesDrawnBackwardsMakeThePictureDrawnInOrder) {
  std::mt19937_64 random(41);
  std::uniform_real_distribution<double> anywhere(-2, kSide + 2), level(0, 3);
  std::vector<std::array<Projected, 3>> triangles;
  for (int t = 0; t < 3000; ++t) {
    const double flat = std::floor(level(random));
    const auto corner = [&] {
      return Projected{anywhere(random), anywhere(random), t % 5 == 0 ? level(random) : flat};
    };
    triangles.push_back({corner(), corner(), corner()});
  }
  const unsigned char grey[3] = {9, 9, 9};
  const auto draw = [&](Canvas& canvas, std::size_t first, std::size_t end, auto drawing) {
    for (std::size_t n = first; n < end; ++n) {
      const std::size_t t = drawing == Drawing::InOrder ? n : first + end - 1 - n;
      const auto& [a, b, c] = triangles[t];
      const unsigned char id[3] = {static_cast<unsigned char>(t),
                                   static_cast<unsigned char>(t >> 8), 1};
      canvas.triangle<decltype(drawing)::value>(
          a, b, c,
          [&](double, double, double, unsigned char* colour) { std::copy(id, id + 3, colour); });
    }
  };
  std::vector<unsigned char> in_order(kSide * kSide * 3);
  Canvas one(kSide, std::uint64_t{1} << 60, grey, Rows{0, kSide}, in_order.data());
  draw(one, 0, triangles.size(), std::integral_constant<Drawing, Drawing::InOrder>{});
  for (const std::size_t count : {1u, 2u, 7u}) {
    std::vector<std::vector<unsigned char>> rgb(count, std::vector<unsigned char>(in_order.size()));
    std::vector<Canvas> shares;
    shares.reserve(count);
    for (std::size_t k = 0; k < count; ++k) {
      shares.emplace_back(kSide, std::uint64_t{1} << 60, grey, Rows{0, kSide}, rgb[k].data());
      draw(shares[k], triangles.size() * k / count, triangles.size() * (k + 1) / count,
           std::integral_constant<Drawing, Drawing::Backwards>{});
      if (k > 0) shares[0].cover_with(shares[k]);
    }
    EXPECT_EQ(rgb[0], in_order) << count << " shares";
    EXPECT_FALSE(shares[0].unordered());
  }
}

// A translucent triangle is blended, rounded to the nearest, over what it is in front of only:
// a whole-picture one half behind an opaque one.
TEST(RasterTest, TranslucentTrianglesBlendOnlyWhereTheyAreInFront) {
  const unsigned char grey[3] = {9, 9, 9}, ink[3] = {200, 100, 51}, wall[3] = {20, 240, 0};
  std::vector<unsigned char> rgb(kSide * kSide * 3);
  Canvas canvas(kSide, std::uint64_t{1} << 60, grey, Rows{0, kSide}, rgb.data());
  const auto paint = [](const unsigned char* colour) {
    return [colour](double, double, double, unsigned char* out) {
      std::copy(colour, colour + 3, out);
    };
  };
  // An opaque wall over the left half, nearer than the glass.
  const double half = kSide / 2.0, side = kSide;
  canvas.triangle({-1, -1, 2}, {half, -1, 2}, {half, side + 1, 2}, paint(wall));
  canvas.triangle({-1, -1, 2}, {half, side + 1, 2}, {-1, side + 1, 2}, paint(wall));
  canvas.triangle({-side, -side, 1}, {3 * side, -side, 1}, {-side, 3 * side, 1}, paint(ink), 0.3);
  const unsigned weight = 77;  // 0.3 x 256, rounded
  for (std::size_t i = 0; i < kSide * kSide; ++i) {
    const bool behind_wall = i % kSide < kSide / 2;
    for (int k = 0; k < 3; ++k) {
      const unsigned glass = (ink[k] * weight + grey[k] * (256 - weight) + 128) >> 8;
      ASSERT_EQ(rgb[i * 3 + k], behind_wall ? wall[k] : glass) << i;
    }
  }
}

}  // namespace
}  // namespace model_unpack
