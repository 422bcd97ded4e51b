// Where the preview looks from and what it frames: the bulk of the model, leaving out the few
// vertices that lie far from the rest.
#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

#include "io/loop_calls.h"
#include "mesh/preview.h"

namespace model_unpack {

namespace {

// A float's place in increasing order as an unsigned key (-0 just below +0).
std::uint32_t order_key(float value) {
  std::uint32_t bits;
  std::memcpy(&bits, &value, 4);
  return (bits >> 31) != 0 ? ~bits : bits | 0x80000000u;
}

// A set of vertices, a bit each, walked in increasing order a word at a time: most of a large
// model's vertices may be outside it.
class VertexSet {
 public:
  VertexSet(std::size_t count, bool all) : words_((count + 63) / 64, all ? ~std::uint64_t{0} : 0) {
    if (all && count % 64 != 0) words_.back() = (std::uint64_t{1} << (count % 64)) - 1;
  }
  void add(std::size_t i) { words_[i / 64] |= std::uint64_t{1} << (i % 64); }
  void remove(std::size_t i) { words_[i / 64] &= ~(std::uint64_t{1} << (i % 64)); }
  std::size_t count() const {
    std::size_t count = 0;
    for (const std::uint64_t word : words_) count += static_cast<std::size_t>(std::popcount(word));
    return count;
  }
  // Hands each vertex of the set to `use`, in calls of 4,096 vertices.
  template <typename Use>
  void each(Use&& use) const {
    each_in_calls(std::size_t{0}, words_.size(), std::size_t{64}, [&](std::size_t w) {
      for (std::uint64_t bits = words_[w]; bits != 0; bits &= bits - 1)
        use(w * 64 + static_cast<std::size_t>(std::countr_zero(bits)));
    });
  }

