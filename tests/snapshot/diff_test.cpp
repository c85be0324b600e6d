#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "snapshot.h"
#include "support/sample_settings.h"

namespace vqx::snapshot {
namespace {

using vqx::testing::SampleSettings;

std::vector<std::string> Keys(const std::vector<FieldDifference>& differences) {
  std::vector<std::string> keys;
  for (const FieldDifference& d : differences) keys.push_back(d.key);
  return keys;
}

TEST(SnapshotDiff, IdenticalSettingsHaveNoDifference) {
  EXPECT_TRUE(Diff(SampleSettings(), SampleSettings()).empty());
}

TEST(SnapshotDiff, NamesExactlyTheDifferingFieldsWithTheReportsNamesAndTexts) {
  const DeviceSettings a = SampleSettings();
  DeviceSettings b = a;
  std::strcpy(b.name, "Tower West");
  b.vocoder = 5;
  b.securityFlags &= ~kSecurityNoTelnet;
  b.serverIp[3] = 10;
  b.hangTime = 500;
  b.inputBoost = 0;
  b.serialParity = 'N';

  const auto d = Diff(a, b);
  ASSERT_EQ(Keys(d), (std::vector<std::string>{"name", "serverIp", "allowTelnet", "vocoder", "hangTime",
                                                "inputBoost", "serialParity"}));
  EXPECT_EQ(d[0].field, "Name");
  EXPECT_EQ(d[0].left, "Tower East");
  EXPECT_EQ(d[0].right, "Tower West");
  EXPECT_EQ(d[1].field, "Server IP Address");
  EXPECT_EQ(d[1].right, "192.168.7.10");
  EXPECT_EQ(d[2].field, "Access via telnet");
  EXPECT_EQ(d[2].left, "No");
  EXPECT_EQ(d[2].right, "Yes");
  EXPECT_EQ(d[3].field, "Vocoder");
  EXPECT_EQ(d[3].left, "ADPCM 24Kbps");
  EXPECT_EQ(d[3].right, "PCM 64Kbps");
  EXPECT_EQ(d[4].field, "VOX/VMR Hang Time");
  EXPECT_EQ(d[4].left, "3000 ms");
  EXPECT_EQ(d[5].left, "+20 dB");  // the report's spelling
  EXPECT_EQ(d[6].left, "E");
  EXPECT_EQ(d[6].right, "N");
}

TEST(SnapshotDiff, OnlyTheNamedFieldsAreCompared) {
  const DeviceSettings a = SampleSettings();
  DeviceSettings b = a;
  b.voipPort = 1300;
  b.txDelay = 0;
  std::strcpy(b.firmwareVersion, "VQX-2 v5.00");
  EXPECT_EQ(Keys(Diff(a, b, {"voipPort", "name"})), std::vector<std::string>{"voipPort"});
  EXPECT_EQ(Keys(Diff(a, b)), (std::vector<std::string>{"voipPort", "firmwareVersion", "txDelay"}));
}

TEST(SnapshotDiff, BytesAfterATerminatorAndUnknownSecurityBitsMakeNoDifference) {
  const DeviceSettings a = SampleSettings();
  DeviceSettings b = a;
  b.name[40] = 'z';
  b.padding1[0] = 9;
  b.dhcpAssigned = 2;  // still "Yes"
  EXPECT_TRUE(Diff(a, b).empty());
}

TEST(SnapshotDiff, ValuesWithoutATextShowAsNumbersSoTheyStayApart) {
  DeviceSettings a = SampleSettings();
  DeviceSettings b = a;
  a.vocoder = 0;
  b.vocoder = 1;
  a.connectionMode = 2;
  const auto d = Diff(a, b);
  ASSERT_EQ(Keys(d), (std::vector<std::string>{"connectionMode", "vocoder"}));
  EXPECT_EQ(d[0].left, "2");
  EXPECT_EQ(d[0].right, "Server");
  EXPECT_EQ(d[1].left, "0");
  EXPECT_EQ(d[1].right, "GSM 13Kbps");
}

}  // namespace
}  // namespace vqx::snapshot
