#include "snapshot.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/sample_settings.h"

namespace vqx::snapshot {
namespace {

using nlohmann::json;
using ::testing::HasSubstr;
using ::testing::StartsWith;
using vqx::testing::OddRecord;
using vqx::testing::SampleSettings;

bool SameBytes(const DeviceSettings& a, const DeviceSettings& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

TEST(SnapshotJson, ShowsNamedFieldsDottedAddressesAndEnumerationTexts) {
  const json j = ToJson(SampleSettings());
  EXPECT_EQ(j["ipAddress"], "10.0.0.5");
  EXPECT_EQ(j["subnetMask"], "255.255.254.0");
  EXPECT_EQ(j["gateway"], "10.0.0.1");
  EXPECT_EQ(j["serverIp"], "192.168.7.9");
  EXPECT_EQ(j["vocoder"], 3);
  EXPECT_EQ(j["vocoderText"], "ADPCM 24Kbps");
  EXPECT_EQ(j["corSquelchType"], 2);
  EXPECT_EQ(j["corSquelchTypeText"], "VOX");
  EXPECT_EQ(j["serialParity"], "E");
  EXPECT_EQ(j["serialParityText"], "Even");
  EXPECT_EQ(j["inputBoostText"], "+20 db");
  EXPECT_EQ(j["firmwareVersion"], "VQX-2 v4.07");
  EXPECT_EQ(j["macAddress"], "00:1A:2B:3C:4D:5E");
  EXPECT_EQ(j["allowTelnet"], false);
  EXPECT_EQ(j["allowHttpConfiguration"], false);
  EXPECT_EQ(j["allowHttpAccess"], true);
  EXPECT_EQ(j["dhcp"], true);
  EXPECT_FALSE(j.contains("unsupported"));
  EXPECT_FALSE(j.contains("record"));
}

TEST(SnapshotJson, RecordToJsonToRecordIsByteIdenticalThroughText) {
  const DeviceSettings original = SampleSettings();
  std::string error;
  const auto back = FromJson(json::parse(DumpJson(ToJson(original))), &error);
  ASSERT_TRUE(back) << error;
  EXPECT_TRUE(SameBytes(back->values, original));
  EXPECT_EQ(back->present.size(), FieldNames().size());
}

TEST(SnapshotJson, OddRecordSurvivesThroughItsRecordFieldByteForByte) {
  for (const unsigned char fill : {0x00, 0x41, 0xA5, 0xFF}) {
    const DeviceSettings original = OddRecord(fill);
    const std::string text = DumpJson(ToJsonWithRecord(original));
    std::string error;
    const auto back = FromJson(json::parse(text), &error);
    ASSERT_TRUE(back) << "fill " << int{fill} << ": " << error;
    EXPECT_TRUE(SameBytes(back->values, original)) << "fill " << int{fill};
  }
}

TEST(SnapshotJson, TextBytesAboveAsciiAreCarriedAsTheirOwnCharacters) {
  const json j = ToJson(OddRecord(0));
  EXPECT_EQ(j["name"], "Caf\u00e9 \u00ff");
  const auto back = FromJson(json{{"name", "Caf\u00e9"}}, nullptr);
  ASSERT_TRUE(back);
  EXPECT_STREQ(back->values.name, "Caf\xE9");
}

TEST(SnapshotJson, ValuesWithoutATextGetNullTexts) {
  const json j = ToJson(OddRecord(0));
  EXPECT_TRUE(j["vocoderText"].is_null());
  EXPECT_TRUE(j["connectionModeText"].is_null());  // 2 is not "Server" on the form
  EXPECT_EQ(j["serialParity"], "");
  EXPECT_TRUE(j["serialParityText"].is_null());
}

TEST(SnapshotJson, UnsupportedSettingsAreLeftOutAndListedByKeyword) {
  const std::vector<std::string> unsupported = {"VOCODER", "allowTelnet", "DSCP"};
  const json j = ToJson(SampleSettings(), unsupported);
  EXPECT_FALSE(j.contains("vocoder"));
  EXPECT_FALSE(j.contains("vocoderText"));
  EXPECT_FALSE(j.contains("qosDscp"));
  for (const char* bit : {"allowTelnet", "allowHttpAccess", "allowHttpAuthentication"}) EXPECT_FALSE(j.contains(bit));
  EXPECT_EQ(j["unsupported"], json::array({"VOCODER", "SECURITY", "DSCP"}));
  EXPECT_TRUE(j.contains("name"));

  const auto back = FromJson(j, nullptr);
  ASSERT_TRUE(back);
  EXPECT_FALSE(back->Has("vocoder"));
  EXPECT_FALSE(back->Has("allowTelnet"));
  EXPECT_TRUE(back->Has("voxThreshold"));
}

TEST(SnapshotJson, AbsentFieldsStayAbsentAndZero) {
  const auto partial = FromJson(json{{"name", "Relay 7"}, {"voipPort", 2000}}, nullptr);
  ASSERT_TRUE(partial);
  EXPECT_EQ(partial->present, (std::set<std::string>{"name", "voipPort"}));
  EXPECT_EQ(partial->values.vocoder, 0);
}

TEST(SnapshotJson, CompanionTextAloneSetsTheValueAndNullTextIsIgnored) {
  const auto partial = FromJson(json{{"vocoderText", "PCM 64Kbps"},
                                     {"serialParityText", "Odd"},
                                     {"duplex", 0},
                                     {"duplexText", nullptr},
                                     {"unsupported", json::array({"BOOST"})}},
                                nullptr);
  ASSERT_TRUE(partial);
  EXPECT_EQ(partial->values.vocoder, 5);
  EXPECT_EQ(partial->values.serialParity, 'O');
  EXPECT_TRUE(partial->Has("vocoder"));
  EXPECT_TRUE(partial->Has("serialParity"));
  EXPECT_TRUE(partial->Has("duplex"));
}

TEST(SnapshotJson, LimitsOfTheFormAreAccepted) {
  const auto partial = FromJson(json{{"name", std::string(63, 'n')},
                                     {"serialNumber", std::string(10, '9')},
                                     {"voipPort", 65535},
                                     {"serverPort", 0},
                                     {"qosDscp", 63},
                                     {"rxDelay", 10000},
                                     {"hangTime", 0},
                                     {"serialBaudRate", 115200},
                                     {"ipAddress", "255.255.255.255"},
                                     {"gateway", "010.000.000.001"}},
                                nullptr);
  ASSERT_TRUE(partial);
  EXPECT_EQ(partial->values.gatewayIp[0], 10);
  EXPECT_EQ(partial->values.gatewayIp[3], 1);
}

struct Refusal {
  json snapshot;
  const char* start;  // the field the message must begin with
  const char* words;  // what it must say
};

TEST(SnapshotJson, EachRefusalNamesTheFieldAndWhatIsAllowed) {
  const std::vector<Refusal> cases = {
      {json::array(), "a snapshot must be a JSON object", "array"},
      {json{{"IPAddress", "10.0.0.1"}}, "\"IPAddress\": not a field", "did you mean ipAddress"},
      {json{{"", 1}}, "\"\": not a field", "not a field of a snapshot"},
      {json{{"voipPort", "1221"}}, "voipPort:", "expected a whole number 0..65535, got string"},
      {json{{"voipPort", 70000}}, "voipPort:", "70000 is out of range"},
      {json{{"serverPort", -1}}, "serverPort:", "-1 is out of range"},
      {json{{"commandPort", 23.5}}, "commandPort:", "got 23.5"},
      {json{{"commandPort", 4294967319u}}, "commandPort:", "out of range"},
      {json{{"qosDscp", 64}}, "qosDscp:", "expected a whole number 0..63"},
      {json{{"txDelay", 10001}}, "txDelay:", "0..10000"},
      {json{{"hangTime", 250}}, "hangTime:", "250 is not offered; expected one of 0, 500, 1000"},
      {json{{"corInhibitTime", 5000}}, "corInhibitTime:", "not offered"},
      {json{{"serialBaudRate", 14400}}, "serialBaudRate:", "one of 300, 1200"},
      {json{{"serialDataBits", 9}}, "serialDataBits:", "one of 7, 8"},
      {json{{"serialStopBits", 0}}, "serialStopBits:", "one of 1, 2"},
      {json{{"vocoder", 6}}, "vocoder:", "1 (GSM 13Kbps)"},
      {json{{"broadcastMode", true}}, "broadcastMode:", "got boolean"},
      {json{{"vocoderText", "PCM"}}, "vocoderText:", "\"PCM\" is not offered"},
      {json{{"vocoder", 3}, {"vocoderText", "PCM 64Kbps"}}, "vocoder:", "ADPCM 24Kbps\" but vocoderText says"},
      {json{{"serialParity", "X"}}, "serialParity:", "\"N\" (None)"},
      {json{{"serialParity", 78}}, "serialParity:", "got number"},
      {json{{"name", "Tower\nEast"}}, "name:", "line break"},
      {json{{"webPassword", "pass\r"}}, "webPassword:", "line break"},
      {json{{"name", std::string("a\0b", 3)}}, "name:", "NUL"},
      {json{{"name", std::string(64, 'x')}}, "name:", "64 characters long; at most 63 fit"},
      {json{{"serialNumber", "SN-0000-001"}}, "serialNumber:", "at most 10"},
      {json{{"macAddress", std::string(24, 'm')}}, "macAddress:", "at most 23"},
      {json{{"name", "\u4e2d"}}, "name:", "U+4E2D"},
      {json{{"name", 5}}, "name:", "expected a text"},
      {json{{"ipAddress", "10.0.0"}}, "ipAddress:", "\"10.0.0\" is not four numbers"},
      {json{{"ipAddress", "10.0.0.256"}}, "ipAddress:", "256 is more than 255"},
      {json{{"subnetMask", "255.255.255.0 "}}, "subnetMask:", "is not four numbers"},
      {json{{"gateway", "1.2.3.4.5"}}, "gateway:", "is not four numbers"},
      {json{{"serverIp", "-1.2.3.4"}}, "serverIp:", "is not four numbers"},
      {json{{"serverIp", 167772165}}, "serverIp:", "got number"},
      {json{{"allowTelnet", "yes"}}, "allowTelnet:", "expected true or false"},
      {json{{"dhcp", 1}}, "dhcp:", "expected true or false"},
      {json{{"unsupported", "VOCODER"}}, "unsupported:", "list of setting names"},
      {json{{"record", "00ff"}}, "record:", "656 hex digits"},
  };
  for (const Refusal& c : cases) {
    std::string error;
    EXPECT_FALSE(FromJson(c.snapshot, &error)) << c.snapshot.dump();
    EXPECT_THAT(error, StartsWith(c.start)) << c.snapshot.dump();
    EXPECT_THAT(error, HasSubstr(c.words)) << c.snapshot.dump();
  }
}

TEST(SnapshotJson, RecordKeepsValuesNoListOffersButAnEditedFieldMustPassTheChecks) {
  const DeviceSettings odd = OddRecord(0xA5);
  json j = ToJsonWithRecord(odd);

  j["name"] = "Renamed";
  std::string error;
  auto edited = FromJson(j, &error);
  ASSERT_TRUE(edited) << error;
  EXPECT_STREQ(edited->values.name, "Renamed");
  EXPECT_EQ(edited->values.name[20], '\0');  // the rest of a replaced text is cleared
  EXPECT_EQ(edited->values.hangTime, 250);   // untouched, though no list offers it
  EXPECT_EQ(edited->values.padding1[0], 0xA5);
  EXPECT_EQ(edited->values.padding2[2], 0xA5);

  j["hangTime"] = 260;
  EXPECT_FALSE(FromJson(j, &error));
  EXPECT_THAT(error, StartsWith("hangTime: 260 is not offered"));
}

TEST(SnapshotJson, ARecordsUncheckedValuesAreRefusedBeforeTheyCouldBeSent) {
  std::string error;
  auto fromRecord = [&](const DeviceSettings& s) {
    auto parsed = FromJson(ToJsonWithRecord(s), &error);
    EXPECT_TRUE(parsed) << error;
    return parsed ? *parsed : PartialSettings{};
  };
  EXPECT_TRUE(CheckSendable(fromRecord(SampleSettings()), &error)) << error;

  DeviceSettings lineBreak = SampleSettings();
  std::strcpy(lineBreak.name, "Tower\rSAVE");
  EXPECT_FALSE(CheckSendable(fromRecord(lineBreak), &error));
  EXPECT_THAT(error, StartsWith("name: the text contains a line break"));

  DeviceSettings vocoder = SampleSettings();
  vocoder.vocoder = 9;
  EXPECT_FALSE(CheckSendable(fromRecord(vocoder), &error));
  EXPECT_THAT(error, StartsWith("vocoder: 9 is not offered"));

  DeviceSettings noEnd = SampleSettings();
  std::memset(noEnd.webPassword, 'x', sizeof noEnd.webPassword);
  EXPECT_FALSE(CheckSendable(fromRecord(noEnd), &error));
  EXPECT_THAT(error, StartsWith("webPassword: the text is 64 characters long; at most 63 fit"));

  // The unit's own word for an empty text could never be verified; texts that only look
  // like it are the user's.
  DeviceSettings placeholder = SampleSettings();
  std::strcpy(placeholder.webPassword, "<none>");
  EXPECT_FALSE(CheckSendable(fromRecord(placeholder), &error));
  EXPECT_THAT(error, StartsWith("webPassword: \"<none>\" is what the VQX-2 answers for an empty text"));
  std::strcpy(placeholder.webPassword, "<pw");
  std::strcpy(placeholder.name, "<Relay-7>");
  EXPECT_TRUE(CheckSendable(fromRecord(placeholder), &error)) << error;

  // What is never sent is not the unit's business: read-only fields, absent fields.
  DeviceSettings readOnly = SampleSettings();
  std::strcpy(readOnly.firmwareVersion, "v1\r\n");
  EXPECT_TRUE(CheckSendable(fromRecord(readOnly), &error)) << error;
  PartialSettings onlyName;
  onlyName.values = vocoder;
  onlyName.present = {"name"};
  EXPECT_TRUE(CheckSendable(onlyName, &error)) << error;
}

TEST(SnapshotJson, ApplyToChangesOnlyPresentFieldsAndOnlyTheirSecurityBits) {
  DeviceSettings unit = SampleSettings();
  unit.securityFlags |= 0x01;  // a bit the program does not know stays as the unit has it
  const auto partial =
      FromJson(json{{"allowTelnet", true}, {"allowHttpAccess", false}, {"name", "Hill"}, {"rxDelay", 0}}, nullptr);
  ASSERT_TRUE(partial);
  DeviceSettings merged = unit;
  ApplyTo(*partial, merged);
  EXPECT_EQ(merged.securityFlags, kSecurityNoHttpAccess | kSecurityNoHttpConfiguration | 0x01);
  EXPECT_STREQ(merged.name, "Hill");
  EXPECT_EQ(merged.rxDelay, 0);
  merged.securityFlags = unit.securityFlags;
  std::memcpy(merged.name, unit.name, sizeof merged.name);
  merged.rxDelay = unit.rxDelay;
  EXPECT_TRUE(SameBytes(merged, unit));
}

TEST(SnapshotJson, MulticastNeedsAGroupOrNoServer) {
  DeviceSettings s = SampleSettings();
  s.broadcastMode = 3;
  const uint8_t allowed[][4] = {{224, 0, 0, 0}, {239, 255, 255, 255}, {0, 0, 0, 0}};
  const uint8_t refused[][4] = {{223, 255, 255, 255}, {240, 0, 0, 1}, {0, 0, 0, 1}};
  for (const auto& a : allowed) {
    std::memcpy(s.serverIp, a, 4);
    EXPECT_EQ(MulticastProblem(s), "") << int{a[0]};
  }
  for (const auto& r : refused) {
    std::memcpy(s.serverIp, r, 4);
    EXPECT_THAT(MulticastProblem(s), StartsWith("To enter multicast mode")) << int{r[0]};
  }
  s.broadcastMode = 1;
  EXPECT_EQ(MulticastProblem(s), "");
}

TEST(SnapshotJson, KeywordsMapToTheirFields) {
  EXPECT_EQ(FieldsForKeyword("VOCODER"), std::vector<std::string_view>{"vocoder"});
  EXPECT_EQ(FieldsForKeyword("SECURITY").size(), 5u);
  EXPECT_TRUE(FieldsForKeyword("SAVE").empty());
  EXPECT_EQ(KeywordOfField("gateway"), "GATEIP");
  EXPECT_EQ(KeywordOfField("serialNumber"), "");
  EXPECT_TRUE(IsReadOnlyField("macAddress"));
  EXPECT_FALSE(IsReadOnlyField("name"));
}

}  // namespace
}  // namespace vqx::snapshot
