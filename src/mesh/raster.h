// The preview's canvas: triangles filled pixel by pixel with a depth buffer, translucent ones
// blended over what they are in front of, and dots. Each triangle's pixel tests are counted
// against one budget, so a hostile model cannot make the picture take forever.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "mesh/preview.h"

namespace model_unpack {

struct Projected {
  double x, y, depth;  // pixels, and nearer is larger
};

class Canvas {
 public:
  Canvas(std::uint32_t size, std::uint64_t budget, const unsigned char background[3])
      : size_(size),
        budget_(budget),
        depth_(std::size_t{size} * size, -std::numeric_limits<double>::infinity()) {
    picture_.size = size;
    picture_.rgb.resize(std::size_t{size} * size * 3);
    for (std::size_t i = 0; i < picture_.rgb.size(); ++i) picture_.rgb[i] = background[i % 3];
  }

  // Fills the triangle, unless its pixel tests would overrun the budget (then it is counted
  // as left out). `colour_at(w0, w1, w2, colour)` gives the colour at the barycentric weights
  // of a pixel, asked only for pixels that show. A translucent triangle (alpha below 1) is
  // blended over what it is in front of and hides nothing.
  template <typename ColourAt>
  void triangle(const Projected& a, const Projected& b, const Projected& c, ColourAt&& colour_at,
                double alpha = 1.0) {
    const double area = (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
    if (area == 0.0 || !std::isfinite(area)) return;
    // A triangle wholly outside the picture covers no pixel and costs nothing.
    const double low_x = std::min({a.x, b.x, c.x}), high_x = std::max({a.x, b.x, c.x});
    const double low_y = std::min({a.y, b.y, c.y}), high_y = std::max({a.y, b.y, c.y});
    const double side = static_cast<double>(size_);
    if (high_x < 0 || high_y < 0 || low_x > side || low_y > side) return;
    const int x0 = clamp(std::floor(low_x)), x1 = clamp(std::ceil(high_x));
    const int y0 = clamp(std::floor(low_y)), y1 = clamp(std::ceil(high_y));
    const auto tests =
        static_cast<std::uint64_t>(x1 - x0 + 1) * static_cast<std::uint64_t>(y1 - y0 + 1);
    if (tests > budget_) {
      ++left_out_;
      return;
    }
    budget_ -= tests;
    // The barycentric weights are linear in the pixel's position: stepped, not recomputed.
    const double inverse = 1.0 / area;
    const double w0_dx = (b.y - c.y) * inverse, w0_dy = (c.x - b.x) * inverse;
    const double w1_dx = (c.y - a.y) * inverse, w1_dy = (a.x - c.x) * inverse;
    const double w0_origin = (b.x * c.y - b.y * c.x) * inverse;
    const double w1_origin = (c.x * a.y - c.y * a.x) * inverse;
    for (int y = y0; y <= y1; ++y) {
      const double py = y + 0.5;
      for (int x = x0; x <= x1; ++x) {
        const double px = x + 0.5;
        const double w0 = w0_origin + w0_dx * px + w0_dy * py;
        if (w0 < 0) continue;
        const double w1 = w1_origin + w1_dx * px + w1_dy * py;
        const double w2 = 1.0 - w0 - w1;
        if (w1 < 0 || w2 < 0) continue;
        const double depth = w0 * a.depth + w1 * b.depth + w2 * c.depth;
        if (hidden(x, y, depth)) continue;  // shading a hidden pixel would be wasted
        unsigned char colour[3];
        colour_at(w0, w1, w2, colour);
        plot(x, y, depth, colour, alpha);
        ++plotted_;
      }
    }
  }

  // A 3 x 3 dot at the point, as deep as the point.
  void dot(const Projected& p, const unsigned char colour[3]) {
    // A vertex outside the frame (far from the rest) has no pixel; its position may not even
    // fit an int.
    const double limit = static_cast<double>(size_) + 1;
    if (!(p.x > -2 && p.x < limit && p.y > -2 && p.y < limit)) return;
    const int cx = static_cast<int>(p.x), cy = static_cast<int>(p.y);
    for (int y = cy - 1; y <= cy + 1; ++y) {
      for (int x = cx - 1; x <= cx + 1; ++x) {
        if (x >= 0 && y >= 0 && x < static_cast<int>(size_) && y < static_cast<int>(size_)) {
          plot(x, y, p.depth, colour);
        }
      }
    }
  }

  std::uint64_t plotted() const { return plotted_; }
  std::uint64_t left_out() const { return left_out_; }
  Picture take() { return std::move(picture_); }

 private:
  int clamp(double v) const {
    return static_cast<int>(std::clamp(v, 0.0, static_cast<double>(size_ - 1)));
  }
  bool hidden(int x, int y, double depth) const {
    return depth < depth_[static_cast<std::size_t>(y) * size_ + static_cast<std::size_t>(x)];
  }
  void plot(int x, int y, double depth, const unsigned char colour[3], double alpha = 1.0) {
    const std::size_t i = static_cast<std::size_t>(y) * size_ + static_cast<std::size_t>(x);
    if (depth < depth_[i]) return;
    unsigned char* pixel = &picture_.rgb[i * 3];
    if (alpha >= 1.0) {
      depth_[i] = depth;
      std::copy(colour, colour + 3, pixel);
      return;
    }
    // Blended in whole numbers: alpha in 256ths.
    const auto weight = static_cast<unsigned>(std::lround(alpha * 256));
    for (int k = 0; k < 3; ++k)
      pixel[k] =
          static_cast<unsigned char>((colour[k] * weight + pixel[k] * (256 - weight) + 128) >> 8);
  }

  std::uint32_t size_;
  std::uint64_t budget_;
  std::uint64_t plotted_ = 0;
  std::uint64_t left_out_ = 0;
  std::vector<double> depth_;
  Picture picture_;
};

}  // namespace model_unpack