 private:
  std::vector<std::uint64_t> words_;
};

using Quartiles = std::array<std::pair<double, double>, 3>;

// The quartiles of `values` (each axis's values of the set, in the order of the vertices).
std::pair<double, double> ordered_quartiles(std::vector<float>& values) {
  const std::size_t last = values.size() - 1;
  const auto low = values.begin() + static_cast<std::ptrdiff_t>(last / 4);
  const auto high = values.begin() + static_cast<std::ptrdiff_t>(last - last / 4);
  std::nth_element(values.begin(), low, values.end());
  const float lower = *low;
  // Everything past `low` is at least the lower quartile: the upper one lies among them.
  if (high > low) std::nth_element(low + 1, high, values.end());
  return {lower, *high};
}

// Each axis's quartiles over the `count` vertices of `set`, from all their values ordered.
Quartiles all_ordered_quartiles(const LargeArray<Vec3>& positions, const VertexSet& set,
                                std::size_t count) {
  std::array<std::vector<float>, 3> values;
  for (std::vector<float>& axis : values) axis.reserve(count);
  set.each([&](std::size_t i) {
    for (int k = 0; k < 3; ++k) values[k].push_back(positions[i][k]);
  });
  Quartiles quartiles;
  for (int k = 0; k < 3; ++k) quartiles[k] = ordered_quartiles(values[k]);
  return quartiles;
}

// Where the value of rank `rank` (from 0, in increasing order) lies, for values counted by the
// top 16 bits of their keys: the run of keys it is in, and its rank within the run.
std::pair<std::uint32_t, std::size_t> run_of_rank(const std::vector<std::uint32_t>& counts,
                                                  std::size_t rank) {
  std::uint32_t run = 0;
  while (rank >= counts[run]) rank -= counts[run++];
  return {run, rank};
}

// The same, from the counts of each axis's values by the top 16 bits of their keys: only the
// values of the runs of keys that hold the quartiles are gathered and ordered, not all of
// them. A small set's values are all ordered instead: the table of counts would be larger.
Quartiles quartiles_of(const LargeArray<Vec3>& positions, const VertexSet& set, std::size_t count) {
  constexpr std::size_t kRuns = std::size_t{1} << 16;
  if (count < kRuns) return all_ordered_quartiles(positions, set, count);
  std::array<std::vector<std::uint32_t>, 3> counts;
  for (std::vector<std::uint32_t>& axis : counts) axis.assign(kRuns, 0);
  set.each([&](std::size_t i) {
    for (int k = 0; k < 3; ++k) ++counts[k][order_key(positions[i][k]) >> 16];
  });
  // Per axis, the lower quartile's run and rank in it, then the upper's.
  const std::size_t last = count - 1;
  std::array<std::pair<std::uint32_t, std::size_t>, 6> places;
  std::array<std::vector<float>, 6> in_run;
  for (int k = 0; k < 3; ++k) {
    places[2 * k] = run_of_rank(counts[k], last / 4);
    places[2 * k + 1] = run_of_rank(counts[k], last - last / 4);
    for (int q = 2 * k; q < 2 * k + 2; ++q) in_run[q].reserve(counts[k][places[q].first]);
  }
  set.each([&](std::size_t i) {
    for (int q = 0; q < 6; ++q) {
      const float v = positions[i][q / 2];
      if (order_key(v) >> 16 == places[q].first) in_run[q].push_back(v);
    }
  });
  std::array<float, 6> value;
  for (int q = 0; q < 6; ++q) {
    const auto place = in_run[q].begin() + static_cast<std::ptrdiff_t>(places[q].second);
    std::nth_element(in_run[q].begin(), place, in_run[q].end());
    value[q] = *place;
  }
  return {{{value[0], value[1]}, {value[2], value[3]}, {value[4], value[5]}}};
}

// The vertices the picture frames: those of drawn triangles, or all when there is none.
VertexSet framed_vertices(const Mesh& mesh) {
  VertexSet framed(mesh.positions.size(), mesh.triangles.empty());
  for (const auto& t : mesh.triangles) {
    for (const std::uint16_t i : t) framed.add(i);
  }
  return framed;
}

// Takes out of `set` the vertices far from the rest: per axis, beyond ten times the largest
// interquartile spread from the quartiles of the set. Returns how many.
std::uint64_t leave_out_far_vertices(const LargeArray<Vec3>& positions, VertexSet& set) {
  const std::size_t count = set.count();
  if (count == 0) return 0;
  const Quartiles quartiles = quartiles_of(positions, set, count);
  double spread = 0;
  for (const auto& [low, high] : quartiles) spread = std::max(spread, high - low);
  if (spread == 0) return 0;
  std::uint64_t left_out = 0;
  set.each([&](std::size_t i) {
    for (int k = 0; k < 3; ++k) {
      const double v = positions[i][k];
      if (v < quartiles[k].first - 10 * spread || v > quartiles[k].second + 10 * spread) {
        set.remove(i);
        ++left_out;
        break;
      }
    }
  });
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
  VertexSet all(mesh.positions.size(), true);
  return leave_out_far_vertices(mesh.positions, all);
}

PreviewFrame frame_preview(const Mesh& mesh, std::uint32_t size) {
  PreviewFrame frame;
  look_from_three_quarters(frame);
  // A few vertices far from the rest must not shrink the picture of the rest.
  VertexSet framed = framed_vertices(mesh);
  frame.left_out = leave_out_far_vertices(mesh.positions, framed);

  constexpr double kMost = std::numeric_limits<double>::max();
  double low[3] = {kMost, kMost, kMost};
  double high[3] = {-kMost, -kMost, -kMost};
  framed.each([&](std::size_t i) {
    const Vec3& p = mesh.positions[i];
    const double seen[3] = {along(frame.right, p), along(frame.up, p), along(frame.forward, p)};
    for (int k = 0; k < 3; ++k) {
      low[k] = std::min(low[k], seen[k]);
      high[k] = std::max(high[k], seen[k]);
    }
  });
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
