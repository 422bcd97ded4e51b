#include "job/mesh_outputs.h"

#include "io/buffered_file.h"
#include "io/file_identity.h"
#include "job/conversion_job.h"
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
bool write_output(const std::string& name, const FileIdentity& model, Diagnostics& said,
                  FileSystem& files, Write&& write) {
  if (files.identify(AT_FDCWD, name.c_str()) == model) {
    said.error(ErrorKind::MeshOutputIsInput,
               "Error: " + shown_name(said.console(), name) + " is the input file :(");
    return false;
  }
  std::string temporary;
  const int handle = files.create_temporary(AT_FDCWD, name, kNewFileMode, temporary);
  bool done = false;
  if (handle >= 0) {
    std::unique_ptr<OutputFile> out = OutputFile::adopt(handle, files);
    const bool written = write(*out);
    done = out->close() && written && files.rename(AT_FDCWD, temporary.c_str(), name.c_str());
    if (!done) static_cast<void>(files.remove(AT_FDCWD, temporary.c_str()));
  }
  if (!done) {
    said.error(ErrorKind::WritingMeshOutput,
               "Error writing " + shown_name(said.console(), name) + " :(");
  }
  return done;
}

void say_glb_written(const std::string& name, const Mesh& mesh, Diagnostics& said) {
  said.say("Mesh written: " + shown_name(said.console(), name) + " (" +
           count_of(mesh.positions.size(), "vertex", "vertices") + ", " +
           count_of(mesh.triangles.size(), "triangle", "triangles") + ", " +
           count_of(mesh.bodies.size(), "collision body", "collision bodies") + ")\n");
  // The glb keeps every vertex (they are the model's data), so viewers frame them all.
  const std::uint64_t far = far_vertex_count(mesh);
  if (far > 0) {
    said.say("Warning: " + count_of(far, "vertex lies", "vertices lie") +
             " far from the rest of the model: viewers that frame the "
             "whole glb show the model small\n");
  }
}

void write_glb_output(const std::string& name, const Mesh& mesh, const FileIdentity& model,
                      FileSystem& files, Diagnostics& said) {
  if (write_output(name, model, said, files, [&](OutputFile& out) {
        return write_glb(mesh, "model-unpack " MODEL_UNPACK_VERSION, out);
      })) {
    say_glb_written(name, mesh, said);
  }
}

void say_preview_written(const std::string& name, const Picture& picture, Diagnostics& said) {
  said.say("Preview written: " + shown_name(said.console(), name) + " (" +
           std::to_string(picture.size) + " x " + std::to_string(picture.size) + " pixels)\n");
  if (picture.vertices_outside > 0) {
    said.say("Warning: the preview frames the bulk of the model; " +
             count_of(picture.vertices_outside, "vertex lies", "vertices lie") + " outside it\n");
  }
  if (picture.triangles_not_drawn > 0) {
    said.say("Warning: the preview leaves out " +
             count_of(picture.triangles_not_drawn, "triangle", "triangles") +
             ": drawing them would take too long\n");
  }
}

// A model without vertices has no picture, and one of an earlier run would no longer show it.
void remove_earlier_preview(const std::string& name, const FileIdentity& model, FileSystem& files,
                            Diagnostics& said) {
  const std::string shown = shown_name(said.console(), name);
  const auto earlier = files.identify(AT_FDCWD, name.c_str());
  if (!earlier || *earlier == model) {
    said.say("Warning: no preview picture " + shown + ": the model has no vertices\n");
    return;
  }
  if (!files.remove(AT_FDCWD, name.c_str())) {
    said.error(ErrorKind::RemovingPreview, "Error: no preview picture " + shown +
                                               ": the model has no vertices, and the " + shown +
                                               " of an earlier run cannot be removed :(");
    return;
  }
  said.say("Warning: no preview picture " + shown + ": the model has no vertices; the " + shown +
           " of an earlier run is removed\n");
}

void write_png_output(const std::string& name, const Mesh& mesh, std::uint32_t size,
                      const FileIdentity& model, FileSystem& files, Diagnostics& said) {
  const Picture picture = render_preview(mesh, size);
  if (picture.size == 0) return remove_earlier_preview(name, model, files, said);
  if (write_output(name, model, said, files, [&](OutputFile& out) {
        const std::string png = encode_png(picture);
        out.write(png.data(), png.size());
        return !png.empty();  // an encoder that gave up wrote nothing to show
      })) {
    say_preview_written(name, picture, said);
  }
}

}  // namespace

void write_mesh_outputs(const JobOutputs& outputs, const MeshSettings& settings,
                        Diagnostics& said) {
  FileSystem& files = settings.files;
  const JobNames& names = outputs.names;
  std::unique_ptr<ModelFile> model = ModelFile::open(names.model.c_str(), files);
  const auto model_identity = model ? model->identity() : std::nullopt;
  if (!model || !model_identity) {
    // After a job, its own line has told this already; alone, the line names the model.
    if (!settings.after_job || !said.had_error()) {
      said.error(ErrorKind::OpeningInput,
                 "Error opening input file " + shown_name(said.console(), names.model) + " :(");
    }
    return;
  }
  const Mesh mesh = read_mesh(*model);
  if (model->read_failure() != 0) return say_read_failure(*model, names.model, said);
  model.reset();

  if (outputs.glb) {
    write_glb_output(*outputs.glb, mesh, *model_identity, files, said);
  }
  if (outputs.png) {
    write_png_output(*outputs.png, mesh, settings.png_size, *model_identity, files, said);
  }
  for (const std::string& warning : mesh.warnings) said.say("Warning: " + warning + "\n");
}

}  // namespace model_unpack
