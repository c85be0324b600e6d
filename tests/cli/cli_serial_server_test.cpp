// vqxctl in this process against vqxsim behind ser2net, in real time: the unit's
// pseudo-terminal is served on 127.0.0.1 as a serial device server on a mast serves its
// RS-232 port, once with Telnet and the COM-PORT-OPTION (rfc2217://) and once raw
// (socket://). Without ser2net these cases fail and say how to install it.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <unistd.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <cstdlib>
#include <vector>

#include <nlohmann/json.hpp>

#include "link/serial_comm.h"
#include "runner/sim_runner.h"
#include "support/ser2net_server.h"
#include "support/vqxctl_runner.h"

namespace vqx::cli {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using Outcome = testing::VqxctlOutcome;

// Long enough for the unit's answer to TRAN at the slowest pace the link allows.
constexpr auto kSettleTime = std::chrono::milliseconds(kReplyTimeoutMs);

class CliSerialServer : public ::testing::Test {
 protected:
  ~CliSerialServer() override {
    server_.Kill();
    if (sim_) sim_->Stop();
    std::error_code ignored;
    if (!file_.empty()) std::filesystem::remove(file_, ignored);
  }

  // The unit keeps its own guard time (1 s) unless a test raises it: the utility's 2.1 s
  // then leave room for what a loaded machine adds between the server and the unit.
  void StartUnitBehindServer(sim::SimConfig config = {}) {
    config.rebootMs = 1000;
    sim_ = std::make_unique<sim::SimRunner>(std::move(config));
    std::string error;
    ASSERT_TRUE(sim_->Start(&error)) << error;
    ASSERT_TRUE(server_.Start(sim_->SlavePath(), &error)) << error;
  }

  Outcome Vqxctl(const std::vector<std::string>& args) { return testing::RunVqxctlHere(args, &interrupt_); }

  bool UnitEndsTransparent() {
    return sim_->WaitFor([](const sim::SimUnit& u) { return u.Mode() == sim::SimMode::Transparent; }, kSettleTime);
  }
  std::vector<std::string> Lines() const { return sim_->ReceivedLines(); }

  std::unique_ptr<sim::SimRunner> sim_;
  testing::Ser2netServer server_;
  std::atomic<bool> interrupt_{false};
  std::string file_;
};

TEST_F(CliSerialServer, ReadOverRfc2217EscapesWithBothQuietTimesWholeAtTheUnitAndEndsTransparent) {
  // The unit's guard time at the utility's own (2.1 s): the escape only works when the
  // unit's side of the server sees both quiet times whole.
  sim::SimConfig config;
  config.guardMs = kEscapeGuardMs;
  StartUnitBehindServer(std::move(config));
  const Outcome r = Vqxctl({"read", "--port", server_.Rfc2217Url(), "--format", "json", "--quiet"});
  ASSERT_EQ(r.code, 0) << r.err << "\nser2net: " << server_.Log();
  EXPECT_EQ(nlohmann::json::parse(r.out)["name"], "VQX-2");
  // The unit took "+++" as an escape at a guard time of 2.1 s: the quiet before and after
  // it, measured at the unit's end of the server, were both at least that long.
  const std::vector<std::string> lines = Lines();
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[1], "ECHO OFF");
  EXPECT_EQ(lines.back(), "TRAN");
  EXPECT_TRUE(UnitEndsTransparent());
  EXPECT_THAT(r.err, Not(HasSubstr("warning")));
}

TEST_F(CliSerialServer, ReadOverARawSocketLeavesTheLineToTheServer) {
  StartUnitBehindServer();
  const Outcome r = Vqxctl({"read", "--port", server_.RawUrl(), "--quiet"});
  ASSERT_EQ(r.code, 0) << r.err << "\nser2net: " << server_.Log();
  EXPECT_THAT(r.out, HasSubstr("VQX-2"));
  EXPECT_EQ(Lines().back(), "TRAN");
  // Line settings cannot be searched for where the server keeps its own.
  const Outcome detect = Vqxctl({"detect", "--port", server_.RawUrl()});
  EXPECT_EQ(detect.code, 2);
  EXPECT_THAT(detect.err, HasSubstr("rfc2217://"));
}

TEST_F(CliSerialServer, ApplyOverRfc2217WarnsOnceThatThePasswordTravelsInClearText) {
  StartUnitBehindServer();
  file_ = (std::filesystem::temp_directory_path() / ("vqx-net-apply-" + std::to_string(getpid()) + ".json")).string();
  std::ofstream(file_) << R"({ "name": "MAST-7", "webPassword": "s3cret" })";
  const Outcome r = Vqxctl({"apply", "--port", server_.Rfc2217Url(), "--reboot-wait", "1.5", "--quiet", file_});
  ASSERT_EQ(r.code, 0) << r.err << "\nser2net: " << server_.Log();
  EXPECT_EQ(sim_->SavedSettings().TextOf("NAME"), "MAST-7");
  const std::string warning = "the web password travels in clear text over the network to " + server_.Rfc2217Url();
  const size_t first = r.err.find(warning);
  EXPECT_NE(first, std::string::npos) << r.err;
  EXPECT_EQ(r.err.find(warning, first + 1), std::string::npos) << r.err;
  EXPECT_TRUE(UnitEndsTransparent());
}

