// The real batch binary, run as a script would run it: no terminal, standard input closed.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <filesystem>
#include <functional>
#include <map>
#include <thread>

#include "job/file_names.h"
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

std::string drain(int fd) {
  std::string text;
  char buffer[4096];
  for (ssize_t got; (got = read(fd, buffer, sizeof buffer)) > 0;) text.append(buffer, got);
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
  args.push_back("in/absent");
  std::map<std::string, std::string> outputs[2];
  std::string stdouts[2];
  for (int jobs : {1, 2}) {
    std::vector<std::string> command{"-C", "out" + std::to_string(jobs), "-j",
                                     std::to_string(jobs)};
    command.insert(command.end(), args.begin(), args.end());
    const ToolRun run = run_batch_tool(command);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "model-unpack-batch: 1 of 13 models had errors\n");
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

  testing::PtySession tool({MODEL_UNPACK_BINARY});
  ASSERT_TRUE(tool.wait_for("file name\n"));
  tool.send("1m\n");
  ASSERT_TRUE(tool.wait_for("Creating info file\nError writing info file m.txt :(\n\nEsc"));
  tool.send("\x1b");
  const int status = tool.wait_exit();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
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
