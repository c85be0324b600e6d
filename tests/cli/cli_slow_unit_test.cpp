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
#include "support/vqxctl_runner.h"

namespace vqx::cli {
namespace {

using ::testing::HasSubstr;

TEST(CliSlowUnit, AUnitAnsweringEachQueryHalfASecondInsideTheTimeOutIsReadCompletely) {
  sim::SimConfig config;
  config.replyDelayMs = kReplyTimeoutMs - 500;  // 2.5 s: the escape and 30 exchanges take over 80 s
  sim::SimRunner unit(std::move(config));
  std::string error;
  ASSERT_TRUE(unit.Start(&error)) << error;

  const testing::VqxctlOutcome run = testing::RunVqxctlHere({"read", "--port", unit.SlavePath(), "--quiet"});
  unit.Stop();
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_THAT(run.out, HasSubstr("Name: VQX-2\n"));
  EXPECT_THAT(run.out, HasSubstr("Link status: "));
}

}  // namespace
}  // namespace vqx::cli
