#include "settings/device_settings.h"

#include <gtest/gtest.h>

#include <cstring>

namespace vqx {
namespace {

TEST(DeviceSettings, CopiesCarryPaddingAndBytesPastTerminators) {
  DeviceSettings a;
  std::memset(&a, 0xA5, sizeof a);
  std::strcpy(a.name, "Tower");
  a.padding1[1] = 0x42;
  a.padding2[2] = 0x17;
  DeviceSettings b = a;
  EXPECT_EQ(std::memcmp(&a, &b, sizeof a), 0);
  EXPECT_EQ(static_cast<uint8_t>(b.name[10]), 0xA5);
}

TEST(DeviceSettings, ValueTextsMatchTheFormsLists) {
  EXPECT_STREQ(kVocoderTexts.TextOf(1), "GSM 13Kbps");
  EXPECT_STREQ(kVocoderTexts.TextOf(5), "PCM 64Kbps");
  EXPECT_EQ(kVocoderTexts.TextOf(0), nullptr);
  EXPECT_STREQ(kCorSquelchTexts.TextOf(3), "VMR");
  EXPECT_STREQ(kBroadcastModeTexts.TextOf(2), "Connectionless");
  EXPECT_STREQ(kVoxThresholdTexts.TextOf(1), "Medium");
  EXPECT_STREQ(kParityTexts.TextOf('O'), "Odd");
  EXPECT_STREQ(kCorInhibitTimeTexts.TextOf(0), "0 ms");
  EXPECT_EQ(kHangTimeTexts.TextOf(0), nullptr);  // valid value, no list entry
  EXPECT_STREQ(kHangTimeTexts.TextOf(4000), "4000 ms");
  EXPECT_STREQ(ConnectionModeText(0), "Client");
  EXPECT_STREQ(ConnectionModeText(3), "Server");
  EXPECT_STREQ(InputBoostText(7), "+20 db");
  EXPECT_STREQ(DuplexText(0), "Full");
  EXPECT_STREQ(DuplexText(1), "Half");
}

}  // namespace
}  // namespace vqx
