// The preview picture: the model's triangles lit as a glTF viewer lights the glb, the collision
// bodies translucent over them, and dots where triangles show nothing.
#include "mesh/preview.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <exception>
#include <optional>

#include "io/loop_calls.h"
#include "io/out_of_memory.h"
#include "io/threads.h"
#include "mesh/palette.h"
#include "mesh/raster.h"

namespace model_unpack {

namespace {

constexpr unsigned char kBackground[3] = {236, 238, 241};

unsigned char to_byte(double fraction) {
  return static_cast<unsigned char>(std::lround(std::clamp(fraction, 0.0, 1.0) * 255));
}

// A linear light value as an sRGB byte, from a table: the transfer function's pow() per pixel
// took most of the picture's time. The table's steps are far finer than a byte's.
unsigned char srgb_byte(double linear) {
  static constexpr std::size_t kSteps = 65535;
  static const std::vector<unsigned char> table = [] {
    std::vector<unsigned char> bytes(kSteps + 1);
    for (std::size_t i = 0; i <= kSteps; ++i)
      bytes[i] = to_byte(linear_to_srgb(static_cast<double>(i) / kSteps));
    return bytes;
  }();
  return table[static_cast<std::size_t>(std::clamp(linear, 0.0, 1.0) * kSteps + 0.5)];
}

// Light as a glTF viewer gets it: ambient and one directional light, in linear units.
constexpr double kAmbientLight = 0.35;
constexpr double kDirectionalLight = 0.65;
constexpr double kLight[3] = {0.45, 0.8, 0.4};  // towards the light
// The drawing budget: pixel tests per pixel of the picture and per triangle of the model.
constexpr std::uint64_t kPixelTestsPerPixel = 64;
constexpr std::uint64_t kPixelTestsPerTriangle = 32;

// How one triangle is lit, as a two-sided material is: its normal (the face's, or the vertices'
// interpolated when the model has them) turned towards the viewer. Worked out at the first
// pixel that shows, so a triangle hidden or too small to cover a pixel costs no shading.
class Shader {
 public:
  Shader(const PreviewFrame& frame, const Vec3* corners[3], const Vec3* normals[3],
         const Vec3& linear)
      : frame_(frame),
        corners_{corners[0], corners[1], corners[2]},
        normals_{normals[0], normals[1], normals[2]},
        linear_(linear) {}

  void operator()(double w0, double w1, double w2, unsigned char colour[3]) {
    if (!ready_) prepare();
    if (normals_[0] == nullptr) {
      std::copy(flat_, flat_ + 3, colour);
      return;
    }
    double n[3];
    for (int k = 0; k < 3; ++k) {
      n[k] = w0 * (*normals_[0])[k] + w1 * (*normals_[1])[k] + w2 * (*normals_[2])[k];
    }
    shade(n, colour);
  }

 private:
  void prepare() {
    const Vec3& a = *corners_[0];
    const Vec3& b = *corners_[1];
    const Vec3& c = *corners_[2];
    const double u[3] = {double{b[0]} - a[0], double{b[1]} - a[1], double{b[2]} - a[2]};
    const double v[3] = {double{c[0]} - a[0], double{c[1]} - a[1], double{c[2]} - a[2]};
    const double face[3] = {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2],
                            u[0] * v[1] - u[1] * v[0]};
    const double* forward = frame_.forward;
    facing_ = face[0] * forward[0] + face[1] * forward[1] + face[2] * forward[2] < 0 ? -1.0 : 1.0;
    // Flat: one colour for the whole face.
    if (normals_[0] == nullptr) shade(face, flat_);
    ready_ = true;
  }

  void shade(const double n[3], unsigned char colour[3]) const {
    static const double light_length =
        std::sqrt(kLight[0] * kLight[0] + kLight[1] * kLight[1] + kLight[2] * kLight[2]);
    const double length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    const double cosine = length > 0 && std::isfinite(length)
                              ? facing_ * (n[0] * kLight[0] + n[1] * kLight[1] + n[2] * kLight[2]) /
                                    (length * light_length)
                              : 0.0;
    const double light = kAmbientLight + kDirectionalLight * std::max(cosine, 0.0);
    for (int k = 0; k < 3; ++k) colour[k] = srgb_byte(linear_[k] * light);
  }

