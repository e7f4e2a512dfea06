#include "platform/temp_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/signal_cleanup.h"

namespace fs = std::filesystem;

namespace {

class TempFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("zepra-temp-test-" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  void TearDown() override { fs::remove_all(dir); }
  fs::path dir;
};

}  // namespace

TEST_F(TempFiles, UniqueEmptyPrivateFilesWithPrefixGoWithTheirObject) {
  {
    zepra::TempFile a(dir, "ZEPRA");
    zepra::TempFile b(dir, "ZEPRA");
    ASSERT_TRUE(a && b);
    EXPECT_NE(a.path(), b.path());
    EXPECT_EQ(a.path().filename().string().rfind("ZEPRA", 0), 0u);
    EXPECT_EQ(fs::file_size(a.path()), 0u);
    struct stat st {};
    ASSERT_EQ(stat(a.path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    fs::remove(b.path());  // a file already gone is no error
  }
  EXPECT_TRUE(fs::is_empty(dir));
}

TEST_F(TempFiles, ARenamedFileStaysWhereItWasPut) {
  {
    zepra::TempFile temp(dir, ".ZEPRA");
    ASSERT_TRUE(temp);
    std::ofstream(temp.path()) << "image";
    EXPECT_FALSE(temp.renameTo(dir / "missing" / "out.gba"));
    EXPECT_TRUE(temp.renameTo(dir / "out.gba"));
  }
  EXPECT_EQ(fs::file_size(dir / "out.gba"), 5u);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
}

TEST_F(TempFiles, MissingFolderIsReported) {
  std::string error;
  zepra::TempFile temp("/nonexistent/zepra", "ZEPRA", &error);
  EXPECT_FALSE(temp);
  EXPECT_NE(error.find("/nonexistent/zepra"), std::string::npos);
}

// A process ended by a signal while it holds temporary files leaves none of
// them; a renamed file is its target's and stays.
TEST_F(TempFiles, ASignalThatEndsTheProcessRemovesItsTemporaryFiles) {
  for (int signo : {SIGHUP, SIGQUIT, SIGTERM, SIGUSR1, SIGALRM, SIGABRT, SIGSEGV}) {
    SCOPED_TRACE(signo);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      zepra::installSignalCleanup();
      static zepra::TempFile held(dir, "ZEPRA");
      static zepra::TempFile placed(dir, ".ZEPRA");
      if (!held || !placed || !placed.renameTo(dir / "kept.gba")) _exit(3);
      raise(signo);
      _exit(4);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "exit " << WEXITSTATUS(status);
    EXPECT_EQ(WTERMSIG(status), signo);
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(dir)) left.push_back(entry.path().filename().string());
    EXPECT_EQ(left, std::vector<std::string>{"kept.gba"});
    fs::remove(dir / "kept.gba");
  }
}

TEST(TempDirectory, HonoursTmpdir) {
  const char* old = std::getenv("TMPDIR");
  std::string saved = old ? old : "";
  setenv("TMPDIR", "/nonexistent/zepra", 1);
  EXPECT_FALSE(zepra::tempDirectory());
  setenv("TMPDIR", "/", 1);
  EXPECT_EQ(zepra::tempDirectory().value(), fs::path("/"));
  if (old) setenv("TMPDIR", saved.c_str(), 1); else unsetenv("TMPDIR");
}
