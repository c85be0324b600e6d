#include <gtest/gtest.h>

#include "runner/sim_options.h"

namespace vqx::sim {
namespace {

bool Parse(std::vector<std::string> args, SimOptions* out, std::string* error) {
  return ParseSimOptions(args, out, error);
}

TEST(SimOptions, NoArgumentsGiveTheDefaultUnit) {
  SimOptions o;
  std::string error;
  ASSERT_TRUE(Parse({}, &o, &error));
  EXPECT_EQ(o.config.guardMs, 1000u);
  EXPECT_EQ(o.config.rebootMs, 5000u);
  EXPECT_EQ(o.config.lineEnding, LineEnding::LfCr);
  EXPECT_EQ(o.config.peer.status, PeerStatus::Disconnected);
  EXPECT_FALSE(o.config.faults.silent || o.config.faults.garbage || o.config.faults.pace);
  EXPECT_FALSE(o.verbose || o.help || o.dhcp);
}

TEST(SimOptions, EveryOptionReachesTheConfiguration) {
  SimOptions o;
  std::string error;
  ASSERT_TRUE(Parse({"--guard-ms", "50", "--reboot-ms=200", "--line-ending", "crlf",
                     "--settings", "unit.json", "--unsupported", "dscp,BOOST", "--stat", "att",
                     "--peer", "10.9.8.7:6000", "--dhcp", "--silent", "--garbage", "--split-ms",
                     "7", "--baud-pace", "--baud", "1200", "--verbose", "--link", "/tmp/vqx",
                     "--reply-delay-ms", "30", "--refuse", "name,MYIP"},
                    &o, &error))
      << error;
  EXPECT_EQ(o.config.guardMs, 50u);
  EXPECT_EQ(o.config.rebootMs, 200u);
  EXPECT_EQ(o.config.lineEnding, LineEnding::CrLf);
  EXPECT_EQ(o.settingsFile, "unit.json");
  EXPECT_EQ(o.config.unsupported, (std::set<std::string>{"DSCP", "BOOST"}));
  EXPECT_EQ(o.config.peer.status, PeerStatus::Attempting);
  EXPECT_EQ(o.config.peer.address, (Address{10, 9, 8, 7}));
  EXPECT_EQ(o.config.peer.port, 6000);
  EXPECT_TRUE(o.dhcp);
  EXPECT_TRUE(o.config.faults.silent);
  EXPECT_TRUE(o.config.faults.garbage);
  EXPECT_EQ(o.config.faults.splitDelayMs, 7u);
  EXPECT_TRUE(o.config.faults.pace);
  EXPECT_EQ(o.config.hostBaud, 1200u);
  EXPECT_TRUE(o.verbose);
  EXPECT_EQ(o.linkPath, "/tmp/vqx");
  EXPECT_EQ(o.config.replyDelayMs, 30u);
  EXPECT_EQ(o.config.refusedSets, (std::set<std::string>{"NAME", "MYIP"}));
}

TEST(SimOptions, MistakesAreRefusedNamingTheCulprit) {
  const std::pair<std::vector<std::string>, const char*> cases[] = {
      {{"--colour"}, "--colour"},
      {{"--guard-ms"}, "--guard-ms"},
      {{"--guard-ms", "soon"}, "--guard-ms"},
      {{"--line-ending", "cr"}, "cr"},
      {{"--stat", "up"}, "up"},
      {{"--peer", "10.1.2.3"}, "ADDR:PORT"},
      {{"--peer", "10.1.2.3:70000"}, "ADDR:PORT"},
      {{"--unsupported", "DSCP,FOO"}, "FOO"},
      {{"--refuse", "NAME,FOO"}, "FOO"},
      {{"--refuse", "SAVE"}, "SAVE"},
      {{"--baud", "0"}, "--baud"},
      {{"--link"}, "--link"},
  };
  for (const auto& [args, culprit] : cases) {
    SimOptions o;
    std::string error;
    EXPECT_FALSE(Parse(args, &o, &error)) << args[0];
    EXPECT_NE(error.find(culprit), std::string::npos) << error;
  }
}

TEST(SimOptions, HelpListsEveryOption) {
  const std::string usage = SimUsage();
  for (const char* option :
       {"--guard-ms", "--reboot-ms", "--line-ending", "--settings", "--unsupported", "--stat",
        "--peer", "--dhcp", "--silent", "--garbage", "--split-ms", "--baud-pace", "--verbose",
        "--link", "--refuse", "--help"}) {
    EXPECT_NE(usage.find(option), std::string::npos) << option;
  }
  SimOptions o;
  std::string error;
  ASSERT_TRUE(Parse({"--help"}, &o, &error));
  EXPECT_TRUE(o.help);
}

TEST(SimOptions, LineTakesARateAndAFramingAndRefusesWhatNoUnitOffers) {
  SimOptions o;
  std::string error;
  ASSERT_TRUE(Parse({"--line", "19200-7O1"}, &o, &error)) << error;
  ASSERT_TRUE(o.config.line.has_value());
  EXPECT_EQ(SerialFrameText(*o.config.line), "19200-7O1");
  ASSERT_TRUE(Parse({"--line=57600"}, &o, &error)) << error;
  EXPECT_EQ(SerialFrameText(*o.config.line), "57600-8N1");
  EXPECT_FALSE(Parse({"--line", "57600-9N1"}, &o, &error));
  EXPECT_NE(error.find("--line"), std::string::npos);
  ASSERT_TRUE(Parse({}, &o, &error));
  EXPECT_FALSE(o.config.line.has_value()) << "no line model unless asked for";
}

}  // namespace
}  // namespace vqx::sim
