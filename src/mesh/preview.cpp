#include "mesh/preview.h"

// One encoder in every build, the WebAssembly one included: a single header of Debian's.
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#define STBI_WRITE_NO_STDIO
#include <stb/stb_image_write.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <system_error>
#include <tuple>

#include "io/threads.h"
#include "mesh/palette.h"

namespace model_unpack {

namespace {

struct View {
  // From the front-right, above: the camera looks along -forward; y is up, z is the front.
  double right[3];
  double up[3];
  double forward[3];  // towards the viewer
};

View three_quarter_view() {
  const double f[3] = {0.6, 0.45, 0.66};  // the viewer's direction, not yet unit length
  const double fl = std::sqrt(f[0] * f[0] + f[1] * f[1] + f[2] * f[2]);
  View v{};
  for (int k = 0; k < 3; ++k) v.forward[k] = f[k] / fl;
  // right = world up x forward, normalised; up = forward x right.
  const double r[3] = {v.forward[2], 0.0, -v.forward[0]};
  const double rl = std::sqrt(r[0] * r[0] + r[2] * r[2]);
  for (int k = 0; k < 3; ++k) v.right[k] = r[k] / rl;
  v.up[0] = v.forward[1] * v.right[2] - v.forward[2] * v.right[1];
  v.up[1] = v.forward[2] * v.right[0] - v.forward[0] * v.right[2];
  v.up[2] = v.forward[0] * v.right[1] - v.forward[1] * v.right[0];
  return v;
}

double dot(const double a[3], const Vec3& b) {
  return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

struct Projected {
  double x, y, depth;  // pixels, and nearer is larger
};

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
constexpr std::uint64_t kPixelTestsPerPixel = 64;
constexpr std::uint64_t kPixelTestsPerTriangle = 32;

// The rows of the picture one thread draws (every row, or every other one), with its share of
// the drawing budget and the count of pixels it drew. Threads draw disjoint rows of one canvas.
struct Rows {
  int parity;  // the rows y with y % step == parity
  int step;
  mutable std::uint64_t budget;
  mutable std::uint64_t plotted = 0;
};

class Canvas {
 public:
  explicit Canvas(std::uint32_t size)
      : size_(size), depth_(std::size_t{size} * size, -std::numeric_limits<double>::infinity()) {
    picture_.size = size;
    picture_.rgb.resize(std::size_t{size} * size * 3);
    for (std::size_t i = 0; i < picture_.rgb.size(); ++i) picture_.rgb[i] = kBackground[i % 3];
  }

  // Draws the triangle unless its pixel tests would overrun `budget`; false then.
  // `colour_at(w0, w1, w2, colour)` gives the colour at the barycentric weights of a pixel. A
  // translucent triangle (alpha below 1) is blended over what it is in front of and hides
  // nothing.
  template <typename ColourAt>
  bool triangle(const Projected& a, const Projected& b, const Projected& c, const Rows& rows,
                ColourAt&& colour_at, double alpha = 1.0) {
    const double area = (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
    if (area == 0.0 || !std::isfinite(area)) return true;
    const int x0 = clamp(std::floor(std::min({a.x, b.x, c.x})));
    const int x1 = clamp(std::ceil(std::max({a.x, b.x, c.x})));
    int y0 = clamp(std::floor(std::min({a.y, b.y, c.y})));
    const int y1 = clamp(std::ceil(std::max({a.y, b.y, c.y})));
    if (y0 % rows.step != rows.parity) ++y0;
    if (y0 > y1) return true;
    const auto tests = static_cast<std::uint64_t>(x1 - x0 + 1) *
                       static_cast<std::uint64_t>((y1 - y0) / rows.step + 1);
    if (tests > rows.budget) return false;
    rows.budget -= tests;
    // The barycentric weights are linear in the pixel's position: stepped, not recomputed.
    const double inverse = 1.0 / area;
    const double w0_dx = (b.y - c.y) * inverse, w0_dy = (c.x - b.x) * inverse;
    const double w1_dx = (c.y - a.y) * inverse, w1_dy = (a.x - c.x) * inverse;
    const double w0_origin = (b.x * c.y - b.y * c.x) * inverse;
    const double w1_origin = (c.x * a.y - c.y * a.x) * inverse;
    for (int y = y0; y <= y1; y += rows.step) {
      const double py = y + 0.5;
      for (int x = x0; x <= x1; ++x) {
        const double px = x + 0.5;
        const double w0 = w0_origin + w0_dx * px + w0_dy * py;
        const double w1 = w1_origin + w1_dx * px + w1_dy * py;
        const double w2 = 1.0 - w0 - w1;
        if (w0 < 0 || w1 < 0 || w2 < 0) continue;
        const double depth = w0 * a.depth + w1 * b.depth + w2 * c.depth;
        if (hidden(x, y, depth)) continue;  // shading a hidden pixel would be wasted
        unsigned char colour[3];
        colour_at(w0, w1, w2, colour);
        plot(x, y, depth, colour, alpha);
        ++rows.plotted;
      }
    }
    return true;
  }

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
  std::vector<double> depth_;
  Picture picture_;
};

// One axis's quartiles, from a copy of its values.
std::pair<double, double> quartiles(std::vector<float> values) {
  const auto at = [&](std::size_t rank) {
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(rank),
                     values.end());
    return static_cast<double>(values[rank]);
  };
  const std::size_t last = values.size() - 1;
  return {at(last / 4), at(last - last / 4)};
}

// The vertices the picture frames: those of drawn triangles, or all when there is none.
std::vector<bool> framed_vertices(const Mesh& mesh) {
  std::vector<bool> framed(mesh.positions.size(), mesh.triangles.empty());
  for (const auto& t : mesh.triangles) framed[t[0]] = framed[t[1]] = framed[t[2]] = true;
  return framed;
}

// Marks as not framed the vertices far from the rest: per axis, beyond ten times the largest
// interquartile spread from the quartiles of the framed vertices. Returns how many.
std::uint64_t leave_out_far_vertices(const std::vector<Vec3>& positions,
                                     std::vector<bool>& framed) {
  std::vector<float> axis;
  double low[3], high[3], spread = 0;
  for (int k = 0; k < 3; ++k) {
    axis.clear();
    for (std::size_t i = 0; i < positions.size(); ++i) {
      if (framed[i]) axis.push_back(positions[i][k]);
    }
    if (axis.empty()) return 0;
    std::tie(low[k], high[k]) = quartiles(std::move(axis));
    axis = {};
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

}  // namespace

std::uint64_t far_vertex_count(const Mesh& mesh) {
  std::vector<bool> all(mesh.positions.size(), true);
  return leave_out_far_vertices(mesh.positions, all);
}

PreviewFrame frame_preview(const Mesh& mesh, std::uint32_t size) {
  PreviewFrame frame;
  const View view = three_quarter_view();
  for (int k = 0; k < 3; ++k) {
    frame.right[k] = view.right[k];
    frame.up[k] = view.up[k];
    frame.forward[k] = view.forward[k];
  }
  // A few vertices far from the rest must not shrink the picture of the rest.
  std::vector<bool> framed = framed_vertices(mesh);
  frame.left_out = leave_out_far_vertices(mesh.positions, framed);

  double box_low[2] = {std::numeric_limits<double>::max(), std::numeric_limits<double>::max()};
  double box_high[2] = {std::numeric_limits<double>::lowest(),
                        std::numeric_limits<double>::lowest()};
  for (std::size_t i = 0; i < mesh.positions.size(); ++i) {
    if (!framed[i]) continue;
    const double p[3] = {dot(view.right, mesh.positions[i]), dot(view.up, mesh.positions[i]),
                         dot(view.forward, mesh.positions[i])};
    for (int k = 0; k < 2; ++k) {
      box_low[k] = std::min(box_low[k], p[k]);
      box_high[k] = std::max(box_high[k], p[k]);
    }
    frame.depth[0] = std::min(frame.depth[0], p[2]);
    frame.depth[1] = std::max(frame.depth[1], p[2]);
  }
  const double margin = 0.06 * size;
  const double extent = std::max({box_high[0] - box_low[0], box_high[1] - box_low[1], 1e-30});
  frame.scale = (size - 2 * margin) / extent;
  frame.centre[0] = (box_low[0] + box_high[0]) / 2;
  frame.centre[1] = (box_low[1] + box_high[1]) / 2;
  return frame;
}

Picture render_preview(const Mesh& mesh, std::uint32_t size) {
  if (mesh.positions.empty()) return {};
  const View view = three_quarter_view();
  const PreviewFrame frame = frame_preview(mesh, size);
  auto project = [&](const Vec3& p) {
    return Projected{size / 2.0 + (dot(view.right, p) - frame.centre[0]) * frame.scale,
                     size / 2.0 - (dot(view.up, p) - frame.centre[1]) * frame.scale,
                     dot(view.forward, p)};
  };
  // Lit as a glTF viewer lights a two-sided material: ambient light and one directional
  // light from above, to the right of the viewer; the normal (the face's, or the vertices'
  // interpolated when the model has them) turned towards the viewer.
  const double light_length =
      std::sqrt(kLight[0] * kLight[0] + kLight[1] * kLight[1] + kLight[2] * kLight[2]);
  const bool smooth = !mesh.normals.empty();
  auto draw = [&](Canvas& canvas, const Vec3& a, const Vec3& b, const Vec3& c, const Vec3* normals,
                  const Vec3& linear, const Rows& rows, double alpha) {
    const double u[3] = {double{b[0]} - a[0], double{b[1]} - a[1], double{b[2]} - a[2]};
    const double v[3] = {double{c[0]} - a[0], double{c[1]} - a[1], double{c[2]} - a[2]};
    const double face[3] = {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2],
                            u[0] * v[1] - u[1] * v[0]};
    const double facing =
        face[0] * view.forward[0] + face[1] * view.forward[1] + face[2] * view.forward[2] < 0 ? -1.0
                                                                                              : 1.0;
    auto shade_into = [&](const double n[3], unsigned char colour[3]) {
      const double length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
      const double cosine = length > 0 && std::isfinite(length)
                                ? facing *
                                      (n[0] * kLight[0] + n[1] * kLight[1] + n[2] * kLight[2]) /
                                      (length * light_length)
                                : 0.0;
      const double shade = kAmbientLight + kDirectionalLight * std::max(cosine, 0.0);
      for (int k = 0; k < 3; ++k) colour[k] = srgb_byte(linear[k] * shade);
    };
    if (normals == nullptr) {
      // Flat: one colour for the whole face.
      unsigned char flat[3];
      shade_into(face, flat);
      return canvas.triangle(
          project(a), project(b), project(c), rows,
          [&](double, double, double, unsigned char colour[3]) {
            std::copy(flat, flat + 3, colour);
          },
          alpha);
    }
    return canvas.triangle(
        project(a), project(b), project(c), rows,
        [&](double w0, double w1, double w2, unsigned char colour[3]) {
          double n[3];
          for (int k = 0; k < 3; ++k) {
            n[k] = w0 * normals[0][k] + w1 * normals[1][k] + w2 * normals[2][k];
          }
          shade_into(n, colour);
        },
        alpha);
  };

  Canvas canvas(size);
  // A hostile model can pile up huge overlapping triangles: the pixel tests are bounded by the
  // picture's size and the model's, and what does not fit is left out of the picture (and said).
  const std::uint64_t budget =
      kPixelTestsPerPixel * size * size +
      kPixelTestsPerTriangle * (mesh.triangles.size() + mesh.body_triangle_count());
  // Two threads draw, each every other row, so each pixel is drawn by one thread in the
  // order of the triangles.
  const Rows even{0, 2, budget / 2};
  const Rows odd{1, 2, budget - budget / 2};
  std::uint64_t not_drawn = 0;
  auto on_both_halves = [&](const auto& part) {
    std::uint64_t even_not_drawn = 0, odd_not_drawn = 0;
    WorkerThread helper;
    // Without a second thread, this one draws both halves.
    const bool helped = helper.start([&] { odd_not_drawn = part(odd); });
    even_not_drawn = part(even);
    if (helped) {
      helper.join();
    } else {
      odd_not_drawn = part(odd);
    }
    // A triangle left out of both halves is counted once.
    not_drawn += std::max(even_not_drawn, odd_not_drawn);
  };

  on_both_halves([&](const Rows& rows) {
    std::uint64_t left_out = 0;
    for (const Mesh::Group& group : mesh.groups) {
      const Vec3 base = linear_colour(
          group.material >= 0
              ? material_colour(mesh.materials[static_cast<std::size_t>(group.material)].number)
              : kNoMaterialColour);
      for (std::uint32_t t = group.first; t < group.first + group.count; ++t) {
        const auto& [i, j, k] = mesh.triangles[t];
        const Vec3 normals[3] = {smooth ? mesh.normals[i] : Vec3{},
                                 smooth ? mesh.normals[j] : Vec3{},
                                 smooth ? mesh.normals[k] : Vec3{}};
        left_out += !draw(canvas, mesh.positions[i], mesh.positions[j], mesh.positions[k],
                          smooth ? normals : nullptr, base, rows, 1.0);
      }
    }
    return left_out;
  });
  // Vertices without triangles, or whose triangles cover no pixel, are shown as dots.
  if (even.plotted + odd.plotted == 0) {
    unsigned char ink[3];
    for (int k = 0; k < 3; ++k) ink[k] = to_byte(kPointColour[k]);
    for (const Vec3& p : mesh.positions) canvas.dot(project(p), ink);
  }
  // Collision bodies over the model, translucent, as a viewer blends them.
  const Vec3 body_colour = linear_colour(kCollisionBodyColour);
  on_both_halves([&](const Rows& rows) {
    std::uint64_t left_out = 0;
    for (const CollisionBody& body : mesh.bodies) {
      for (std::size_t i = 0; i + 2 < body.points.size(); i += 3) {
        left_out += !draw(canvas, body.points[i], body.points[i + 1], body.points[i + 2], nullptr,
                          body_colour, rows, kCollisionBodyAlpha);
      }
    }
    return left_out;
  });
  Picture picture = canvas.take();
  picture.triangles_not_drawn = not_drawn;
  picture.vertices_outside = frame.left_out;
  return picture;
}

std::string encode_png(const Picture& picture) {
  std::string bytes;
  const int side = static_cast<int>(picture.size);
  const auto append = [](void* context, void* data, int size) {
    static_cast<std::string*>(context)->append(static_cast<const char*>(data),
                                               static_cast<std::size_t>(size));
  };
  if (stbi_write_png_to_func(append, &bytes, side, side, 3, picture.rgb.data(), side * 3) == 0)
    return {};
  return bytes;
}

}  // namespace model_unpack
