// Where the preview looks from and what it frames: the bulk of the model, leaving out the few
// vertices that lie far from the rest.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <tuple>

#include "mesh/preview.h"

namespace model_unpack {

namespace {

// A float's place in increasing order as an unsigned key (-0 just below +0).
std::uint32_t order_key(float value) {
  std::uint32_t bits;
  std::memcpy(&bits, &value, 4);
  return (bits >> 31) != 0 ? ~bits : bits | 0x80000000u;
}

// The framed vertices' coordinates along one axis, as the quartiles are found from them.
struct Axis {
  const LargeArray<Vec3>& positions;
  const std::vector<bool>& framed;
  int k;

  template <typename Use>
  void each(Use&& use) const {
    for (std::size_t i = 0; i < positions.size(); ++i) {
      if (framed[i]) use(positions[i][k]);
    }
  }
};

// The value of rank `rank` (from 0, in increasing order) along `axis`, whose values' counts by
// the top 16 bits of their keys are `counts`: only the values of its run of keys are gathered
// and ordered, not all of them.
float value_of_rank(const Axis& axis, const std::vector<std::uint32_t>& counts, std::size_t rank) {
  std::uint32_t run = 0;
  while (rank >= counts[run]) rank -= counts[run++];
  std::vector<float> in_run;
  in_run.reserve(counts[run]);
  axis.each([&](float v) {
    if (order_key(v) >> 16 == run) in_run.push_back(v);
  });
  const auto place = in_run.begin() + static_cast<std::ptrdiff_t>(rank);
  std::nth_element(in_run.begin(), place, in_run.end());
  return *place;
}

// One axis's quartiles over its `count` values, from all of them ordered.
std::pair<double, double> ordered_quartiles(const Axis& axis, std::size_t count) {
  std::vector<float> values;
  values.reserve(count);
  axis.each([&](float v) { values.push_back(v); });
  const std::size_t last = count - 1;
  const auto low = values.begin() + static_cast<std::ptrdiff_t>(last / 4);
  const auto high = values.begin() + static_cast<std::ptrdiff_t>(last - last / 4);
  std::nth_element(values.begin(), low, values.end());
  const float lower = *low;
  // Everything past `low` is at least the lower quartile: the upper one lies among them.
  if (high > low) std::nth_element(low + 1, high, values.end());
  return {lower, *high};
}

// The same, from the counts of the values by the top bits of their keys. A small model's
// values are ordered instead: the table of counts would be larger than they are.
std::pair<double, double> quartiles(const Axis& axis, std::size_t count) {
  constexpr std::size_t kRuns = std::size_t{1} << 16;
  if (count < kRuns) return ordered_quartiles(axis, count);
  std::vector<std::uint32_t> counts(kRuns, 0);
  axis.each([&](float v) { ++counts[order_key(v) >> 16]; });
  const std::size_t last = count - 1;
  const float lower = value_of_rank(axis, counts, last / 4);
  return {lower, value_of_rank(axis, counts, last - last / 4)};
}

// The vertices the picture frames: those of drawn triangles, or all when there is none.
std::vector<bool> framed_vertices(const Mesh& mesh) {
  std::vector<bool> framed(mesh.positions.size(), mesh.triangles.empty());
  for (const auto& t : mesh.triangles) framed[t[0]] = framed[t[1]] = framed[t[2]] = true;
  return framed;
}

// Marks as not framed the vertices far from the rest: per axis, beyond ten times the largest
// interquartile spread from the quartiles of the framed vertices. Returns how many.
std::uint64_t leave_out_far_vertices(const LargeArray<Vec3>& positions, std::vector<bool>& framed) {
  const auto count = static_cast<std::size_t>(std::count(framed.begin(), framed.end(), true));
  if (count == 0) return 0;
  double low[3], high[3], spread = 0;
  for (int k = 0; k < 3; ++k) {
    std::tie(low[k], high[k]) = quartiles(Axis{positions, framed, k}, count);
    spread = std::max(spread, high[k] - low[k]);
  }
  if (spread == 0) return 0;
  std::uint64_t left_out = 0;
  for (std::size_t i = 0; i < positions.size(); ++i) {
    if (!framed[i]) continue;
    for (int k = 0; k < 3; ++k) {
      const double v = positions[i][k];
      if (v < low[k] - 10 * spread || v > high[k] + 10 * spread) {
        framed[i] = false;
        ++left_out;
        break;
      }
    }
  }
  return left_out;
}

// From the front-right, above: the camera looks along -forward; y is up, z is the front.
void look_from_three_quarters(PreviewFrame& frame) {
  const double f[3] = {0.6, 0.45, 0.66};  // the viewer's direction, not yet unit length
  const double fl = std::sqrt(f[0] * f[0] + f[1] * f[1] + f[2] * f[2]);
  for (int k = 0; k < 3; ++k) frame.forward[k] = f[k] / fl;
  // right = world up x forward, normalised; up = forward x right.
  const double r[3] = {frame.forward[2], 0.0, -frame.forward[0]};
  const double rl = std::sqrt(r[0] * r[0] + r[2] * r[2]);
  for (int k = 0; k < 3; ++k) frame.right[k] = r[k] / rl;
  frame.up[0] = frame.forward[1] * frame.right[2] - frame.forward[2] * frame.right[1];
  frame.up[1] = frame.forward[2] * frame.right[0] - frame.forward[0] * frame.right[2];
  frame.up[2] = frame.forward[0] * frame.right[1] - frame.forward[1] * frame.right[0];
}

}  // namespace

double along(const double axis[3], const Vec3& p) {
  return axis[0] * p[0] + axis[1] * p[1] + axis[2] * p[2];
}

std::uint64_t far_vertex_count(const Mesh& mesh) {
  std::vector<bool> all(mesh.positions.size(), true);
  return leave_out_far_vertices(mesh.positions, all);
}

PreviewFrame frame_preview(const Mesh& mesh, std::uint32_t size) {
  PreviewFrame frame;
  look_from_three_quarters(frame);
  // A few vertices far from the rest must not shrink the picture of the rest.
  std::vector<bool> framed = framed_vertices(mesh);
  frame.left_out = leave_out_far_vertices(mesh.positions, framed);

  constexpr double kMost = std::numeric_limits<double>::max();
  double low[3] = {kMost, kMost, kMost};
  double high[3] = {-kMost, -kMost, -kMost};
  for (std::size_t i = 0; i < mesh.positions.size(); ++i) {
    if (!framed[i]) continue;
    const Vec3& p = mesh.positions[i];
    const double seen[3] = {along(frame.right, p), along(frame.up, p), along(frame.forward, p)};
    for (int k = 0; k < 3; ++k) {
      low[k] = std::min(low[k], seen[k]);
      high[k] = std::max(high[k], seen[k]);
    }
  }
  const double margin = 0.06 * size;
  const double extent = std::max({high[0] - low[0], high[1] - low[1], 1e-30});
  frame.scale = (size - 2 * margin) / extent;
  frame.centre[0] = (low[0] + high[0]) / 2;
  frame.centre[1] = (low[1] + high[1]) / 2;
  if (low[2] <= high[2]) {
    frame.depth[0] = low[2];
    frame.depth[1] = high[2];
  }
  return frame;
}

}  // namespace model_unpack
