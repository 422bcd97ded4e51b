#include "batch/output_plan.h"

#include <algorithm>
#include <map>

#include "io/console_text.h"
#include "io/file_identity.h"
#include "io/file_system.h"

namespace model_unpack {

namespace {

// `path` with "." and ".." folded away by its words alone.
std::string folded(const std::string& path) {
  std::vector<std::string> parts;
  for (std::size_t start = 0; start <= path.size();) {
    const std::size_t slash = std::min(path.find('/', start), path.size());
    const std::string part = path.substr(start, slash - start);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    start = slash + 1;
  }
  std::string result;
  for (const std::string& part : parts) result += "/" + part;
  return result.empty() ? "/" : result;
}

// An absolute spelling of `path` in which "." and "..", and the links of the folders on the
// way, are resolved; the last component stays as it is (a link there is a file of its own).
std::string resolved_spelling(const std::string& path, FileSystem& files) {
  const std::size_t slash = path.rfind('/');
  std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  std::string last = slash == std::string::npos ? path : path.substr(slash + 1);
  if (last == "." || last == ".." || last.empty()) {
    folder = path;
    last.clear();
  }
  std::string base;
  if (const auto real = files.resolve_folder(folder)) {
    base = folded(*real);
  } else {
    // A folder that does not exist yet: by its spelling from the current one.
    base = folded(folder.starts_with("/") ? folder
                                          : files.resolve_folder(".").value_or("") + "/" + folder);
  }
  return last.empty() ? base : (base == "/" ? "" : base) + "/" + last;
}

struct Writer {
  std::size_t model;
  std::string file;  // as the run would name it
};

class ClashFinder {
 public:
  ClashFinder(const std::vector<JobOutputs>& models, FileSystem& files)
      : models_(models), files_(files) {}

  // A model file of the run.
  void add_model(std::size_t index) {
    const std::string& name = models_[index].names.model;
    models_by_spelling_.emplace(resolved_spelling(name, files_), index);
    if (const auto identity = files_.identify(Folder::current(), name.c_str()))
      models_by_identity_.emplace(*identity, index);
  }

  // A file written for model `index`; `shared` files are written by every job in turn.
  void add_output(std::size_t index, const std::string& file, bool shared = false) {
    if (clash_) return;
    const std::string spelling = resolved_spelling(file, files_);
    if (auto model = models_by_spelling_.find(spelling); model != models_by_spelling_.end()) {
      return model_clash(index, file, model->second);
    }
    // A link to a model counts as the model: writing it would empty the model.
    for (const auto& identity : {files_.identify(Folder::current(), file.c_str()),
                                 files_.identify_entry(Folder::current(), file.c_str())}) {
      if (!identity) continue;
      if (auto model = models_by_identity_.find(*identity); model != models_by_identity_.end())
        return model_clash(index, file, model->second);
    }
    if (shared) return;
    // Between outputs, a link is a file of its own: it is replaced, not written through.
    const auto identity = files_.identify_entry(Folder::current(), file.c_str());
    auto [by_spelling, fresh] = outputs_by_spelling_.emplace(spelling, Writer{index, file});
    if (!fresh) return output_clash(by_spelling->second, index, file);
    if (identity) {
      auto [by_identity, new_file] = outputs_by_identity_.emplace(*identity, Writer{index, file});
      if (!new_file) return output_clash(by_identity->second, index, file);
    }
  }

  const std::optional<std::string>& clash() const { return clash_; }

 private:
  const std::string& model_name(std::size_t index) const { return models_[index].names.model; }

  void model_clash(std::size_t writer, const std::string& file, std::size_t model) {
    clash_ = quoted_text(file) + ", written for " + quoted_text(model_name(writer)) +
             ", is the model file " + quoted_text(model_name(model));
  }
  void output_clash(const Writer& first, std::size_t second, const std::string& file) {
    clash_ = quoted_text(model_name(first.model)) + " and " + quoted_text(model_name(second)) +
             " would both write " + quoted_text(file);
  }

  const std::vector<JobOutputs>& models_;
  FileSystem& files_;
  std::map<std::string, std::size_t> models_by_spelling_;
  std::map<FileIdentity, std::size_t> models_by_identity_;
  std::map<std::string, Writer> outputs_by_spelling_;
  std::map<FileIdentity, Writer> outputs_by_identity_;
  std::optional<std::string> clash_;
};

}  // namespace

std::vector<JobOutputs> outputs_of_models(const BatchOptions& options) {
  const OutputChoice choice{!options.no_job && !options.list, options.exports_dir, options.glb,
                            options.png};
  std::vector<JobOutputs> outputs;
  for (const std::string& model : options.models) {
    outputs.push_back(outputs_of(derive_path_names(model), choice));
  }
  return outputs;
}

OutputPlan plan_outputs(const BatchOptions& options, FileSystem& files) {
  OutputPlan plan;
  plan.models = outputs_of_models(options);

  ClashFinder finder(plan.models, files);
  for (std::size_t i = 0; i < plan.models.size(); ++i) finder.add_model(i);
  for (std::size_t i = 0; i < plan.models.size(); ++i) {
    const JobOutputs& outputs = plan.models[i];
    for (const auto& file : {outputs.info, outputs.glb, outputs.png}) {
      if (file) finder.add_output(i, *file);
    }
    if (!outputs.exports_folder) continue;
    // Export files: each model's own folder, or the current one, which every job writes in turn.
    const bool shared = outputs.exports_folder->empty();
    const std::string folder = shared ? "" : *outputs.exports_folder + "/";
    for (const char* export_file : export_file_names()) {
      finder.add_output(i, folder + export_file, shared);
    }
    if (!shared) finder.add_output(i, *outputs.exports_folder);
  }
  plan.clash = finder.clash();

  if (!options.no_job && !options.exports_dir && plan.models.size() > 1) {
    plan.notice = "without --exports-dir the export files are those of the last model, " +
                  escaped_text(plan.models.back().names.model);
  }
  return plan;
}

}  // namespace model_unpack
