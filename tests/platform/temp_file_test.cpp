#include "platform/temp_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;

TEST(TempFile, CreatesUniqueEmptyPrivateFilesWithPrefix) {
  fs::path dir = fs::temp_directory_path() / ("zepra-temp-test-" + std::to_string(getpid()));
  fs::create_directories(dir);
  auto a = zepra::createTempFile(dir);
  auto b = zepra::createTempFile(dir);
  ASSERT_TRUE(a && b);
  EXPECT_NE(*a, *b);
  EXPECT_EQ(a->filename().string().rfind("ZEPRA", 0), 0u);
  EXPECT_EQ(fs::file_size(*a), 0u);
  struct stat st {};
  ASSERT_EQ(stat(a->c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  zepra::removeQuietly(*a);
  zepra::removeQuietly(*b);
  zepra::removeQuietly(*a);  // a missing file is no error
  EXPECT_TRUE(fs::is_empty(dir));
  fs::remove_all(dir);
}

TEST(TempFile, MissingFolderIsReported) {
  std::string error;
  EXPECT_FALSE(zepra::createTempFile("/nonexistent/zepra", "ZEPRA", &error));
  EXPECT_NE(error.find("/nonexistent/zepra"), std::string::npos);
}

TEST(TempFile, TempDirectoryHonoursTmpdir) {
  const char* old = std::getenv("TMPDIR");
  std::string saved = old ? old : "";
  setenv("TMPDIR", "/nonexistent/zepra", 1);
  EXPECT_FALSE(zepra::tempDirectory());
  setenv("TMPDIR", "/", 1);
  EXPECT_EQ(zepra::tempDirectory().value(), fs::path("/"));
  if (old) setenv("TMPDIR", saved.c_str(), 1); else unsetenv("TMPDIR");
}
