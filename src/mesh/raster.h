// The preview's canvas: triangles filled pixel by pixel with a depth buffer, translucent ones
// blended over what they are in front of, and dots. Each triangle's pixel tests are counted
// against one budget, so a hostile model cannot make the picture take forever.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "io/large_array.h"
#include "mesh/preview.h"

namespace model_unpack {

struct Projected {
  double x, y, depth;  // pixels, and nearer is larger
};

// Rows of the picture, from `first` on.
struct Rows {
  std::uint32_t first, count;
};

// The order opaque triangles are given in. Drawn backwards, a pixel keeps what it has at an
// equal depth, so the picture is the same and a triangle hidden by a later one costs nothing.
// (A translucent triangle is blended over what is there: it can only be drawn in order.)
enum class Drawing { InOrder, Backwards };

// Draws into `rows` of a size x size picture, whose pixels from the first of those rows on are
// at `rgb` (three bytes each, rows top to bottom), filled with the background first. Every
// band of rows is given every triangle and counts it against its budget alike, so the bands of
// a picture, each drawn on a canvas of its own, are the picture.
class Canvas {
 public:
  Canvas(std::uint32_t size, std::uint64_t budget, const unsigned char background[3], Rows rows,
         unsigned char* rgb)
      : size_(size),
        first_row_(static_cast<int>(rows.first)),
        last_row_(static_cast<int>(rows.first + rows.count) - 1),
        budget_(budget),
        own_depth_(std::size_t{size} * rows.count),
        depth_(own_depth_.data()),
        rgb_(rgb) {
    start_over(budget, background);
  }

  // Back to the background and `budget`, as if nothing had been drawn.
  void start_over(std::uint64_t budget, const unsigned char background[3]) {
    const std::size_t pixels = std::size_t{size_} * static_cast<std::size_t>(rows());
    std::fill(depth_, depth_ + pixels, -std::numeric_limits<double>::infinity());
    for (std::size_t i = 0; i < pixels * 3; ++i) rgb_[i] = background[i % 3];
    budget_ = budget;
    plotted_ = left_out_ = 0;
    unordered_ = false;
  }

  // `rows` of `whole`, a canvas of the whole picture: drawing goes on over what it holds,
  // with `budget` pixel tests.
  Canvas(Canvas& whole, Rows rows, std::uint64_t budget)
      : size_(whole.size_),
        first_row_(static_cast<int>(rows.first)),
        last_row_(static_cast<int>(rows.first + rows.count) - 1),
        budget_(budget),
        depth_(whole.depth_ + std::size_t{rows.first} * size_),
        rgb_(whole.rgb_ + std::size_t{rows.first} * size_ * 3) {}

  // Takes each pixel that `later`, a canvas of the same rows given the triangles after this
  // one's, put down at least as near.
  void cover_with(const Canvas& later) {
    const std::size_t pixels = std::size_t{size_} * static_cast<std::size_t>(rows());
    for (std::size_t i = 0; i < pixels; ++i) {
      if (later.depth_[i] < depth_[i]) continue;
      depth_[i] = later.depth_[i];
      std::copy(later.rgb_ + i * 3, later.rgb_ + i * 3 + 3, rgb_ + i * 3);
    }
  }

  // Fills the triangle, unless its pixel tests would overrun the budget (then it is counted
  // as left out). `colour_at(w0, w1, w2, colour)` gives the colour at the barycentric weights
  // of a pixel, asked only for pixels that show. A translucent triangle (alpha below 1) is
  // flat, its colour asked once, and blended over what it is in front of, hiding nothing.
  template <Drawing kDrawing = Drawing::InOrder, typename ColourAt>
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
    if (y1 < first_row_ || y0 > last_row_) return;
    const Weights weights = weights_of(a, b, c, area);
    const Blend blend = blend_of(alpha);
    // Only the pixels whose centres lie in the triangle's box can show it; the others are left
    // untested where rounding provably cannot put them inside (see `box_is_safe`).
    const bool safe = box_is_safe(low_x, high_x, low_y, high_y, area);
    const Span columns = safe ? centres_in(x0, x1, low_x, high_x) : Span{x0, x1};
    const Span rows = safe ? centres_in(y0, y1, low_y, high_y) : Span{y0, y1};
    unsigned char flat[3] = {};
    if (!blend.opaque) colour_at(1.0 / 3, 1.0 / 3, 1.0 / 3, flat);
    for (int y = std::max(rows.first, first_row_); y <= std::min(rows.last, last_row_); ++y) {
      const double py = y + 0.5;
      // A wide triangle's row is cut to where it may lie: most of its box may be outside it.
      const Span run =
          columns.last - columns.first >= kWideRow ? row_span(weights, columns, py) : columns;
      const std::size_t row = at(0, y);
      if (!blend.opaque) {
        blend_run(run, row, py, weights, {a.depth, b.depth, c.depth}, flat, blend.weight);
        continue;
      }
      for (int x = run.first; x <= run.last; ++x) {
        const Sample at = sample(weights, {a.depth, b.depth, c.depth}, x + 0.5, py);
        // One branch on all four tests: a branch on each weight's sign is mispredicted at
        // every edge. A hidden pixel is not shaded.
        const std::size_t i = row + static_cast<std::size_t>(x);
        if (!(at.inside & shows<kDrawing>(at.depth, depth_[i]))) continue;
        unsigned char colour[3];
        colour_at(at.w0, at.w1, at.w2, colour);
        put(i, at.depth, colour);
        if constexpr (kDrawing == Drawing::Backwards) unordered_ |= at.depth != at.depth;
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
        if (x >= 0 && y >= first_row_ && x < static_cast<int>(size_) && y <= last_row_ &&
            shows<Drawing::InOrder>(p.depth, depth_[at(x, y)]))
          put(at(x, y), p.depth, colour);
      }
    }
  }

