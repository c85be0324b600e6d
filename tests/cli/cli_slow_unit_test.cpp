// A unit that answers every query late but inside the reply time-out is a working unit:
// the desktop program reads it, and so must vqxctl. Its read alone takes over a minute
// and a quarter, so it is a test binary of its own.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>

#include "cli_run.h"
#include "link/serial_comm.h"
#include "runner/sim_runner.h"

namespace vqx::cli {
namespace {

using ::testing::HasSubstr;

TEST(CliSlowUnit, AUnitAnsweringEachQueryHalfASecondInsideTheTimeOutIsReadCompletely) {
  sim::SimConfig config;
  config.replyDelayMs = kReplyTimeoutMs - 500;  // 2.5 s: the escape and 30 exchanges take over 80 s
  sim::SimRunner unit(std::move(config));
  std::string error;
  ASSERT_TRUE(unit.Start(&error)) << error;

  std::ostringstream out, err;
  CliEnvironment env{out, err};
  const int code = RunVqxctl({"read", "--port", unit.SlavePath(), "--quiet"}, env);
  unit.Stop();
  EXPECT_EQ(code, 0) << err.str();
  EXPECT_THAT(out.str(), HasSubstr("Name: VQX-2\n"));
  EXPECT_THAT(out.str(), HasSubstr("Link status: "));
}

}  // namespace
}  // namespace vqx::cli
