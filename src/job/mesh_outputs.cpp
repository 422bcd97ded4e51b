#include "job/mesh_outputs.h"

#include <exception>
#include <optional>

#include "io/buffered_file.h"
#include "io/file_identity.h"
#include "io/out_of_memory.h"
#include "io/threads.h"
#include "job/conversion_job.h"
#include "mesh/glb_writer.h"
#include "mesh/mesh.h"
#include "mesh/preview.h"
#include "model_unpack_version.h"

namespace model_unpack {

namespace {

// Writes `name` whole under a temporary name beside it, then renames it into place: the file
// is complete or absent (an earlier one stays until the new one is done), and a link planted
// under its name is replaced, not followed; a read-only file is not. The bytes written, or nothing
// (with the error line) when the file cannot be made, `write` gives up or a write fails.
template <typename Write>
std::optional<std::uint64_t> write_output(const std::string& name, const FileIdentity& model,
                                          JobReport& report, FileSystem& files, Write&& write) {
  if (files.identify(Folder::current(), name.c_str()) == model) {
    report.message({form_of(JobMessage::MeshOutputIsInput), {MessageValue::name("file", name)}});
    return std::nullopt;
  }
  std::optional<std::uint64_t> bytes;
  // A file under the name that could not be written in place (read-only) is refused, as the
  // info file is, rather than replaced.
  const bool refused = files.probe(Folder::current(), name.c_str()) == Entry::Unwritable;
  std::string temporary;
  const int handle =
      refused ? -1 : files.create_temporary(Folder::current(), name, kNewFileMode, temporary);
  if (handle >= 0) {
    std::unique_ptr<OutputFile> out = OutputFile::adopt(handle, files);
    const bool written = write(*out);
    const std::uint64_t size = out->written();
    if (out->close() && written &&
        files.rename(Folder::current(), temporary.c_str(), name.c_str())) {
      bytes = size;
    } else {
      static_cast<void>(files.remove(Folder::current(), temporary.c_str()));
    }
  }
  if (!bytes) {
    report.message({form_of(JobMessage::WritingMeshOutput), {MessageValue::name("file", name)}});
  }
  return bytes;
}

MeshCounts counts_of(const Mesh& mesh) {
  return {mesh.positions.size(), mesh.triangles.size(), mesh.bodies.size()};
}

void write_glb_output(const std::string& name, const Mesh& mesh, const FileIdentity& model,
                      FileSystem& files, JobReport& report) {
  const auto bytes = write_output(name, model, report, files, [&](OutputFile& out) {
    return write_glb(mesh, "model-unpack " MODEL_UNPACK_VERSION, out);
  });
  if (!bytes) return;
  report.glb_written(name, *bytes, counts_of(mesh));
  // The glb keeps every vertex (they are the model's data), so viewers frame them all.
  if (const std::uint64_t far = far_vertex_count(mesh); far > 0)
    report.message({form_of(JobMessage::FarVertices), {{"vertices", far}}});
}

void say_preview_written(const std::string& name, std::uint64_t bytes, const Picture& picture,
                         JobReport& report) {
  report.preview_written(name, bytes, picture.size);
  if (picture.vertices_outside > 0) {
    report.message(
        {form_of(JobMessage::PreviewFramesBulk), {{"vertices", picture.vertices_outside}}});
  }
  if (picture.triangles_not_drawn > 0) {
    report.message(
        {form_of(JobMessage::PreviewLeavesOut), {{"triangles", picture.triangles_not_drawn}}});
  }
}

// A model without vertices has no picture, and one of an earlier run would no longer show it.
void remove_earlier_preview(const std::string& name, const FileIdentity& model, FileSystem& files,
                            JobReport& report) {
  const MessageValue file = MessageValue::name("file", name);
  const auto earlier = files.identify(Folder::current(), name.c_str());
  if (!earlier || *earlier == model)
    return report.message({form_of(JobMessage::NoPreview), {file}});
  if (!files.remove(Folder::current(), name.c_str()))
    return report.message({form_of(JobMessage::RemovingPreview), {file}});
  report.message({form_of(JobMessage::NoPreviewEarlierRemoved), {file}});
}

// The picture and its PNG bytes: work on the mesh alone, touching no file.
struct Preview {
  Picture picture;
  std::string png;
};

Preview make_preview(const Mesh& mesh, const MeshSettings& settings) {
  Preview preview{render_preview(mesh, settings.png_size, settings.picture_threads), {}};
  if (preview.picture.size > 0) preview.png = encode_png(preview.picture);
  return preview;
}

void write_png_output(const std::string& name, const Preview& preview, const FileIdentity& model,
                      FileSystem& files, JobReport& report) {
  if (preview.picture.size == 0) return remove_earlier_preview(name, model, files, report);
  const auto bytes = write_output(name, model, report, files, [&](OutputFile& out) {
    out.write(preview.png.data(), preview.png.size());
    return !preview.png.empty();  // an encoder that gave up wrote nothing to show
  });
  if (bytes) say_preview_written(name, *bytes, preview.picture, report);
}

// The preview made on a thread of its own while the glb is written, where a thread can be
// had; the lines and files come in the same order either way. A failure on that thread (no
// memory) is raised again here.
class PreviewAhead {
 public:
  // `ahead`: whether there is other work (the glb) to do meanwhile.
  PreviewAhead(const Mesh& mesh, const MeshSettings& settings, bool ahead)
      : mesh_(mesh), settings_(settings) {
    started_ = ahead && worker_.start([this] {
      keeping_failure([this] { preview_ = make_preview(mesh_, settings_); }, failure_);
    });
  }
  Preview take() {
    if (!started_) return make_preview(mesh_, settings_);
    worker_.join();
    raise_kept(failure_);
    return std::move(preview_);
  }

 private:
  const Mesh& mesh_;
  const MeshSettings& settings_;
  Preview preview_;
  std::exception_ptr failure_;
  WorkerThread worker_;  // last: joined before what it writes goes
  bool started_ = false;
};

}  // namespace

void write_mesh_outputs(const JobOutputs& outputs, const MeshSettings& settings,
                        JobReport& report) {
  FileSystem& files = settings.files;
  const JobNames& names = outputs.names;
  std::unique_ptr<ModelFile> model = ModelFile::open(names.model.c_str(), files);
  const auto model_identity = model ? model->identity() : std::nullopt;
  if (!model || !model_identity) {
    // After a job, its own line has told this already; alone, the line names the model.
    if (!settings.after_job || !report.had_error()) {
      report.message(
          {form_of(JobMessage::OpeningInputNamed), {MessageValue::name("model", names.model)}});
    }
    return;
  }
  const Mesh mesh = read_mesh(*model);
  if (model->read_failure() != 0) return say_read_failure(*model, names.model, report);
  model.reset();
  report.mesh_read(counts_of(mesh));

  std::optional<PreviewAhead> preview;
  if (outputs.png) preview.emplace(mesh, settings, outputs.glb.has_value());
  if (outputs.glb) {
    write_glb_output(*outputs.glb, mesh, *model_identity, files, report);
  }
  if (outputs.png) {
    write_png_output(*outputs.png, preview->take(), *model_identity, files, report);
  }
  for (const Message& warning : mesh.warnings) report.message(warning);
}

}  // namespace model_unpack
