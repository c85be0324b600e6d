// A line full of noise, overlong lines and half-replies must never write outside a
// buffer or wedge the link: under the sanitizers this is where such faults show.

#include <random>
#include <string>

#include "link_fixture.h"

namespace vqx::testing {
namespace {

using NoiseTest = LinkTest;

TEST_F(NoiseTest, RandomBytesAndReplyFragmentsKeepTheLinkWorking) {
  OpenPort();
  std::mt19937 random(20261207);
  const char* fragments[] = {"MYIP ", "CON ", "NAME ", "ECHO ", "OK", "ERR", "(DHCP)", ":", ".",
                             "999999999999", "<", "\r", "\n", " ", "\t", "255.255.255.255"};
  std::string noise;
  for (int i = 0; i < 200000; ++i) {
    if (random() % 4 == 0) {
      noise += fragments[random() % std::size(fragments)];
    } else {
      noise += static_cast<char>(random() % 256);
    }
    if (random() % 500 == 0) noise += std::string(random() % 400, 'A');
  }
  port.Receive(noise);
  int replies = 0;
  for (int i = 0; i < 2000000 && !port.incoming.empty(); ++i) {
    comm.Poll();
    switch (comm.GetState()) {
      case LinkState::ReplyReady:
        ASSERT_NE(comm.TakeReply(), nullptr);
        ++replies;
        break;
      case LinkState::Failed:
        comm.ResetLink();
        break;
      default:
        break;
    }
  }
  EXPECT_TRUE(port.incoming.empty());
  EXPECT_GT(replies, 0);

  // Whatever came before, a clean reply is still recognised.
  port.Receive("\nOK\n");
  PollUntilDrained();
  ASSERT_EQ(comm.GetState(), LinkState::ReplyReady);
  EXPECT_STREQ(comm.TakeReply()->line, "OK\n");
}

}  // namespace
}  // namespace vqx::testing