  const PreviewFrame& frame_;
  const Vec3* corners_[3];
  const Vec3* normals_[3];  // null: flat
  const Vec3& linear_;
  bool ready_ = false;
  double facing_ = 1.0;
  unsigned char flat_[3] = {};
};

Projected project(const Vec3& p, const PreviewFrame& frame, std::uint32_t size) {
  return Projected{size / 2.0 + (along(frame.right, p) - frame.centre[0]) * frame.scale,
                   size / 2.0 - (along(frame.up, p) - frame.centre[1]) * frame.scale,
                   along(frame.forward, p)};
}

Vec3 group_colour(const Mesh& mesh, const Mesh::Group& group) {
  return linear_colour(
      group.material >= 0
          ? material_colour(mesh.materials[static_cast<std::size_t>(group.material)].number)
          : kNoMaterialColour);
}

// The model's triangle `t` in its group's colour; each vertex projected once. A call of its
// own, for a WebAssembly engine's optimised code (see io/loop_calls.h).
template <Drawing kDrawing>
[[gnu::noinline]] void draw_triangle(const Mesh& mesh, const PreviewFrame& frame,
                                     const LargeArray<Projected>& seen, std::uint32_t t,
                                     const Vec3& colour, Canvas& canvas) {
  const auto& [i, j, k] = mesh.triangles[t];
  const Vec3* corners[3] = {&mesh.positions[i], &mesh.positions[j], &mesh.positions[k]};
  const Vec3* normals[3] = {nullptr, nullptr, nullptr};
  if (!mesh.normals.empty())
    normals[0] = &mesh.normals[i], normals[1] = &mesh.normals[j], normals[2] = &mesh.normals[k];
  canvas.triangle<kDrawing>(seen[i], seen[j], seen[k], Shader(frame, corners, normals, colour));
}

// The model's triangles in order, group by group.
void draw_model(const Mesh& mesh, const PreviewFrame& frame, const LargeArray<Projected>& seen,
                Canvas& canvas) {
  for (const Mesh::Group& group : mesh.groups) {
    const Vec3 colour = group_colour(mesh, group);
    for (std::uint32_t t = group.first; t < group.first + group.count; ++t)
      draw_triangle<Drawing::InOrder>(mesh, frame, seen, t, colour, canvas);
  }
}

// Pixel tests spent by shares of the model's triangles drawn at once, against one budget.
class SharedBudget {
 public:
  explicit SharedBudget(std::uint64_t budget) : budget_(budget) {}
  // False once the shares together have spent more than the budget.
  bool spend(std::uint64_t tests) { return spent_.fetch_add(tests) + tests <= budget_; }
  std::uint64_t left() const { return budget_ - spent_.load(); }

