// The real batch binary, run as a script would run it: no terminal, standard input closed.
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <sstream>
#include <thread>

#include "model_unpack_version.h"
#include "job/file_names.h"
#include "large_model.h"
#include "model_builder.h"
#include "pty_session.h"
#include "test_support.h"

namespace model_unpack {
namespace {

namespace fs = std::filesystem;
using testing::ModelBuilder;
using testing::Payload;
using testing::read_file;

struct ToolRun {
  int status = -1;
  std::string out;
  std::string err;
};

// What `fd` delivers until its end; past 256 MiB (a tool gone wrong) the rest is read, not kept.
std::string drain(int fd) {
  std::string text;
  char buffer[4096];
  for (ssize_t got; (got = read(fd, buffer, sizeof buffer)) > 0;) {
    if (text.size() < (std::size_t{256} << 20)) text.append(buffer, got);
  }
  close(fd);
  return text;
}

// Runs the batch tool in the current directory without a controlling terminal.
ToolRun run_batch_tool(
    std::vector<std::string> args, const std::function<void()>& in_child = [] {}) {
  int out[2];
  int err[2];
  if (pipe(out) != 0 || pipe(err) != 0) return {};
  const pid_t pid = fork();
  if (pid == 0) {
    setsid();
    const int null_in = open("/dev/null", O_RDONLY);
    dup2(null_in, 0);
    dup2(out[1], 1);
    dup2(err[1], 2);
    close(out[0]);
    close(err[0]);
    args.insert(args.begin(), MODEL_UNPACK_BATCH_BINARY);
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    alarm(20);  // never hangs the suite
    in_child();
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(out[1]);
  close(err[1]);
  ToolRun run;
  std::thread err_reader([&] { run.err = drain(err[0]); });
  run.out = drain(out[0]);
  err_reader.join();
  int status = 0;
  waitpid(pid, &status, 0);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return run;
}

// The batch tool started with its standard output and error on pipes whose reading ends are
// handed back, `restored` at its default disposition (as a shell leaves it).
struct Started {
  pid_t pid = -1;
  int out = -1;
  int err = -1;
};
Started start_batch_tool(std::vector<const char*> args, int restored) {
  int out[2];
  int err[2];
  if (pipe(out) != 0 || pipe(err) != 0) return {};
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(out[1], 1);
    dup2(err[1], 2);
    close(out[0]);
    signal(restored, SIG_DFL);
    alarm(60);
    args.insert(args.begin(), MODEL_UNPACK_BATCH_BINARY);
    args.push_back(nullptr);
    execv(args[0], const_cast<char* const*>(args.data()));
    _exit(127);
  }
  close(out[1]);
  close(err[1]);
  return {pid, out[0], err[0]};
}

// Every file below `root`, by relative path, with its bytes.
std::map<std::string, std::string> tree(const fs::path& root) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (entry.is_regular_file()) {
      files[fs::relative(entry.path(), root).string()] = read_file(entry.path());
    }
  }
  return files;
}

std::vector<ModelBuilder> models_of_every_kind() {
  Payload bone;
  bone.u32(1).name("root").name("").fill(64, 'D').u32(70).fill(70, 'x');
  return {
      ModelBuilder()
          .header("first")
          .block("positions", testing::floats3({1, 2, 3, 4, 5, 6}))
          .block("edges", testing::edges(7, {1, 2, 3}))
          .block("bones", bone),
      ModelBuilder()
          .header("second")
          .block("materials", testing::materials({"stone", "wood"}))
          .block("position_tris", testing::u16s(3, {0, 1, 2}))
          .truncate_at(200),
      ModelBuilder()
          .header("third")
          .block("collisebodies", Payload().u32(1).name("hull").u16(0))
          .block("texcoords", Payload().u32(3)),
  };
}

class BatchTest : public ::testing::Test {
 protected:
  testing::ScratchDirectory directory_;
};

TEST_F(BatchTest, WritesWhatTheInteractiveToolWritesForTheSameName) {
  const auto models = models_of_every_kind();
  for (const char* side : {"typed", "batch"}) {
    fs::create_directory(side);
    fs::copy_file(MODEL_UNPACK_EXAMPLES_DIR "/sample.zmdl", fs::path(side) / "sample.zmdl");
    for (std::size_t i = 0; i < models.size(); ++i) {
      models[i].write(std::string(side) + "/m" + std::to_string(i) + ".zmdl");
    }
  }
  const std::vector<std::string> names{"sample", "m0", "m1", "m2"};

  fs::current_path("typed");
  std::string typed_lines;
  {
    testing::PtySession tool({MODEL_UNPACK_BINARY});
    ASSERT_TRUE(tool.wait_for("file name\n"));
    for (const std::string& name : names) {
      const std::size_t from = tool.output().size();
      tool.send("1");
      ASSERT_TRUE(tool.wait_for("Enter filename: ", from));
      tool.send(name + "\n");
      ASSERT_TRUE(tool.wait_for("Info file created\n\nEsc to exit", from));
      const std::size_t begin = tool.output().find("Input file: ", from);
      const std::size_t end = tool.output().find("Info file created\n", begin) + 18;
      typed_lines += tool.output().substr(begin, end - begin);
    }
    tool.send("\x1b");
    ASSERT_NE(tool.wait_exit(), -1);
  }
  fs::current_path("../batch");
  const ToolRun batch = run_batch_tool(names);
  fs::current_path("..");

  EXPECT_EQ(batch.status, 0) << batch.err;
  EXPECT_EQ(batch.out, typed_lines);
  EXPECT_EQ(batch.err,
            "model-unpack-batch: without --exports-dir the export files are those of the last "
            "model, m2.zmdl\n");
  EXPECT_EQ(tree("batch"), tree("typed"));
}

