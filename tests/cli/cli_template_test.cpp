// vqxctl read --template in this process against vqxsim on a pseudo-terminal, in real
// time: each read escapes the unit (about five seconds) and returns it to transparent mode.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <istream>
#include <memory>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "exit_codes.h"
#include "runner/sim_runner.h"
#include "support/vqxctl_runner.h"
#include "unit_table.h"

namespace vqx::cli {
namespace {

using ::testing::HasSubstr;
using Outcome = testing::VqxctlOutcome;

const char* const kIdentityFields[] = {"name", "ipAddress", "macAddress", "serialNumber", "firmwareVersion", "dhcp"};

class ReadTemplate : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::SimConfig config;
    config.rebootMs = 1000;
    sim_ = std::make_unique<sim::SimRunner>(std::move(config));
    std::string error;
    ASSERT_TRUE(sim_->Start(&error)) << error;
    char pattern[] = "/tmp/vqx-template-cli-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    if (sim_) sim_->Stop();
    std::filesystem::remove_all(dir_);
  }

  // A terminal on standard input answers with answer; without one nobody can.
  Outcome Read(std::vector<std::string> rest, const std::string* answer = nullptr) {
    std::vector<std::string> args = {"read", "--port", sim_->SlavePath(), "--template"};
    args.insert(args.end(), rest.begin(), rest.end());
    std::istringstream in(answer != nullptr ? *answer : std::string());
    return testing::RunVqxctlWith(args, [&](CliEnvironment& env) {
      env.in = &in;
      env.inIsTerminal = answer != nullptr;
    });
  }

  // The template as LoadTemplateFile takes it back from a file.
  std::optional<snapshot::PartialSettings> Reloaded(const std::string& out) {
    const std::string path = dir_ + "/template.json";
    std::ofstream(path, std::ios::binary) << out;
    std::string error;
    auto loaded = snapshot::LoadTemplateFile(path, &error);
    EXPECT_TRUE(loaded) << error;
    return loaded;
  }

  std::unique_ptr<sim::SimRunner> sim_;
  std::string dir_;
};

TEST_F(ReadTemplate, DropLeavesOutTheIdentityAndThePasswordAndIsATemplateFile) {
  const Outcome run = Read({"--password", "drop", "--quiet"});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(run.err, "");
  const nlohmann::json j = nlohmann::json::parse(run.out);
  for (const char* field : kIdentityFields) EXPECT_FALSE(j.contains(field)) << field;
  EXPECT_FALSE(j.contains("webPassword"));
  EXPECT_FALSE(j.contains("linkStatus"));
  EXPECT_FALSE(j.contains("record"));
  EXPECT_EQ(j["voipPort"], 2000);
  EXPECT_EQ(j["vocoderText"], "GSM 13Kbps");
  const auto loaded = Reloaded(run.out);
  ASSERT_TRUE(loaded);
  EXPECT_EQ(loaded->values.voipPort, 2000);
  EXPECT_FALSE(loaded->Has("webPassword"));
}

TEST_F(ReadTemplate, KeepCarriesThePasswordIntoTheTemplate) {
  const Outcome run = Read({"--password", "keep", "--quiet"});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(run.err, "");
  const nlohmann::json j = nlohmann::json::parse(run.out);
  EXPECT_EQ(j["webPassword"], "admin");
  for (const char* field : kIdentityFields) EXPECT_FALSE(j.contains(field)) << field;
  const auto loaded = Reloaded(run.out);
  ASSERT_TRUE(loaded);
  EXPECT_STREQ(loaded->values.webPassword, "admin");
}

TEST_F(ReadTemplate, WithoutTheFlagATerminalIsAskedOnceAndAPipeGetsNoPasswordAndANote) {
  const std::string yes = "y\n";
  const Outcome asked = Read({"--quiet"}, &yes);
  ASSERT_EQ(asked.code, 0) << asked.err;
  EXPECT_EQ(asked.err, "Keep the web password in the template? [y/N] ");
  EXPECT_EQ(nlohmann::json::parse(asked.out)["webPassword"], "admin");

  const Outcome piped = Read({"--quiet"});
  ASSERT_EQ(piped.code, 0) << piped.err;
  EXPECT_THAT(piped.err, HasSubstr("the web password is left out of the template (give --password keep"));
  EXPECT_FALSE(nlohmann::json::parse(piped.out).contains("webPassword"));
}

// Standard input of a terminal on which the user presses Ctrl-C at the question: the
// interrupt is set and the read ends without a line, as a signal ends it.
class CtrlCAtTheQuestion : public std::streambuf {
 public:
  explicit CtrlCAtTheQuestion(std::atomic<bool>& interrupt) : interrupt_(interrupt) {}

 protected:
  int_type underflow() override {
    interrupt_.store(true);
    return traits_type::eof();
  }

 private:
  std::atomic<bool>& interrupt_;
};

TEST_F(ReadTemplate, CtrlCAtThePasswordQuestionEndsWith130AndTheUnitHearsNothing) {
  std::atomic<bool> interrupt{false};
  CtrlCAtTheQuestion keyboard(interrupt);
  std::istream in(&keyboard);
  const Outcome run = testing::RunVqxctlWith({"read", "--port", sim_->SlavePath(), "--template", "--quiet"},
                                             [&](CliEnvironment& env) {
                                               env.in = &in;
                                               env.inIsTerminal = true;
                                               env.interrupt = &interrupt;
                                             });
  EXPECT_EQ(run.code, kExitInterrupted) << run.err;
  EXPECT_THAT(run.err, HasSubstr("Keep the web password in the template? [y/N] "));
  EXPECT_THAT(run.err, HasSubstr("Interrupted."));
  EXPECT_EQ(run.out, "");
  EXPECT_TRUE(sim_->ReceivedLines().empty());
  EXPECT_EQ(sim_->WithUnit([](const sim::SimUnit& unit) { return unit.ForwardedBytes(); }), "") << "not even an escape";
}

TEST(ReadTemplateOptions, TextOutputOrAPasswordWithoutTemplateIsACommandLineErrorBeforeTheUnitIsTouched) {
  // /dev/null is no unit: a run that got as far as the port would fail with another code.
  const Outcome text = testing::RunVqxctlHere({"read", "--port", "/dev/null", "--template", "--format", "text"});
  EXPECT_EQ(text.code, 2);
  EXPECT_THAT(text.err, HasSubstr("--template prints JSON"));
  const Outcome password = testing::RunVqxctlHere({"read", "--port", "/dev/null", "--password", "keep"});
  EXPECT_EQ(password.code, 2);
  EXPECT_THAT(password.err, HasSubstr("--password belongs to --template"));
  const Outcome bad = testing::RunVqxctlHere({"read", "--port", "/dev/null", "--template", "--password", "maybe"});
  EXPECT_EQ(bad.code, 2);
}

}  // namespace
}  // namespace vqx::cli
