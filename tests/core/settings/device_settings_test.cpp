#include "settings/device_settings.h"

#include <gtest/gtest.h>

#include <cstring>

#include "protocol/command_table.h"
#include "settings/setting_table.h"

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
  const auto text = [](int32_t commandId, int32_t value) { return ChoiceTextOf(*RowOfCommand(commandId), value); };
  EXPECT_STREQ(text(kCmdVocoder, 1), "GSM 13Kbps");
  EXPECT_STREQ(text(kCmdVocoder, 5), "PCM 64Kbps");
  EXPECT_EQ(text(kCmdVocoder, 0), nullptr);
  EXPECT_STREQ(text(kCmdCor, 3), "VMR");
  EXPECT_STREQ(text(kCmdBcast, 2), "Connectionless");
  EXPECT_STREQ(text(kCmdVsense, 1), "Medium");
  EXPECT_STREQ(text(kCmdParity, 'O'), "Odd");
  EXPECT_STREQ(text(kCmdCorinh, 0), "0 ms");
  EXPECT_EQ(text(kCmdHangtm, 0), nullptr);  // valid value, no list entry
  EXPECT_STREQ(text(kCmdHangtm, 4000), "4000 ms");
  EXPECT_STREQ(text(kCmdConmode, 0), "Client");
  EXPECT_STREQ(text(kCmdConmode, 3), "Server");
  EXPECT_STREQ(text(kCmdBoost, 7), "+20 db");
  EXPECT_STREQ(text(kCmdDuplex, 0), "Full");
  EXPECT_STREQ(text(kCmdDuplex, 1), "Half");
}

}  // namespace
}  // namespace vqx