  std::uint64_t plotted() const { return plotted_; }
  std::uint64_t left_out() const { return left_out_; }
  std::uint32_t size() const { return size_; }
  std::uint64_t budget() const { return budget_; }
  // Whether a depth drawn backwards was not a number: such a depth is not ordered against
  // others, so only drawing in order gives the picture.
  bool unordered() const { return unordered_; }

 private:
  struct Span {
    int first, last;
  };
  // The barycentric weights of a and b are linear in the pixel's position (that of c is one
  // less both): w = origin + dx * px + dy * py, each pixel's worked out in that order.
  struct Weights {
    double w0_origin, w0_dx, w0_dy;
    double w1_origin, w1_dx, w1_dy;
  };
  static Weights weights_of(const Projected& a, const Projected& b, const Projected& c,
                            double area) {
    const double inverse = 1.0 / area;
    return {(b.x * c.y - b.y * c.x) * inverse, (b.y - c.y) * inverse, (c.x - b.x) * inverse,
            (c.x * a.y - c.y * a.x) * inverse, (c.y - a.y) * inverse, (a.x - c.x) * inverse};
  }
  // Rows this wide or wider are cut to the triangle; narrower ones cost less to test whole.
  static constexpr int kWideRow = 8;
  // The pixels of `columns` on the row at `py` whose weights may all be 0 or more. Each
  // weight is a line along the row; a pixel is left out only where the line is below
  // -4 x `slack` there, `slack` being far above the rounding in working out any weight of
  // the row (a few units in the last place of `scale`), so the pixel would fail its test.
  static Span row_span(const Weights& w, Span columns, double py) {
    const double far_x = std::max(std::abs(columns.first), std::abs(columns.last)) + 1.0;
    const double scale = 1 + std::abs(w.w0_origin) + std::abs(w.w0_dx) * far_x +
                         std::abs(w.w0_dy * py) + std::abs(w.w1_origin) +
                         std::abs(w.w1_dx) * far_x + std::abs(w.w1_dy * py);
    if (!std::isfinite(scale)) return columns;
    const double slack = 0x1p-40 * scale;
    // Each weight's value at px = 0 and its step along the row; the third is 1 - w0 - w1.
    const double at_zero[3] = {w.w0_origin + w.w0_dy * py, w.w1_origin + w.w1_dy * py,
                               1 - (w.w0_origin + w.w0_dy * py) - (w.w1_origin + w.w1_dy * py)};
    const double step[3] = {w.w0_dx, w.w1_dx, -w.w0_dx - w.w1_dx};
    double left = -std::numeric_limits<double>::infinity(), right = -left;
    for (int k = 0; k < 3; ++k) {
      if (step[k] == 0) {
        if (at_zero[k] < -2 * slack) return {columns.first, columns.first - 1};
        continue;
      }
      // Where the weight is -4 x slack.
      const double edge = (-4 * slack - at_zero[k]) / step[k];
      if (!std::isfinite(edge)) continue;
      if (step[k] > 0) left = std::max(left, edge);
      if (step[k] < 0) right = std::min(right, edge);
    }
    const double first = columns.first, last = columns.last;
    return {static_cast<int>(std::clamp(std::ceil(left - 0.5), first, last + 1)),
            static_cast<int>(std::clamp(std::floor(right - 0.5), first - 1, last))};
  }
  // Whether only the pixels whose centres lie within 1/4 pixel of the triangle's box need be
  // tested. A centre further out is outside the triangle by more than 1/4 pixel, so one of its
  // weights is below -1 / (8 x the triangle's extent); the rounding in the weights is at most
  // a few units in the last place times M^2 / |area|, M the largest coordinate involved. Not
  // unless that bound is far below (2^-34 of) the triangle's extent: a sliver or a triangle
  // reaching far out has every pixel of its box tested.
  bool box_is_safe(double low_x, double high_x, double low_y, double high_y, double area) const {
    const double most = std::max({std::abs(low_x), std::abs(high_x), std::abs(low_y),
                                  std::abs(high_y), static_cast<double>(size_) + 1});
    const double extent = (high_x - low_x) + (high_y - low_y) + 1;
    return std::abs(area) >= 0x1p-34 * most * most * extent;
  }
  // The pixels from `from` to `to` whose centres lie in [low - 1/4, high + 1/4].
  static Span centres_in(int from, int to, double low, double high) {
    return {static_cast<int>(std::clamp(std::ceil(low - 0.75), double(from), double(to) + 1)),
            static_cast<int>(std::clamp(std::floor(high - 0.25), double(from) - 1, double(to)))};
  }
  int clamp(double v) const {
    return static_cast<int>(std::clamp(v, 0.0, static_cast<double>(size_ - 1)));
  }
  std::size_t at(int x, int y) const {
    return static_cast<std::size_t>(y - first_row_) * size_ + static_cast<std::size_t>(x);
  }
  int rows() const { return last_row_ - first_row_ + 1; }
  // Whether a pixel at `depth` shows over one at `there`: in order, the later of two at an
  // equal depth shows; backwards, the earlier drawn (the later in order).
  template <Drawing kDrawing>
  static bool shows(double depth, double there) {
    if constexpr (kDrawing == Drawing::InOrder) return !(depth < there);
    return !(depth <= there);
  }
  // How a triangle's pixels are put down: opaque, or blended in whole numbers, alpha in 256ths.
  struct Blend {
    bool opaque;
    unsigned weight;
  };
  static Blend blend_of(double alpha) {
    return {alpha >= 1.0, alpha >= 1.0 ? 256u : static_cast<unsigned>(std::lround(alpha * 256))};
  }
  // Puts down an opaque pixel at `i`, which shows.
  void put(std::size_t i, double depth, const unsigned char colour[3]) {
    depth_[i] = depth;
    std::copy(colour, colour + 3, rgb_ + i * 3);
  }
  // A pixel's weights, whether they put it inside the triangle (a weight that is not a number
  // does not fail its test), and the depth there.
  struct Sample {
    double w0, w1, w2, depth;
    bool inside;
  };
  static Sample sample(const Weights& weights, const std::array<double, 3>& depths, double px,
                       double py) {
    const double w0 = weights.w0_origin + weights.w0_dx * px + weights.w0_dy * py;
    const double w1 = weights.w1_origin + weights.w1_dx * px + weights.w1_dy * py;
    const double w2 = 1.0 - w0 - w1;
    return {w0, w1, w2, w0 * depths[0] + w1 * depths[1] + w2 * depths[2],
            static_cast<bool>(!(w0 < 0) & !(w1 < 0) & !(w2 < 0))};
  }
  // Blends `colour` over the pixels of a run that the triangle is in front of, in 256ths of
  // `weight`. Each pixel of the run is written back, blended or as it was: no branch on
  // whether it shows, which big translucent triangles over a model mispredict.
  void blend_run(Span run, std::size_t row, double py, const Weights& weights,
                 const std::array<double, 3>& depths, const unsigned char colour[3],
                 unsigned weight) {
    const unsigned ink[3] = {colour[0] * weight + 128, colour[1] * weight + 128,
                             colour[2] * weight + 128};
    for (int x = run.first; x <= run.last; ++x) {
      const Sample at = sample(weights, depths, x + 0.5, py);
      const std::size_t i = row + static_cast<std::size_t>(x);
      const bool shown = at.inside & shows<Drawing::InOrder>(at.depth, depth_[i]);
      unsigned char* pixel = rgb_ + i * 3;
      for (int k = 0; k < 3; ++k) {
        const auto blended = static_cast<unsigned char>((ink[k] + pixel[k] * (256 - weight)) >> 8);
        pixel[k] = shown ? blended : pixel[k];
      }
      plotted_ += shown;
    }
  }

  std::uint32_t size_;
  int first_row_, last_row_;
  std::uint64_t budget_;
  std::uint64_t plotted_ = 0;
  std::uint64_t left_out_ = 0;
  bool unordered_ = false;
  LargeArray<double> own_depth_;  // none for rows of a whole canvas
  double* depth_;
  unsigned char* rgb_;
};

}  // namespace model_unpack
