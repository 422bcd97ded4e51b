// The preview picture: the model's triangles lit as a glTF viewer lights the glb, the collision
// bodies translucent over them, and dots where triangles show nothing.
#include "mesh/preview.h"

#include <algorithm>
#include <cmath>
#include <exception>

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

// The model's triangles, group by group in its material's colour; each vertex projected once.
void draw_model(const Mesh& mesh, const PreviewFrame& frame, const LargeArray<Projected>& seen,
                Canvas& canvas) {
  const bool smooth = !mesh.normals.empty();
  for (const Mesh::Group& group : mesh.groups) {
    const Vec3 base = linear_colour(
        group.material >= 0
            ? material_colour(mesh.materials[static_cast<std::size_t>(group.material)].number)
            : kNoMaterialColour);
    for (std::uint32_t t = group.first; t < group.first + group.count; ++t) {
      const auto& [i, j, k] = mesh.triangles[t];
      const Vec3* corners[3] = {&mesh.positions[i], &mesh.positions[j], &mesh.positions[k]};
      const Vec3* normals[3] = {nullptr, nullptr, nullptr};
      if (smooth)
        normals[0] = &mesh.normals[i], normals[1] = &mesh.normals[j], normals[2] = &mesh.normals[k];
      canvas.triangle(seen[i], seen[j], seen[k], Shader(frame, corners, normals, base));
    }
  }
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

// The picture in bands of rows, each drawn on a thread of its own where one can be had.
class Bands {
 public:
  Bands(std::uint32_t size, std::uint64_t budget, const std::vector<std::uint32_t>& ends) {
    picture_.size = size;
    picture_.rgb.resize(std::size_t{size} * size * 3);
    canvases_.reserve(ends.size());
    std::uint32_t first = 0;
    for (const std::uint32_t end : ends) {
      canvases_.emplace_back(size, budget, kBackground, Rows{first, end - first},
                             picture_.rgb.data() + std::size_t{first} * size * 3);
      first = end;
    }
  }

  // Runs `draw(canvas)` on every band at once; a failure (no memory) on any is raised here
  // once all have ended.
  template <typename Draw>
  void draw(const Draw& draw) {
    std::vector<std::exception_ptr> failures(canvases_.size());
    {
      std::vector<WorkerThread> workers(canvases_.size());
      for (std::size_t band = 1; band < canvases_.size(); ++band) {
        const auto work = [&, band] {
          keeping_failure([&] { draw(canvases_[band]); }, failures[band]);
        };
        if (!workers[band].start(work)) work();
      }
      keeping_failure([&] { draw(canvases_[0]); }, failures[0]);
    }
    for (const std::exception_ptr& failure : failures) raise_kept(failure);
  }

  std::uint64_t plotted() const {
    std::uint64_t plotted = 0;
    for (const Canvas& canvas : canvases_) plotted += canvas.plotted();
    return plotted;
  }

  // The triangles left out are the same in every band.
  Picture take() {
    picture_.triangles_not_drawn = canvases_[0].left_out();
    return std::move(picture_);
  }

 private:
  Picture picture_;
  std::vector<Canvas> canvases_;  // after the picture they draw into
};

}  // namespace

Picture render_preview(const Mesh& mesh, std::uint32_t size, unsigned threads) {
  if (mesh.positions.empty()) return {};
  const PreviewFrame frame = frame_preview(mesh, size);
  // The triangles name the vertices up to the largest index only (a model may hold many more):
  // the rest are projected only if they are to be dots.
  LargeArray<Projected> seen;
  const auto project_up_to = [&](std::size_t end) {
    seen.reserve(end);
    for (std::size_t i = seen.size(); i < end; ++i)
      seen.push_back(project(mesh.positions[i], frame, size));
  };
  project_up_to(mesh.triangles.empty() ? 0 : std::size_t{mesh.largest_index()} + 1);

  // A hostile model can pile up huge overlapping triangles: the pixel tests are bounded by the
  // picture's size and the model's, and what does not fit is left out of the picture (and said).
  const std::uint64_t budget =
      kPixelTestsPerPixel * size * size +
      kPixelTestsPerTriangle * (mesh.triangles.size() + mesh.body_triangle_count());
  Bands bands(size, budget, band_ends(mesh, seen, size, std::clamp(threads, 1u, size)));
  bands.draw([&](Canvas& canvas) { draw_model(mesh, frame, seen, canvas); });
  // Vertices without triangles, or whose triangles cover no pixel, are shown as dots.
  if (bands.plotted() == 0) {
    unsigned char ink[3];
    for (int k = 0; k < 3; ++k) ink[k] = to_byte(kPointColour[k]);
    project_up_to(mesh.positions.size());
    bands.draw([&](Canvas& canvas) {
      for (const Projected& p : seen) canvas.dot(p, ink);
    });
  }
  bands.draw([&](Canvas& canvas) { draw_bodies(mesh, frame, size, canvas); });
  Picture picture = bands.take();
  picture.vertices_outside = frame.left_out;
  return picture;
}

}  // namespace model_unpack