// A fleet takes network ports as they are (no pattern expansion) and, like apply, warns
// once before the password crosses the network.
TEST_F(CliSerialServer, FleetOverRfc2217ProvisionsTheUnitByItsPortAndWarnsAboutThePassword) {
  StartUnitBehindServer();
  const std::string stem = (std::filesystem::temp_directory_path() / ("vqx-net-fleet-" + std::to_string(getpid()))).string();
  file_ = stem + ".json";
  const std::string table = stem + ".csv";
  std::ofstream(file_) << R"({ "webPassword": "s3cret" })";
  std::ofstream(table) << "port,name\n" << server_.Rfc2217Url() << ",MAST-9\n";
  const Outcome r = Vqxctl({"fleet", file_, table, "--ports", server_.Rfc2217Url(), "--yes", "--reboot-wait", "1.5"});
  std::error_code ignored;
  std::filesystem::remove(table, ignored);
  ASSERT_EQ(r.code, 0) << r.out << r.err << "\nser2net: " << server_.Log();
  EXPECT_THAT(r.out, HasSubstr("changed and verified"));
  EXPECT_EQ(sim_->SavedSettings().TextOf("NAME"), "MAST-9");
  EXPECT_EQ(sim_->SavedSettings().TextOf("PASS"), "s3cret");
  const std::string warning = "the web password travels in clear text over the network to " + server_.Rfc2217Url();
  const size_t first = r.err.find(warning);
  EXPECT_NE(first, std::string::npos) << r.err;
  EXPECT_EQ(r.err.find(warning, first + 1), std::string::npos) << r.err;
  EXPECT_TRUE(UnitEndsTransparent());
}

TEST_F(CliSerialServer, DetectFindsTheUnitsRateBecauseRfc2217SetsItOnTheFarPort) {
  sim::SimConfig config;
  sim::SerialFrame frame;
  ASSERT_TRUE(sim::ParseSerialFrame("19200-8N1", &frame));
  config.line = frame;
  StartUnitBehindServer(std::move(config));
  const Outcome r =
      Vqxctl({"detect", "--port", server_.Rfc2217Url(), "--rates", "9600,19200", "--framings", "8N1", "--quiet"});
  ASSERT_EQ(r.code, 0) << r.err << "\nser2net: " << server_.Log();
  EXPECT_THAT(r.out, HasSubstr("19200 8N1"));
  EXPECT_TRUE(UnitEndsTransparent());
}

TEST_F(CliSerialServer, AServerGoneMidReadEndsWithTheLostPortCodeNotWithNotResponding) {
  constexpr uint32_t kThinkMs = 300;
  sim::SimConfig config;
  config.replyDelayMs = kThinkMs;
  StartUnitBehindServer(std::move(config));
  std::thread power([&] {
    sim_->WaitFor(
        [](const sim::SimUnit& u) {
          const std::vector<std::string> lines = u.ReceivedLines();
          return std::find(lines.begin(), lines.end(), "MAC") != lines.end();
        },
        std::chrono::milliseconds(2 * kEscapeGuardMs + 2 * kReplyTimeoutMs + 30 * kThinkMs));
    server_.Kill();
  });
  const Outcome r = Vqxctl({"read", "--port", server_.Rfc2217Url(), "--quiet"});
  power.join();
  EXPECT_EQ(r.code, 3);
  EXPECT_THAT(r.err, HasSubstr("The serial port " + server_.Rfc2217Url() + " was lost during the read"));
  EXPECT_THAT(r.err, HasSubstr("may still be in command mode")) << r.err;
  EXPECT_THAT(r.err, Not(HasSubstr("not responding")));
}

TEST_F(CliSerialServer, APortNobodyListensOnEndsWithThePortCodeNamingHostAndPort) {
  // No server needed, but the same precondition keeps the suite's message in one place.
  ASSERT_FALSE(testing::Ser2netServer::Program().empty()) << testing::Ser2netServer::NotInstalled();
  const std::string where = "127.0.0.1:" + std::to_string(testing::Ser2netServer::FreePort());
  const Outcome r = Vqxctl({"read", "--port", "rfc2217://" + where, "--quiet"});
  EXPECT_EQ(r.code, 3);
  EXPECT_THAT(r.err, HasSubstr(where));
  EXPECT_THAT(r.err, HasSubstr("refused"));
  const Outcome unknown = Vqxctl({"read", "--port", "socket://no-such-host.invalid:7000", "--quiet"});
  EXPECT_EQ(unknown.code, 3);
  EXPECT_THAT(unknown.err, HasSubstr("no-such-host.invalid:7000"));
  EXPECT_THAT(unknown.err, HasSubstr("unknown"));
}

TEST_F(CliSerialServer, AServerThatNeverAcceptsEndsAtTheConfiguredConnectTimeOut) {
  ASSERT_FALSE(testing::Ser2netServer::Program().empty()) << testing::Ser2netServer::NotInstalled();
  // A listener whose queue is full: Linux drops further connection requests unanswered,
  // as a firewall that drops them does.
  const int listener = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  socklen_t length = sizeof address;
  getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
  ASSERT_EQ(listen(listener, 0), 0);
  std::vector<int> fillers;
  for (int i = 0; i < 4; ++i) {
    const int filler = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    connect(filler, reinterpret_cast<sockaddr*>(&address), sizeof address);
    fillers.push_back(filler);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  const std::string where = "127.0.0.1:" + std::to_string(ntohs(address.sin_port));
  setenv("VQX_CONNECT_TIMEOUT", "2", 1);
  const auto start = std::chrono::steady_clock::now();
  const Outcome r = Vqxctl({"read", "--port", "socket://" + where, "--quiet"});
  const auto took = std::chrono::steady_clock::now() - start;
  unsetenv("VQX_CONNECT_TIMEOUT");
  for (const int fd : fillers) close(fd);
  close(listener);
  EXPECT_EQ(r.code, 3);
  EXPECT_THAT(r.err, HasSubstr("Cannot reach " + where + ": no answer within 2 s"));
  EXPECT_GE(took, std::chrono::milliseconds(1900));
  EXPECT_LT(took, std::chrono::milliseconds(2000 + kReplyTimeoutMs));
}

}  // namespace
}  // namespace vqx::cli