 private:
  const std::uint64_t budget_;
  std::atomic<std::uint64_t> spent_{0};
};

// Triangles from `first` to before `end`, in the order drawn.
struct Share {
  std::uint32_t first, end;
};

// A share of the model's triangles, backwards, on a canvas given the whole budget: false, ended
// early, once the shares together spend more than the budget (drawn in order, some triangle
// would then be left out).
bool draw_share(const Mesh& mesh, const PreviewFrame& frame, const LargeArray<Projected>& seen,
                Share share, Canvas& canvas, SharedBudget& shared) {
  // Tallied often enough that the shares together overrun the budget by little before they
  // stop: a hostile model's run is drawn again in order then.
  constexpr std::uint32_t kTrianglesBetweenTallies = 256;
  constexpr std::uint64_t kTestsBetweenTallies = 1 << 16;
  std::uint64_t tallied = canvas.budget();
  const auto tally = [&] {
    const std::uint64_t spent = tallied - canvas.budget();
    tallied = canvas.budget();
    return shared.spend(spent) && canvas.left_out() == 0;
  };
  std::uint32_t untallied = 0;
  for (auto group = mesh.groups.rbegin(); group != mesh.groups.rend(); ++group) {
    const std::uint32_t first = std::max(group->first, share.first);
    const std::uint32_t end = std::min(group->first + group->count, share.end);
    const Vec3 colour = group_colour(mesh, *group);
    for (std::uint32_t t = end; t > first; --t) {
      draw_triangle<Drawing::Backwards>(mesh, frame, seen, t - 1, colour, canvas);
      if (++untallied < kTrianglesBetweenTallies &&
          tallied - canvas.budget() < kTestsBetweenTallies && canvas.left_out() == 0)
        continue;
      untallied = 0;
      if (!tally()) return false;
    }
  }
  return tally();
}

// Collision bodies over the model, translucent, as a viewer blends them.
void draw_bodies(const Mesh& mesh, const PreviewFrame& frame, std::uint32_t size, Canvas& canvas) {
  const Vec3 colour = linear_colour(kCollisionBodyColour);
  for (const CollisionBody& body : mesh.bodies) {
    for (std::size_t i = 0; i + 2 < body.points.size(); i += 3) {
      const Vec3* corners[3] = {&body.points[i], &body.points[i + 1], &body.points[i + 2]};
      const Vec3* flat[3] = {nullptr, nullptr, nullptr};
      canvas.triangle(project(*corners[0], frame, size), project(*corners[1], frame, size),
                      project(*corners[2], frame, size), Shader(frame, corners, flat, colour),
                      kCollisionBodyAlpha);
    }
  }
}

// Where `count` bands of rows as tall as each other end (one past their last row).
std::vector<std::uint32_t> even_band_ends(std::uint32_t size, unsigned count) {
  std::vector<std::uint32_t> ends;
  for (unsigned band = 1; band <= count; ++band)
    ends.push_back(static_cast<std::uint32_t>(std::uint64_t{size} * band / count));
  return ends;
}

// Where `count` bands of rows end (one past their last row), so that about as many triangles
// start in each: judged from every 16th triangle's first corner.
std::vector<std::uint32_t> band_ends(const Mesh& mesh, const LargeArray<Projected>& seen,
                                     std::uint32_t size, unsigned count) {
  std::vector<std::uint64_t> per_row(size, 1);  // a row without triangles still counts a little
  for (std::size_t t = 0; t < mesh.triangles.size(); t += 16) {
    const double y = seen[mesh.triangles[t][0]].y;
    if (y >= 0 && y < size) ++per_row[static_cast<std::size_t>(y)];
  }
  std::uint64_t total = 0;
  for (const std::uint64_t n : per_row) total += n;
  std::vector<std::uint32_t> ends;
  std::uint64_t so_far = 0;
  for (std::uint32_t row = 0; row < size && ends.size() + 1 < count; ++row) {
    so_far += per_row[row];
    if (so_far * count >= total * (ends.size() + 1)) ends.push_back(row + 1);
  }
  ends.push_back(size);
  return ends;
}

// Runs `work(k)` for each k below `count` at once, on threads of their own where they can be
// had; a failure (no memory) in any is raised here once all have ended.
template <typename Work>
void at_once(std::size_t count, const Work& work) {
  std::vector<std::exception_ptr> failures(count);
  {
    std::vector<WorkerThread> workers(count);
    for (std::size_t k = 1; k < count; ++k) {
      const auto run = [&, k] { keeping_failure([&] { work(k); }, failures[k]); };
      if (!workers[k].start(run)) run();
    }
    keeping_failure([&] { work(0); }, failures[0]);
  }
  for (const std::exception_ptr& failure : failures) raise_kept(failure);
}

// The picture in bands of rows of a whole canvas, drawn at once.
class Bands {
 public:
  Bands(Canvas& whole, std::uint64_t budget, const std::vector<std::uint32_t>& ends) {
    canvases_.reserve(ends.size());
    std::uint32_t first = 0;
    for (const std::uint32_t end : ends) {
      canvases_.emplace_back(whole, Rows{first, end - first}, budget);
      first = end;
    }
  }

  template <typename Draw>
  void draw(const Draw& draw) {
    at_once(canvases_.size(), [&](std::size_t band) { draw(canvases_[band]); });
  }

  std::uint64_t plotted() const {
    std::uint64_t plotted = 0;
    for (const Canvas& canvas : canvases_) plotted += canvas.plotted();
    return plotted;
  }

  // The same in every band.
  std::uint64_t left_out() const { return canvases_[0].left_out(); }

