// Jobs under failing file systems: unwritable directories, unreadable models, writes that fail
// mid-job. Each job runs in a child process without root's privileges (root may write anywhere)
// so the failures are real; the child reports its console output through a pipe.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

#include "model_builder.h"
#include "test_support.h"

namespace model_unpack {
namespace {

using testing::floats3;
using testing::ModelBuilder;
using testing::read_file;

constexpr uid_t kNobody = 65534;

// Runs the job in a child without privileges; `limit` runs in the child before the job.
std::string run_job_unprivileged(
    const std::string& typed_name, const std::function<void()>& limit = [] {}) {
  int output[2];
  if (pipe(output) != 0) return "pipe failed";
  const pid_t child = fork();
  if (child == 0) {
    close(output[0]);
    if (geteuid() == 0 && (setgid(kNobody) != 0 || setuid(kNobody) != 0)) _exit(3);
    limit();
    const std::string printed = testing::run_job(typed_name);
    const ssize_t written = write(output[1], printed.data(), printed.size());
    _exit(written == static_cast<ssize_t>(printed.size()) ? 0 : 4);
  }
  close(output[1]);
  std::string printed;
  char buffer[4096];
  for (ssize_t got; (got = read(output[0], buffer, sizeof buffer)) > 0;)
    printed.append(buffer, got);
  close(output[0]);
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
  return printed;
}

class FaultTest : public ::testing::Test {
 protected:
  FaultTest() { chmod(directory_.path().c_str(), 0777); }
  testing::ScratchDirectory directory_;
  const ModelBuilder model_ = ModelBuilder().header("h").block("positions", floats3({1, 2, 3}));
};

TEST_F(FaultTest, UnwritableDirectoryStopsTheInfoFile) {
  std::filesystem::create_directory("ro");
  model_.write("ro/m.zmdl");
  chmod("ro", 0555);
  EXPECT_EQ(run_job_unprivileged("ro/m"),
            "Input file: ro/m.zmdl   \noutput file: ro/m.txt   \nError opening output file :(\n");
  EXPECT_EQ(read_file("ro/m.zmdl"), model_.bytes());
}

TEST_F(FaultTest, UnwritableCurrentDirectoryFailsEachExportAndTheJobGoesOn) {
  std::filesystem::create_directory("models");
  chmod("models", 0777);
  model_.write("models/m.zmdl");
  chmod(".", 0555);
  const std::string printed = run_job_unprivileged("models/m");
  chmod(".", 0777);
  EXPECT_NE(printed.find("Exporting positions\nError opening export file pos.txt :(\n"
                         "Creating info file\nInfo file created\n"),
            std::string::npos)
      << printed;
  EXPECT_TRUE(read_file("models/m.txt").ends_with("---End of file---"));
}

TEST_F(FaultTest, UnreadableModelIsAnInputError) {
  model_.write("m.zmdl");
  chmod("m.zmdl", 0);
  if (geteuid() != 0 && access("m.zmdl", R_OK) == 0)
    GTEST_SKIP() << "file permissions not enforced";
  EXPECT_EQ(run_job_unprivileged("m"),
            "Input file: m.zmdl   \noutput file: m.txt   \nError opening input file :(\n");
}

TEST_F(FaultTest, WritesCutByAFileSizeLimitAreReportedAndTheJobGoesOn) {
  // Larger than an output buffer, so the cut happens in a later write, not the first.
  testing::Payload many;
  many.u32(30000);
  for (int i = 0; i < 90000; ++i) many.f32(static_cast<float>(i));
  testing::Payload links;
  links.u32(3000).fill(6000, 1);
  ModelBuilder()
      .block("positions", many)
      .block("normals", floats3({1, 2, 3}))
      .block("bonelinks", links)
      .write("m.zmdl");
  const std::string printed = run_job_unprivileged("m", [] {
    signal(SIGXFSZ, SIG_IGN);  // as the tool does: a failed write is not a crash
    const rlimit limit{4096, 4096};
    setrlimit(RLIMIT_FSIZE, &limit);
  });
  EXPECT_NE(printed.find("Exporting positions\nError writing export file pos.txt :(\n"
                         "Exporting normals\nNormals exported\n"
                         "Exporting bonelinks\nError writing export file bonelinks.txt :(\n"
                         "Creating info file\nError writing info file m.txt :(\n"),
            std::string::npos)
      << printed;
  EXPECT_EQ(read_file("pos.txt").size(), 4096u);
  EXPECT_EQ(read_file("normals.txt"), floats3({1, 2, 3}).bytes());
  EXPECT_EQ(read_file("m.txt").size(), 4096u);
}

TEST_F(FaultTest, AFullDeviceFailsTheWritesOfItsFileOnly) {
  model_.write("m.zmdl");
  if (!testing::make_full_device("m.txt")) GTEST_SKIP() << "cannot make a device node here";
  EXPECT_TRUE(testing::run_job("m").ends_with(
      "Positions exported\nCreating info file\nError writing info file m.txt :(\n"));
  EXPECT_EQ(read_file("m.zmdl"), model_.bytes());
}

}  // namespace
}  // namespace model_unpack
