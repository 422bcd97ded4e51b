#include "job/mesh_outputs.h"

#include "io/buffered_file.h"
#include "io/file_identity.h"
#include "mesh/glb_writer.h"
#include "mesh/mesh.h"
#include "mesh/preview.h"

namespace model_unpack {

namespace {

// Writes `name` whole under a temporary name beside it, then renames it into place: the file
// is complete or absent (an earlier one stays until the new one is done), and a link planted
// under its name is replaced, not followed. False (with the error line) when the file cannot
// be made, `write` gives up or a write fails.
template <typename Write>
bool write_output(const std::string& name, const FileIdentity& model, const ConsoleOutput& console,
                  FileSystem& files, Write&& write) {
  if (files.identify(AT_FDCWD, name.c_str()) == model) {
    console_print(console, "Error: " + shown_name(console, name) + " is the input file :(\n");
    return false;
  }
  std::string temporary;
  const int handle = files.create_temporary(AT_FDCWD, name, kNewFileMode, temporary);
  bool done = false;
  if (handle >= 0) {
    std::unique_ptr<OutputFile> out = OutputFile::adopt(handle, files);
    const bool written = write(*out);
    done = out->close() && written && files.rename(AT_FDCWD, temporary.c_str(), name.c_str());
    if (!done) files.remove(AT_FDCWD, temporary.c_str());
  }
  if (!done) console_print(console, "Error writing " + shown_name(console, name) + " :(\n");
  return done;
}

void say_glb_written(const std::string& name, const Mesh& mesh, const ConsoleOutput& console) {
  console_print(console, "Mesh written: " + shown_name(console, name) + " (" +
                             count_of(mesh.positions.size(), "vertex", "vertices") + ", " +
                             count_of(mesh.triangles.size(), "triangle", "triangles") + ", " +
                             count_of(mesh.bodies.size(), "collision body", "collision bodies") +
                             ")\n");
  // The glb keeps every vertex (they are the model's data), so viewers frame them all.
  const std::uint64_t far = far_vertex_count(mesh);
  if (far > 0) {
    console_print(console, "Warning: " + count_of(far, "vertex lies", "vertices lie") +
                               " far from the rest of the model: viewers that frame the "
                               "whole glb show the model small\n");
  }
}

bool write_glb_output(const std::string& name, const Mesh& mesh, const FileIdentity& model,
                      FileSystem& files, const ConsoleOutput& console) {
  if (!write_output(name, model, console, files, [&](OutputFile& out) {
        return write_glb(mesh, "model-unpack " MODEL_UNPACK_VERSION, out);
      })) {
    return false;
  }
  say_glb_written(name, mesh, console);
  return true;
}

void say_preview_written(const std::string& name, const Picture& picture,
                         const ConsoleOutput& console) {
  console_print(console, "Preview written: " + shown_name(console, name) + " (" +
                             std::to_string(picture.size) + " x " + std::to_string(picture.size) +
                             " pixels)\n");
  if (picture.vertices_outside > 0) {
    console_print(console, "Warning: the preview frames the bulk of the model; " +
                               count_of(picture.vertices_outside, "vertex lies", "vertices lie") +
                               " outside it\n");
  }
  if (picture.triangles_not_drawn > 0) {
    console_print(console, "Warning: the preview leaves out " +
                               count_of(picture.triangles_not_drawn, "triangle", "triangles") +
                               ": drawing them would take too long\n");
  }
}

// A model without vertices has no picture, and one of an earlier run would no longer show it.
bool remove_earlier_preview(const std::string& name, const FileIdentity& model, FileSystem& files,
                            const ConsoleOutput& console) {
  const std::string shown = shown_name(console, name);
  const auto earlier = files.identify(AT_FDCWD, name.c_str());
  if (!earlier || *earlier == model) {
    console_print(console,
                  "Warning: no preview picture " + shown + ": the model has no vertices\n");
    return true;
  }
  if (!files.remove(AT_FDCWD, name.c_str())) {
    console_print(console, "Error: no preview picture " + shown +
                               ": the model has no vertices, and the " + shown +
                               " of an earlier run cannot be removed :(\n");
    return false;
  }
  console_print(console, "Warning: no preview picture " + shown +
                             ": the model has no vertices; the " + shown +
                             " of an earlier run is removed\n");
  return true;
}

bool write_png_output(const std::string& name, const Mesh& mesh, std::uint32_t size,
                      const FileIdentity& model, FileSystem& files, const ConsoleOutput& console) {
  const Picture picture = render_preview(mesh, size);
  if (picture.size == 0) return remove_earlier_preview(name, model, files, console);
  if (!write_output(name, model, console, files, [&](OutputFile& out) {
        const std::string png = encode_png(picture);
        out.write(png.data(), png.size());
        return true;
      })) {
    return false;
  }
  say_preview_written(name, picture, console);
  return true;
}

}  // namespace

bool write_mesh_outputs(const JobOutputs& outputs, const MeshSettings& settings,
                        const ConsoleOutput& console) {
  FileSystem& files = settings.files;
  const JobNames& names = outputs.names;
  std::unique_ptr<ModelFile> model = ModelFile::open(names.model.c_str(), files);
  const auto model_identity = model ? model->identity() : std::nullopt;
  if (!model || !model_identity) {
    // After a job, its own line has told this already; alone, the line names the model.
    if (!settings.after_job) {
      console_print(console,
                    "Error opening input file " + shown_name(console, names.model) + " :(\n");
    }
    return false;
  }
  const Mesh mesh = read_mesh(*model);
  model.reset();

  bool all_well = true;
  if (outputs.glb) {
    all_well &= write_glb_output(*outputs.glb, mesh, *model_identity, files, console);
  }
  if (outputs.png) {
    all_well &=
        write_png_output(*outputs.png, mesh, settings.png_size, *model_identity, files, console);
  }
  for (const std::string& warning : mesh.warnings)
    console_print(console, "Warning: " + warning + "\n");
  return all_well;
}

}  // namespace model_unpack