TEST_F(BatchTest, ParallelJobsGiveTheSameOutputAsOneAtATime) {
  const auto models = models_of_every_kind();
  std::vector<std::string> args;
  fs::create_directory("in");
  for (std::size_t i = 0; i < 12; ++i) {
    models[i % models.size()].write("in/m" + std::to_string(i) + ".zmdl");
    args.push_back("in/m" + std::to_string(i));
  }
  // Two listings longer than a waiting job keeps: the one behind waits for its turn.
  ModelBuilder listing;
  listing.header("long listing").block("positions", testing::floats3({1, 2, 3}));
  for (int i = 0; i < 70000; ++i) listing.entry("positions", listing.payload_offset(0));
  for (const char* name : {"in/l1", "in/l2"}) {
    listing.write(std::string(name) + ".zmdl");
    args.push_back(name);
  }
  args.push_back("in/absent");
  std::map<std::string, std::string> outputs[2];
  std::string stdouts[2];
  for (int jobs : {1, 2}) {
    std::vector<std::string> command{"-C", "out" + std::to_string(jobs), "-j",
                                     std::to_string(jobs)};
    command.insert(command.end(), args.begin(), args.end());
    // Lines never go through a temporary file: a /tmp soon full (where one can be mounted
    // here, and hides neither the tool nor this folder) loses none.
    const auto under_tmp = [](const fs::path& path) {
      return fs::weakly_canonical(path).string().starts_with("/tmp/");
    };
    const bool small_tmp = !under_tmp(MODEL_UNPACK_BATCH_BINARY) && !under_tmp(fs::current_path());
    const ToolRun run = run_batch_tool(command, [small_tmp] {
      if (small_tmp && unshare(CLONE_NEWNS) == 0) {
        mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr);
        mount("tmpfs", "/tmp", "tmpfs", 0, "size=1200k");
      }
    });
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "model-unpack-batch: 1 of 15 models had errors\n");
    stdouts[jobs - 1] = run.out;
    outputs[jobs - 1] = tree("out" + std::to_string(jobs));
  }
  EXPECT_EQ(stdouts[0], stdouts[1]);
  EXPECT_EQ(outputs[0], outputs[1]);
  EXPECT_EQ(outputs[0].count("m0/pos.txt"), 1u);
  EXPECT_TRUE(
      stdouts[0].ends_with("Input file: in/absent.zmdl   \noutput file: in/absent.txt   \n"
                           "Error opening input file :(\n"));
}