 private:
  std::vector<Canvas> canvases_;
};

// Each share's own picture costs a whole canvas: more shares than fit in this are not drawn
// at once.
constexpr std::size_t kSharesMemory = std::size_t{12} << 20;

// How many shares of the triangles to draw at once.
unsigned share_count(std::uint32_t size, unsigned threads) {
  const std::size_t canvas = std::size_t{size} * size * (sizeof(double) + 3);
  return static_cast<unsigned>(std::min<std::size_t>(threads, 1 + kSharesMemory / canvas));
}

struct ModelDrawn {
  std::uint64_t budget_left, plotted;
};

// The model's triangles in `count` shares at once, each drawn backwards on a picture of its own
// (the first on `whole`), the later shares laid over the earlier: the picture that drawing them
// in order gives. Nothing when drawing in order would leave a triangle out or a depth is not a
// number: `whole` is then to be drawn afresh.
std::optional<ModelDrawn> draw_model_in_shares(const Mesh& mesh, const PreviewFrame& frame,
                                               const LargeArray<Projected>& seen, unsigned count,
                                               Canvas& whole) {
  const std::uint32_t size = whole.size();
  std::vector<std::vector<unsigned char>> pictures(count - 1);
  std::vector<Canvas> canvases;
  canvases.reserve(count - 1);
  for (std::vector<unsigned char>& rgb : pictures) {
    rgb.resize(std::size_t{size} * size * 3);
    canvases.emplace_back(size, whole.budget(), kBackground, Rows{0, size}, rgb.data());
  }
  const auto triangles = static_cast<std::uint64_t>(mesh.triangles.size());
  SharedBudget shared(whole.budget());
  std::vector<char> whole_share(count);
  at_once(count, [&](std::size_t k) {
    const Share share{static_cast<std::uint32_t>(triangles * k / count),
                      static_cast<std::uint32_t>(triangles * (k + 1) / count)};
    Canvas& canvas = k == 0 ? whole : canvases[k - 1];
    whole_share[k] = draw_share(mesh, frame, seen, share, canvas, shared) && !canvas.unordered();
  });
  if (std::count(whole_share.begin(), whole_share.end(), 0) > 0) return std::nullopt;
  ModelDrawn drawn{shared.left(), whole.plotted()};
  for (const Canvas& later : canvases) {
    whole.cover_with(later);
    drawn.plotted += later.plotted();
  }
  return drawn;
}

struct ModelOnCanvas {
  Bands bands;  // for what is drawn over the model
  std::uint64_t plotted;
};

// The model's triangles on `whole`, a fresh canvas given `budget`: in shares where that gives
// the picture drawing them in order gives, in order in bands of rows otherwise.
ModelOnCanvas draw_model_on(Canvas& whole, std::uint64_t budget, const Mesh& mesh,
                            const PreviewFrame& frame, const LargeArray<Projected>& seen,
                            unsigned threads) {
  const std::uint32_t size = whole.size();
  threads = std::clamp(threads, 1u, size);
  if (const auto drawn =
          draw_model_in_shares(mesh, frame, seen, share_count(size, threads), whole)) {
    // Only the bodies and dots are left, over the whole picture.
    return {Bands(whole, drawn->budget_left, even_band_ends(size, threads)), drawn->plotted};
  }
  whole.start_over(budget, kBackground);
  Bands in_order(whole, budget, band_ends(mesh, seen, size, threads));
  in_order.draw([&](Canvas& canvas) { draw_model(mesh, frame, seen, canvas); });
  const std::uint64_t plotted = in_order.plotted();
  return {std::move(in_order), plotted};
}

}  // namespace

Picture render_preview(const Mesh& mesh, std::uint32_t size, unsigned threads) {
  if (mesh.positions.empty()) return {};
  const PreviewFrame frame = frame_preview(mesh, size);
  // The triangles name the vertices up to the largest index only (a model may hold many more):
  // the rest are projected only if they are to be dots.
  LargeArray<Projected> seen;
  const auto project_up_to = [&](std::size_t end) {
    seen.reserve(end);
    each_in_calls(seen.size(), end, std::size_t{4096},
                  [&](std::size_t i) { seen.push_back(project(mesh.positions[i], frame, size)); });
  };
  project_up_to(mesh.triangles.empty() ? 0 : std::size_t{mesh.largest_index()} + 1);

  // A hostile model can pile up huge overlapping triangles: the pixel tests are bounded by the
  // picture's size and the model's, and what does not fit is left out of the picture (and said).
  const std::uint64_t budget =
      kPixelTestsPerPixel * size * size +
      kPixelTestsPerTriangle * (mesh.triangles.size() + mesh.body_triangle_count());
  Picture picture{size, std::vector<unsigned char>(std::size_t{size} * size * 3), 0, 0};
  Canvas whole(size, budget, kBackground, Rows{0, size}, picture.rgb.data());
  auto [bands, plotted] = draw_model_on(whole, budget, mesh, frame, seen, threads);
  // Vertices without triangles, or whose triangles cover no pixel, are shown as dots.
  if (plotted == 0) {
    unsigned char ink[3];
    for (int k = 0; k < 3; ++k) ink[k] = to_byte(kPointColour[k]);
    project_up_to(mesh.positions.size());
    bands.draw([&](Canvas& canvas) {
      for (const Projected& p : seen) canvas.dot(p, ink);
    });
  }
  bands.draw([&](Canvas& canvas) { draw_bodies(mesh, frame, size, canvas); });
  picture.triangles_not_drawn = bands.left_out();
  picture.vertices_outside = frame.left_out;
  return picture;
}

}  // namespace model_unpack
