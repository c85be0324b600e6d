#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "snapshot.h"

namespace vqx::snapshot {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

class SnapshotFile : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/vqx-snapshot-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(dir); }
  std::string Write(const std::string& name, const std::string& content) {
    const std::string path = dir + "/" + name;
    std::ofstream(path, std::ios::binary) << content;
    return path;
  }
  std::string dir;
};

TEST_F(SnapshotFile, ReadsASnapshotFile) {
  const std::string path = Write("unit.json", "{ \"name\": \"Mast 3\", \"vocoder\": 2 }\n");
  std::string error;
  const auto partial = LoadSnapshotFile(path, &error);
  ASSERT_TRUE(partial) << error;
  EXPECT_STREQ(partial->values.name, "Mast 3");
  EXPECT_EQ(partial->values.vocoder, 2);
}

TEST_F(SnapshotFile, MissingFileDirectoryAndEmptyFileAreRefusedWithTheirReason) {
  std::string error;
  EXPECT_FALSE(LoadJsonFile(dir + "/none.json", &error));
  EXPECT_EQ(error, dir + "/none.json: does not exist");
  EXPECT_FALSE(LoadJsonFile(dir, &error));
  EXPECT_EQ(error, dir + ": is a directory, not a file");
  const std::string empty = Write("empty.json", " \n");
  EXPECT_FALSE(LoadJsonFile(empty, &error));
  EXPECT_THAT(error, HasSubstr("is empty"));
}

TEST_F(SnapshotFile, UnreadableFileIsRefusedAsPermissionDenied) {
  const std::string path = Write("locked.json", "{}");
  ASSERT_EQ(::chmod(dir.c_str(), 0755), 0);  // the file itself is what refuses
  ASSERT_EQ(::chmod(path.c_str(), 0), 0);
  // Root reads any file: the check runs in a child that has given up root.
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(2);
    std::string error;
    const bool refused = !LoadJsonFile(path, &error) && error == path + ": permission denied";
    ::_exit(refused ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "1: not refused as permission denied, 2: could not give up root";
}

TEST_F(SnapshotFile, BrokenJsonIsRefusedWithLineAndColumn) {
  const std::string path = Write("broken.json", "{\n  \"name\": \"x\",\n  oops\n}\n");
  std::string error;
  EXPECT_FALSE(LoadJsonFile(path, &error));
  EXPECT_THAT(error, StartsWith(path + ": not valid JSON at line 3, column 3: "));
  EXPECT_THAT(error, HasSubstr("invalid literal"));
}

TEST_F(SnapshotFile, SnapshotRefusalNamesTheFileAndTheField) {
  const std::string path = Write("bad.json", "{\"voipPort\": 99999}");
  std::string error;
  EXPECT_FALSE(LoadSnapshotFile(path, &error));
  EXPECT_THAT(error, StartsWith(path + ": voipPort: 99999 is out of range"));
}

}  // namespace
}  // namespace vqx::snapshot