TEST_F(BatchTest, AMissingModelFailsAloneAndInfoFilesLieBesideTheirModels) {
  fs::create_directory("a.b");
  ModelBuilder().header("h").block("positions", testing::floats3({1, 2, 3})).write("a.b/c.zmdl");
  const ToolRun run = run_batch_tool({"-q", "missing", "./a.b/c"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_TRUE(testing::exists("a.b/c.txt"));
  EXPECT_TRUE(testing::exists("pos.txt"));
}

TEST_F(BatchTest, UsageErrorsRunNothingAndCreateNothing) {
  fs::create_directory("d");
  ModelBuilder().write("m.zmdl");
  ModelBuilder().write("d/m.zmdl");
  const std::vector<std::vector<std::string>> errors{
      {},
      {"--bogus", "m"},
      {"-j", "x", "m"},
      {"-j"},
      {"-j", "2", "m", "d/m"},
      {"-C", "out", "m", "d/m"},
      {"-C", "out", ".hidden"},
  };
  for (const auto& args : errors) {
    const ToolRun run = run_batch_tool(args);
    EXPECT_EQ(run.status, 2) << ::testing::PrintToString(args);
    EXPECT_EQ(run.out, "");
    EXPECT_TRUE(run.err.starts_with("model-unpack-batch: "));
    EXPECT_TRUE(run.err.ends_with("\nTry 'model-unpack-batch --help'.\n")) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 2);
  }
  EXPECT_EQ(tree(".").size(), 2u) << "nothing created";
  EXPECT_FALSE(testing::exists("out"));

  const ToolRun help = run_batch_tool({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_TRUE(help.out.starts_with("Usage: model-unpack-batch [OPTION]... MODEL...\n"));
  const ToolRun version = run_batch_tool({"--version"});
  EXPECT_EQ(version.out, "model-unpack-batch " MODEL_UNPACK_VERSION "\n");
}

TEST_F(BatchTest, FailedWritesAreErrorsInBothTools) {
  testing::Payload many;
  many.u32(2000).fill(24000, 1);
  ModelBuilder().block("positions", many).write("m.zmdl");
  const ToolRun limited = run_batch_tool({"m"}, [] {
    const rlimit limit{4096, 4096};
    setrlimit(RLIMIT_FSIZE, &limit);
  });
  EXPECT_EQ(limited.status, 1);
  EXPECT_NE(limited.out.find("Exporting positions\nError writing export file pos.txt :(\n"
                             "Creating info file\nError writing info file m.txt :(\n"),
            std::string::npos)
      << limited.out;
  EXPECT_EQ(limited.err, "model-unpack-batch: 1 of 1 models had errors\n");

  fs::remove("m.txt");
  if (!testing::make_full_device("m.txt")) GTEST_SKIP() << "cannot make a device node here";
  const ToolRun full = run_batch_tool({"m"});
  EXPECT_EQ(full.status, 1);
  EXPECT_TRUE(
      full.out.ends_with("Positions exported\nCreating info file\n"
                         "Error writing info file m.txt :(\n"));
  const ToolRun help = run_batch_tool({"--help"}, [] { dup2(open("m.txt", O_WRONLY), 1); });
  EXPECT_EQ(help.status, 1);
  EXPECT_EQ(help.err, "model-unpack-batch: write error on standard output\n");

  testing::PtySession tool({MODEL_UNPACK_BINARY});
  ASSERT_TRUE(tool.wait_for("file name\n"));
  tool.send("1m\n");
  ASSERT_TRUE(tool.wait_for("Creating info file\nError writing info file m.txt :(\n\nEsc"));
  tool.send("\x1b");
  const int status = tool.wait_exit();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

// "m7": GCC 12 warns wrongly (-Wrestrict) about "m" + std::to_string(i) in optimised builds.
std::string numbered(int i) {
  char name[16];
  std::snprintf(name, sizeof name, "m%d", i);
  return name;
}

// A glb or png written whole: its container's own length and signature agree with the file.
bool whole_output(const fs::path& path) {
  const std::string bytes = read_file(path);
  if (path.extension() == ".png") {
    return bytes.starts_with("\x89PNG\r\n\x1a\n") &&
           bytes.ends_with(std::string("IEND\xae\x42\x60\x82"));
  }
  std::uint32_t length = 0;
  if (bytes.size() >= 12) std::memcpy(&length, bytes.data() + 8, 4);
  return bytes.starts_with("glTF") && length == bytes.size();
}

TEST_F(BatchTest, AClosedStandardOutputReachesNoOtherFile) {
  std::vector<std::string> args{"-C", "ex", "-j", "2", "--glb", "--png"};
  for (int i = 0; i < 16; ++i) {
    fs::copy_file(MODEL_UNPACK_EXAMPLES_DIR "/sample.zmdl", numbered(i) + ".zmdl");
    args.push_back(numbered(i));
  }
  const ToolRun run = run_batch_tool(args, [] { close(1); });
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "model-unpack-batch: write error on standard output\n");
  for (int i = 0; i < 16; ++i) {
    const std::string stem = numbered(i);
    EXPECT_TRUE(whole_output(stem + ".glb")) << stem;
    EXPECT_TRUE(whole_output(stem + ".png")) << stem;
    EXPECT_TRUE(read_file(stem + ".txt").ends_with("---End of file---")) << stem;
  }
}

TEST_F(BatchTest, FilesWrittenTwiceOrOverAModelAreUsageErrorsThatCreateNothing) {
  for (const char* model : {"castle.zmdl", "castle.v2.zmdl", "m.zmdl", "pos.txt"}) {
    fs::copy_file(MODEL_UNPACK_EXAMPLES_DIR "/sample.zmdl", model);
  }
  fs::create_directory_symlink(".", "here");
  const std::pair<std::vector<std::string>, std::string> clashes[] = {
      {{"-q", "--no-job", "--glb", "-j", "2", "castle", "castle.v2.zmdl"},
       "'castle.zmdl' and 'castle.v2.zmdl' would both write 'castle.glb'"},
      {{"castle", "castle.v2.zmdl"},
       "'castle.zmdl' and 'castle.v2.zmdl' would both write 'castle.txt'"},
      {{"castle", "here/castle"}, "'castle.zmdl' and 'here/castle.zmdl' would both write"},
      {{"--glb", "m", "m.glb"}, "'m.glb', written for 'm.zmdl', is the model file 'm.glb'"},
      {{"castle", "pos.txt"}, "'pos.txt', written for 'castle.zmdl', is the model file 'pos.txt'"},
  };
  const auto before = tree(".");
  for (const auto& [args, reason] : clashes) {
    const ToolRun run = run_batch_tool(args);
    EXPECT_EQ(run.status, 2) << reason;
    EXPECT_NE(run.err.find("model-unpack-batch: " + reason), std::string::npos) << run.err;
    EXPECT_EQ(tree("."), before) << reason;
  }
  // A model that cannot be read gets no exports folder.
  EXPECT_EQ(run_batch_tool({"-q", "-C", "out", "absent"}).status, 1);
  EXPECT_FALSE(testing::exists("out/absent"));
}

TEST_F(BatchTest, AnInterruptedRunLeavesNoUnfinishedOutput) {
  const std::string model = testing::large_model(12 << 20).bytes();
  for (const char* name : {"a.zmdl", "b.zmdl", "c.zmdl"}) testing::write_file(name, model);
  testing::write_file("b.glb", "an earlier glb");
  const Started tool = start_batch_tool({"-C", "ex", "--glb", "--png", "a", "b", "c"}, SIGINT);
  ASSERT_GT(tool.pid, 0);
  // Interrupted as soon as the first model is done.
  std::string printed;
  char buffer[4096];
  for (ssize_t got; printed.find("Preview written: a.png") == std::string::npos &&
                    (got = read(tool.out, buffer, sizeof buffer)) > 0;) {
    printed.append(buffer, got);
  }
  kill(tool.pid, SIGINT);
  drain(tool.out);
  const std::string said = drain(tool.err);
  int status = 0;
  waitpid(tool.pid, &status, 0);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) << status;
  EXPECT_EQ(said,
            "model-unpack-batch: interrupted: 1 of 3 models converted; unfinished outputs "
            "removed\n");
  EXPECT_TRUE(read_file("a.txt").ends_with("---End of file---"));
  EXPECT_TRUE(whole_output("a.glb") && whole_output("a.png"));
  EXPECT_EQ(tree("ex/a").size(), 13u);
  EXPECT_EQ(read_file("b.glb"), "an earlier glb");
  for (const char* gone : {"b.txt", "b.png", "ex/b", "c.txt", "ex/c"}) {
    EXPECT_FALSE(testing::exists(gone)) << gone;
  }
  EXPECT_EQ(tree(".").size(), 3 + 3 + 13 + 1) << "no temporary file is left";
}

TEST_F(BatchTest, NamesReachTheTerminalMaskedAndStandardErrorEscaped) {
  const std::string hostile = "m\x1b[31m\n\xc2\x9b\x85";
  const std::string escaped = "m\\x1b[31m\\x0a\\xc2\\x9b\\x85";
  fs::copy_file(MODEL_UNPACK_EXAMPLES_DIR "/sample.zmdl", hostile + ".zmdl");
  // With -q, the model that failed and why, each on one line.
  const ToolRun quiet = run_batch_tool({"-q", "-C", "ex", hostile, hostile + "2"});
  EXPECT_EQ(quiet.status, 1);
  EXPECT_EQ(quiet.err, "model-unpack-batch: " + escaped +
                           "2: Error opening input file :(\n"
                           "model-unpack-batch: 1 of 2 models had errors\n");
  const ToolRun usage = run_batch_tool({"-j", hostile});
  EXPECT_NE(usage.err.find("'" + escaped + "'"), std::string::npos) << usage.err;
  // Piped, the job's bytes stay as they are.
  const ToolRun piped = run_batch_tool({"--glb", hostile});
  EXPECT_TRUE(piped.out.starts_with("Input file: " + hostile + ".zmdl   \n"));

  testing::PtySession tool(
      {MODEL_UNPACK_BATCH_BINARY, "-C", "ex", "--glb", hostile, hostile + "2"});
  EXPECT_TRUE(tool.wait_for("Mesh written: m?[31m???.glb"));
  EXPECT_TRUE(tool.wait_for("Input file: m?[31m???2.zmdl"));
  tool.wait_exit();
  EXPECT_NE(tool.output().find("] " + escaped + "\x1b[K"), std::string::npos) << "progress";
  EXPECT_EQ(tool.output().find("\x1b[31m"), std::string::npos);
}

TEST_F(BatchTest, JobsRunWithTheThreadsThereAre) {
  chmod(".", 0777);
  std::vector<std::string> args{"-q", "-C", "ex", "-j", "64"};
  for (int i = 0; i < 64; ++i) {
    const std::string stem = numbered(i);
    fs::copy_file(MODEL_UNPACK_EXAMPLES_DIR "/sample.zmdl", stem + ".zmdl");
    args.push_back(stem);
  }
  // Run by a user allowed a few processes only, so most threads cannot start (root is not
  // limited); a copy of the binary here, where that user can reach it.
  fs::copy_file(MODEL_UNPACK_BATCH_BINARY, "batch");
  std::vector<char*> argv{const_cast<char*>("./batch")};
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  const ToolRun run = run_batch_tool({}, [&argv] {
    constexpr uid_t kNobody = 65534;
    if (geteuid() == 0 && (setgid(kNobody) != 0 || setuid(kNobody) != 0)) _exit(3);
    const rlimit limit{4, 4};
    setrlimit(RLIMIT_NPROC, &limit);
    execv(argv[0], argv.data());
    _exit(126);
  });
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(run.err.starts_with("model-unpack-batch: only ")) << run.err;
  EXPECT_TRUE(run.err.find(" jobs at once: ") != std::string::npos) << run.err;
  EXPECT_EQ(tree("ex").size(), 64u * 13);
}

TEST_F(BatchTest, LinksPlantedWhereOutputsGoAreReplacedNotFollowed) {
  fs::create_directories("elsewhere/project");
  for (const char* target : {"elsewhere/notes.txt", "elsewhere/work.glb", "elsewhere/pic.png"}) {
    testing::write_file(target, "keep me");
  }
  testing::write_file("elsewhere/project/pos.txt", "keep me");
  fs::create_directory("plain");
  for (const char* model : {"castle.zmdl", "tower.zmdl", "plain/castle.zmdl"}) {
    fs::copy_file(MODEL_UNPACK_EXAMPLES_DIR "/sample.zmdl", model);
  }
  fs::create_symlink("elsewhere/notes.txt", "castle.txt");
  fs::create_symlink("elsewhere/work.glb", "castle.glb");
  fs::create_symlink("elsewhere/pic.png", "castle.png");
  fs::create_directory("ex");
  fs::create_directory_symlink("../elsewhere/project", "ex/tower");

  const ToolRun run = run_batch_tool({"-C", "ex", "--glb", "--png", "castle", "tower"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.out.find("Error: exports folder ex/tower is a symbolic link :(\n"),
            std::string::npos)
      << run.out;
  for (const auto& [file, bytes] : tree("elsewhere")) EXPECT_EQ(bytes, "keep me") << file;
  EXPECT_EQ(tree("elsewhere").size(), 4u);
  for (const char* file : {"castle.txt", "castle.glb", "castle.png"}) {
    EXPECT_FALSE(fs::is_symlink(file)) << file;
  }
  // The same bytes as a job without the links.
  fs::current_path("plain");
  run_batch_tool({"-C", "ex", "--glb", "--png", "castle"});
  fs::current_path("..");
  EXPECT_EQ(read_file("castle.txt"), read_file("plain/castle.txt"));
  EXPECT_EQ(read_file("castle.glb"), read_file("plain/castle.glb"));
  EXPECT_EQ(tree("ex/castle"), tree("plain/ex/castle"));

  // The interactive tool: a planted link is replaced; one to the model file is refused.
  fs::remove("castle.txt");
  fs::create_symlink("elsewhere/notes.txt", "castle.txt");
  fs::create_symlink("tower.zmdl", "tower.txt");
  testing::PtySession tool({MODEL_UNPACK_BINARY});
  ASSERT_TRUE(tool.wait_for("file name\n"));
  tool.send("1castle\n");
  ASSERT_TRUE(tool.wait_for("Info file created"));
  tool.send("1tower\n");
  ASSERT_TRUE(tool.wait_for("Error: output file is the input file :("));
  tool.send("\x1b");
  tool.wait_exit();
  EXPECT_EQ(read_file("elsewhere/notes.txt"), "keep me");
  EXPECT_EQ(read_file("castle.txt"), read_file("plain/castle.txt"));
  EXPECT_EQ(read_file("tower.zmdl"), read_file(MODEL_UNPACK_EXAMPLES_DIR "/sample.zmdl"));
}

TEST(PathNames, OnlyTheLastComponentDecides) {
  const std::pair<std::string, JobNames> cases[] = {
      {"../models/castle", {"../models/castle.zmdl", "../models/castle.txt"}},
      {"./a.b/c", {"./a.b/c.zmdl", "./a.b/c.txt"}},
      {"a.b/c.d.e", {"a.b/c.d.e", "a.b/c.txt"}},
      {"castle.", {"castle.", "castle.txt"}},
      {"castle", {"castle.zmdl", "castle.txt"}},
  };
  for (const auto& [path, names] : cases) {
    const JobNames got = derive_path_names(path);
    EXPECT_EQ(got.model, names.model);
    EXPECT_EQ(got.info, names.info);
    EXPECT_EQ(derive_path_names(path).model, got.model);
  }
  const std::string long_name(400, 'n');
  EXPECT_EQ(derive_path_names(long_name).info, long_name + ".txt");
  EXPECT_EQ(path_stem("../a.b/castle.zmdl"), "castle");
}

}  // namespace
}  // namespace model_unpack

namespace model_unpack {
namespace {

// The batch tool with the fault shim preloaded, set by `settings` ("NAME=VALUE").
ToolRun run_with_shim(
    const std::vector<std::string>& args, const std::vector<std::string>& settings,
    const std::function<void()>& in_child = [] {}) {
  return run_batch_tool(args, [&] {
    setenv("LD_PRELOAD", FAULT_SHIM, 1);
    setenv("ASAN_OPTIONS", "verify_asan_link_order=0", 1);
    for (const std::string& setting : settings) {
      const std::size_t equals = setting.find('=');
      setenv(setting.substr(0, equals).c_str(), setting.substr(equals + 1).c_str(), 1);
    }
    in_child();
  });
}

// How often each file was opened to be made or emptied, by the name it is written for (a
// temporary's tag left out).
std::map<std::string, int> truncations(const std::string& log) {
  std::map<std::string, int> count;
  std::istringstream lines(read_file(log));
  for (std::string line; std::getline(lines, line);) ++count[line.substr(0, line.size() - 7)];
  return count;
}

bool died_by(const ToolRun& run, int signal) {
  return run.status == 128 + signal;
}

TEST_F(BatchTest, EachJobRunsOnceOnTheThreadsThatStart) {
  const auto kinds = models_of_every_kind();
  std::vector<std::string> models;
  for (std::size_t i = 0; i < 6; ++i) {
    kinds[i % kinds.size()].write(numbered(static_cast<int>(i)) + ".zmdl");
    models.push_back(numbered(static_cast<int>(i)));
  }
  auto command = [&](std::vector<std::string> options) {
    options.insert(options.end(), models.begin(), models.end());
    return options;
  };
  const ToolRun alone = run_with_shim(command({"-C", "one"}), {"SHIM_TRUNCATE_LOG=one.log"});
  const auto written_once = tree("one");
  // The watcher and one worker start; the second worker cannot.
  const ToolRun partial = run_with_shim(command({"-C", "two", "-j", "3"}),
                                        {"SHIM_THREADS=2", "SHIM_TRUNCATE_LOG=two.log"});
  EXPECT_EQ(partial.err.substr(0, 43), "model-unpack-batch: only 1 jobs at once: Re");
  EXPECT_EQ(partial.out, alone.out);
  EXPECT_EQ(tree("two"), written_once);
  EXPECT_EQ(truncations("two.log"), truncations("one.log"));
}

// A model whose one large block is formatted in chunks, beside the sample model.
void write_large_block_models() {
  Payload positions;
  positions.u32(40000);
  for (int i = 0; i < 40000; ++i) positions.f32(i).f32(i).f32(i);
  ModelBuilder().block("positions", positions).write("big.zmdl");
  fs::copy_file(MODEL_UNPACK_EXAMPLES_DIR "/sample.zmdl", "small.zmdl");
}

TEST_F(BatchTest, AFailedReadOrAllocationFailsItsModelAloneAndKeepsItsEarlierOutputs) {
  write_large_block_models();
  ASSERT_EQ(run_batch_tool({"-C", "ex", "--glb", "big", "small"}).status, 0);
  const auto earlier = tree(".");
  const ToolRun unreadable =
      run_with_shim({"-C", "ex", "-j", "2", "--glb", "big", "small"}, {"SHIM_EIO_PAST=200000"});
  EXPECT_EQ(unreadable.status, 1);
  EXPECT_NE(unreadable.out.find("Error reading input file big.zmdl: Input/output error :(\n"),
            std::string::npos)
      << unreadable.out;
  EXPECT_EQ(unreadable.err, "model-unpack-batch: 1 of 2 models had errors\n");
  EXPECT_EQ(tree("."), earlier);

#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the shim's allocator cannot stand in for the sanitizer's";
#else
  testing::write_file("small.txt", "");  // the small model still converts
  const ToolRun no_memory = run_batch_tool({"-q", "-C", "ex", "big", "small"}, [] {
    setenv("LD_PRELOAD", MEMORY_SHIM, 1);
    setenv("SHIM_NO_MEMORY_OVER", "300000", 1);
  });
  EXPECT_EQ(no_memory.status, 1);
  EXPECT_EQ(no_memory.err,
            "model-unpack-batch: big: Error: not enough memory :(\n"
            "model-unpack-batch: 1 of 2 models had errors\n");
  EXPECT_EQ(tree("."), earlier);

  // A picture that cannot be encoded is no picture: said, and no empty file left.
  const ToolRun unencoded = run_batch_tool({"--no-job", "--png", "--png-size", "16", "small"}, [] {
    setenv("LD_PRELOAD", MEMORY_SHIM, 1);
    setenv("SHIM_NO_MEMORY_OVER", "100000", 1);  // the encoder's table, and nothing else
  });
  EXPECT_EQ(unencoded.status, 1);
  EXPECT_EQ(unencoded.out, "Error writing small.png :(\n");
  EXPECT_FALSE(testing::exists("small.png"));

  // The interactive tool leaves no half-written info file and asks for the next name.
  setenv("LD_PRELOAD", MEMORY_SHIM, 1);
  setenv("SHIM_NO_MEMORY_OVER", "300000", 1);
  testing::PtySession tool({MODEL_UNPACK_BINARY});
  unsetenv("LD_PRELOAD");
  unsetenv("SHIM_NO_MEMORY_OVER");
  ASSERT_TRUE(tool.wait_for("file name\n"));
  tool.send("1big\n");
  ASSERT_TRUE(tool.wait_for("Error: not enough memory :(\n\nEsc"));
  tool.send("\x1b");
  const int status = tool.wait_exit();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_FALSE(testing::exists("big.txt"));
#endif
}

TEST_F(BatchTest, ManyModelsBehindASlowOneUnderFewDescriptors) {
  testing::large_model(12 << 20).write("slow.zmdl");
  std::vector<std::string> args{"-C", "ex", "slow"};
  for (int i = 0; i < 60; ++i) {
    fs::copy_file(MODEL_UNPACK_EXAMPLES_DIR "/sample.zmdl", numbered(i) + ".zmdl");
    args.push_back(numbered(i));
  }
  const ToolRun one = run_batch_tool(args);
  args.insert(args.begin(), {"-j", "2"});
  const ToolRun two = run_batch_tool(args, [] {
    const rlimit limit{40, 40};
    setrlimit(RLIMIT_NOFILE, &limit);
  });
  EXPECT_EQ(two.status, 0) << two.err;
  EXPECT_EQ(two.out, one.out);
  // Made as any new file is: 0666 less the umask.
  const mode_t mask = umask(0);
  umask(mask);
  for (const char* output : {"m0.txt", "ex/m0/pos.txt"}) {
    struct stat info {};
    ASSERT_EQ(stat(output, &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0666 & ~mask) << output;
  }
}

TEST_F(BatchTest, AnInterruptLeavesEachOutputWholeOrAsItWasAndTouchesNothingElse) {
  fs::copy_file(MODEL_UNPACK_EXAMPLES_DIR "/sample.zmdl", "m.zmdl");
  testing::write_file("pos.txt", "notes");
  testing::write_file("m.png", "an earlier png");
  // Signalled as the glb takes its name: the png takes its own with it.
  const ToolRun mesh_only =
      run_with_shim({"--no-job", "--glb", "--png", "m"}, {"SHIM_SIGNAL_ON_RENAME=15"});
  EXPECT_TRUE(died_by(mesh_only, SIGTERM)) << mesh_only.status;
  EXPECT_EQ(read_file("pos.txt"), "notes");
  EXPECT_TRUE(whole_output("m.glb"));
  EXPECT_TRUE(whole_output("m.png"));
  fs::remove("m.glb");
  testing::write_file("m.png", "an earlier png");

  const ToolRun first =
      run_with_shim({"-C", "deep/er", "--glb", "--png", "--png-size", "4096", "m"},
                    {"SHIM_SIGNAL_ON_CREATE=2:.m.png."});
  EXPECT_TRUE(died_by(first, SIGINT)) << first.status;
  EXPECT_EQ(first.err,
            "model-unpack-batch: interrupted: 0 of 1 models converted; unfinished "
            "outputs removed\n");
  EXPECT_FALSE(testing::exists("deep")) << "folders the run made";
  EXPECT_EQ(tree("."), (std::map<std::string, std::string>{{"m.zmdl", read_file("m.zmdl")},
                                                           {"pos.txt", "notes"},
                                                           {"m.png", "an earlier png"}}))
      << "no temporary file is left, nothing else is touched";

  // A re-run interrupted at any moment of the job keeps every output of the run before.
  ASSERT_EQ(run_batch_tool({"-C", "ex", "--glb", "--png", "m"}).status, 0);
  const auto earlier = tree(".");
  const char* moments[] = {"3:.pos.txt.", "10:.m.txt.", "14:.m.glb.", "12:.m.png."};
  for (const char* moment : moments) {
    const ToolRun again = run_with_shim({"-C", "ex", "--glb", "--png", "m"},
                                        {std::string("SHIM_SIGNAL_ON_CREATE=") + moment}, [] {
                                          const rlimit no_core{0, 0};
                                          setrlimit(RLIMIT_CORE, &no_core);
                                        });
    EXPECT_TRUE(died_by(again, std::atoi(moment))) << moment << " " << again.status;
    EXPECT_EQ(tree("."), earlier) << moment;
  }

  // A signal that comes once the watcher has ended still ends the batch.
  const ToolRun at_the_end =
      run_with_shim({"--no-job", "--glb", "m"}, {"SHIM_SIGNAL_AFTER_JOIN=15"});
  EXPECT_TRUE(died_by(at_the_end, SIGTERM)) << at_the_end.status;
}

TEST_F(BatchTest, AnInterruptIsAnsweredWithoutAWatcherAndPastAStalledReader) {
  fs::copy_file(MODEL_UNPACK_EXAMPLES_DIR "/sample.zmdl", "m.zmdl");
  ASSERT_EQ(run_batch_tool({"-C", "ex", "--glb", "m"}).status, 0);
  const auto earlier = tree(".");
  // No thread starts, the watcher's neither: the job itself answers the signal.
  const ToolRun unwatched = run_with_shim({"-C", "ex", "--glb", "m"},
                                          {"SHIM_THREADS=0", "SHIM_SIGNAL_ON_CREATE=15:.m.txt."});
  EXPECT_TRUE(died_by(unwatched, SIGTERM)) << unwatched.status;
  EXPECT_EQ(unwatched.err,
            "model-unpack-batch: interrupted: 0 of 1 models converted; unfinished "
            "outputs removed\n");
  EXPECT_EQ(tree("."), earlier);

  // Standard output and error on one pipe nobody reads: SIGTERM still ends the run at once.
  testing::large_model(12 << 20).write("slow.zmdl");
  int stalled[2];
  ASSERT_EQ(pipe(stalled), 0);
  fcntl(stalled[1], F_SETFL, O_NONBLOCK);
  const std::string filler(4096, 'x');
  while (write(stalled[1], filler.data(), filler.size()) > 0) {
  }
  fcntl(stalled[1], F_SETFL, 0);
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(stalled[1], 1);
    dup2(stalled[1], 2);
    alarm(20);
    execl(MODEL_UNPACK_BATCH_BINARY, MODEL_UNPACK_BATCH_BINARY, "-C", "ex", "-j", "2", "slow", "m",
          nullptr);
    _exit(127);
  }
  close(stalled[1]);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  kill(pid, SIGTERM);
  int status = 0;
  for (int waited = 0; waited < 100 && waitpid(pid, &status, WNOHANG) == 0; ++waited) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << "not ended within a second";
  if (!WIFSIGNALED(status)) waitpid(pid, &status, 0);
  close(stalled[0]);
  for (const auto& [name, bytes] : tree(".")) EXPECT_NE(name[0], '.') << "a temporary left";
}

TEST_F(BatchTest, CleanUpGoesThroughTheFoldersTheJobsWroteIn) {
  testing::large_model(12 << 20).write("big.zmdl");
  fs::copy_file("big.zmdl", "big2.zmdl");
  // Both jobs running: every folder the run made goes, the shared parents last.
  const ToolRun both = run_with_shim({"-C", "new/deep", "-j", "2", "big", "big2"},
                                     {"SHIM_SIGNAL_ON_CREATE=2:.big2.txt."});
  EXPECT_TRUE(died_by(both, SIGINT)) << both.status;
  EXPECT_FALSE(testing::exists("new"));

  // The model's folder swapped for a link while its job runs: the clean-up removes the job's
  // temporaries where they are, and nothing where the link leads.
  fs::create_directory("victim");
  testing::write_file("victim/pos.txt", "keep");
  const Started tool = start_batch_tool({"-C", "ex", "big"}, SIGTERM);
  ASSERT_GT(tool.pid, 0);
  for (int i = 0; i < 5000 && !testing::exists("ex/big"); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  fs::rename("ex/big", "ex/big.moved");
  fs::create_directory_symlink("../victim", "ex/big");
  kill(tool.pid, SIGTERM);
  drain(tool.out);
  drain(tool.err);
  int status = 0;
  waitpid(tool.pid, &status, 0);
  EXPECT_EQ(tree("victim"), (std::map<std::string, std::string>{{"pos.txt", "keep"}}));
  for (const auto& [name, bytes] : tree("ex/big.moved")) {
    EXPECT_FALSE(name.starts_with(".")) << "a temporary left: " << name;
  }
}

TEST_F(BatchTest, AListingShowsWhatTheJobShowsAndWritesNothing) {
  fs::copy_file(MODEL_UNPACK_EXAMPLES_DIR "/sample.zmdl", "m.zmdl");
  testing::write_file("cut.zmdl", read_file("m.zmdl").substr(0, 700));
  const auto before = tree(".");
  const ToolRun listed = run_batch_tool({"--list", "m", "cut", "-j", "2"});
  EXPECT_EQ(listed.status, 1);
  EXPECT_EQ(listed.err, "model-unpack-batch: 1 of 2 models had errors\n");
  EXPECT_EQ(tree("."), before);
  // The job's lines up to its first export, but the info file's name.
  std::string job = run_batch_tool({"m"}).out;
  job = job.substr(0, job.find("Exporting"));
  job.erase(job.find("output file:"),
            job.find('\n', job.find("output file:")) + 1 - job.find("output file:"));
  EXPECT_TRUE(listed.out.starts_with(job + "Input file: cut.zmdl   \n")) << listed.out;
  EXPECT_TRUE(listed.out.ends_with("Error: the file ends before its directory does :(\n"));
}

TEST_F(BatchTest, AReaderThatGoesAwayEndsTheRunLikeAnInterrupt) {
  // Enough directory lines to fill the pipe while the job runs.
  ModelBuilder model;
  model.header("long listing").block("positions", testing::floats3({1, 2, 3}));
  for (int i = 0; i < 6000; ++i) model.entry("positions", model.payload_offset(0));
  model.write("long.zmdl");
  fs::copy_file(MODEL_UNPACK_EXAMPLES_DIR "/sample.zmdl", "m.zmdl");
  const Started tool = start_batch_tool({"--glb", "long", "m"}, SIGPIPE);
  ASSERT_GT(tool.pid, 0);
  char first;
  ASSERT_EQ(read(tool.out, &first, 1), 1);
  close(tool.out);
  const std::string said = drain(tool.err);
  int status = 0;
  waitpid(tool.pid, &status, 0);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGPIPE) << status;
  EXPECT_TRUE(
      said.ends_with("model-unpack-batch: interrupted: 1 of 2 models converted; "
                     "unfinished outputs removed\n"))
      << said;
  EXPECT_TRUE(read_file("long.txt").ends_with("---End of file---"));
  EXPECT_TRUE(whole_output("long.glb"));
  EXPECT_FALSE(testing::exists("m.txt"));
}

}  // namespace
}  // namespace model_unpack
