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

// Two names that say "does not exist" while something stands under them.
TEST_F(SnapshotFile, ALoopOfLinksAndATerminalDeviceWithoutATerminalGetTheirOwnReasons) {
  ASSERT_EQ(::symlink("loop-b", (dir + "/loop-a").c_str()), 0);
  ASSERT_EQ(::symlink("loop-a", (dir + "/loop-b").c_str()), 0);
  std::string error;
  EXPECT_FALSE(LoadJsonFile(dir + "/loop-a", &error));
  EXPECT_EQ(error, dir + "/loop-a: is a loop of symbolic links that never reaches a file");

  // /dev/tty in a process without a controlling terminal: ENXIO. A child of its own
  // session has none, whatever the test runs under.
  int pipeEnds[2];
  ASSERT_EQ(::pipe(pipeEnds), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::close(pipeEnds[0]);
    std::string why;
    if (::setsid() < 0 || LoadJsonFile("/dev/tty", &why)) why = "setsid failed or /dev/tty was read";
    const ssize_t ignored = ::write(pipeEnds[1], why.data(), why.size());
    static_cast<void>(ignored);
    ::_exit(0);
  }
  ::close(pipeEnds[1]);
  std::string said;
  char buffer[256];
  for (ssize_t n; (n = ::read(pipeEnds[0], buffer, sizeof(buffer))) > 0;) said.append(buffer, static_cast<size_t>(n));
  ::close(pipeEnds[0]);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_EQ(said, "/dev/tty: is a device with nothing behind it (no terminal or unit attached)");
}

TEST_F(SnapshotFile, AListOfMoreSnapshotsThanAHistoryHoldsIsRefusedAtTheFirstOneOver) {
  std::string list = "[";
  for (int i = 0; i < 201; ++i) list += std::string(i ? "," : "") + "{}";
  std::string error;
  EXPECT_FALSE(LoadJsonFile(Write("long.json", list + "]"), &error));
  EXPECT_THAT(error, HasSubstr("the list holds more than 200 entries; the History holds at most 200"));
  list.pop_back();
  list.pop_back();
  list.pop_back();
  EXPECT_TRUE(LoadJsonFile(Write("full.json", list + "]"), &error)) << error;
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

TEST_F(SnapshotFile, NumbersBeyondADoubleAreRefusedWithTheirPlaceNotThrown) {
  struct Case {
    const char* content;
    const char* reason;
  };
  const Case cases[] = {
      {"{\"voipPort\": 1e400}", "line 1, column 18: number overflow parsing '1e400'"},
      {"[{\"vocoder\": -1e400}]", "line 1, column 19: number overflow parsing '-1e400'"},
      {"{\n \"rxDelay\": 123456789e999999\n}", "line 2, column "},
  };
  for (const Case& c : cases) {
    const std::string path = Write("big.json", c.content);
    std::string error;
    EXPECT_FALSE(LoadJsonFile(path, &error)) << c.content;
    EXPECT_THAT(error, StartsWith(path + ": not valid JSON at ")) << c.content;
    EXPECT_THAT(error, HasSubstr(c.reason));
    EXPECT_FALSE(LoadSnapshotFile(path, &error));
  }
}

TEST_F(SnapshotFile, AKeyGivenTwiceIsRefusedByNameWithItsEntry) {
  std::string error;
  EXPECT_FALSE(LoadJsonFile(Write("twice.json", R"({"name": "A", "vocoder": 1, "name": "B"})"), &error));
  EXPECT_THAT(error, HasSubstr(": \"name\" is given twice in one object; give each field once"));
  EXPECT_FALSE(
      LoadJsonFile(Write("list.json", R"([{"name": "A"}, {"vocoder": 1, "vocoderText": "x", "vocoder": 2}])"), &error));
  EXPECT_THAT(error, HasSubstr("\"vocoder\" is given twice in one object (entry 2)"));
  // The same name in two objects is no repetition.
  const auto list = LoadJsonFile(Write("ok.json", R"([{"name": "A"}, {"name": "A", "linkStatus": {"text": "x"}}])"), &error);
  ASSERT_TRUE(list) << error;
  EXPECT_EQ((*list)[1]["linkStatus"]["text"], "x");
}

TEST_F(SnapshotFile, NestingNoSnapshotHasIsRefused) {
  std::string error;
  EXPECT_FALSE(ParseJsonText(std::string(100000, '['), &error));
  EXPECT_THAT(error, StartsWith("nested deeper than 8 levels"));
  EXPECT_FALSE(ParseJsonText(R"({"unsupported": [[[[[[[["DSCP"]]]]]]]]})", &error));
  EXPECT_THAT(error, StartsWith("nested deeper than 8 levels"));
  // What export writes (a list of objects holding a list) is well within it.
  const auto ok = ParseJsonText(R"([{"unsupported": ["DSCP"], "name": "A"}])", &error);
  ASSERT_TRUE(ok) << error;
  EXPECT_EQ((*ok)[0]["unsupported"][0], "DSCP");
}

TEST_F(SnapshotFile, SnapshotRefusalNamesTheFileAndTheField) {
  const std::string path = Write("bad.json", "{\"voipPort\": 99999}");
  std::string error;
  EXPECT_FALSE(LoadSnapshotFile(path, &error));
  EXPECT_THAT(error, StartsWith(path + ": voipPort: 99999 is out of range"));
}

}  // namespace
}  // namespace vqx::snapshot
