// A preview picture of the mesh: an orthographic three-quarter view, flat-shaded, depth-buffered.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "mesh/mesh.h"

namespace model_unpack {

// The picture's width and height: by default, and the range a user may choose from.
inline constexpr std::uint32_t kPictureSize = 512;
inline constexpr std::uint32_t kSmallestPicture = 16;
inline constexpr std::uint32_t kLargestPicture = 4096;

struct Picture {
  std::uint32_t size = 0;                 // width and height in pixels
  std::vector<unsigned char> rgb;         // size x size x 3, rows top to bottom
  std::uint64_t triangles_not_drawn = 0;  // past the drawing budget
  std::uint64_t vertices_outside = 0;     // left out of the frame, far from the rest
};

// Where the picture looks from and what it frames: the camera looks along -forward with `up`
// up; the point centre[0] * right + centre[1] * up is in the middle of the picture, and one
// unit is `scale` pixels. The frame holds the bulk of the vertices of drawn triangles (all
// vertices when there is none), with a margin of 6 %.
struct PreviewFrame {
  double right[3] = {};
  double up[3] = {};
  double forward[3] = {};
  double centre[2] = {};
  double scale = 1;
  double depth[2] = {};        // the least and greatest of forward . p over framed vertices
  std::uint64_t left_out = 0;  // vertices too far from the rest to be framed
};
PreviewFrame frame_preview(const Mesh& mesh, std::uint32_t size);

// Where `p` lies along a unit axis of the frame.
double along(const double axis[3], const Vec3& p);

// How many vertices lie far from the rest (by the same rule, over all vertices): a viewer
// that frames the whole glb frames them too.
std::uint64_t far_vertex_count(const Mesh& mesh);

// Null-sized when the mesh has no vertex. Collision bodies are drawn translucent over the
// model, as glTF viewers show them. Drawn on up to `threads` threads at once where they can be
// had (the model's triangles in shares, the bodies in bands of rows); the picture is the same
// however many.
Picture render_preview(const Mesh& mesh, std::uint32_t size, unsigned threads = 1);

// The picture as PNG bytes.
std::string encode_png(const Picture& picture);

}  // namespace model_unpack
