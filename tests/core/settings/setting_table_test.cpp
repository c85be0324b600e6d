#include "settings/setting_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "protocol/command_table.h"
#include "protocol/response_table.h"
#include "window/dialog_template.h"

namespace vqx {
namespace {

std::string Keyword(const SettingRow& row) { return CommandKeywordTable[row.commandId]; }

TEST(SettingTable, EveryRowIsFoundByItsCommandItsReplyAndItsTypedStep) {
  std::set<std::string> replyKeywords;
  std::set<int32_t> typedSteps;
  for (const SettingRow& row : SettingRows()) {
    SCOPED_TRACE(Keyword(row));
    EXPECT_EQ(RowOfCommand(row.commandId), &row);
    EXPECT_EQ(RowOfReply(row.responseId), &row);
    EXPECT_EQ(SettingRows()[static_cast<size_t>(ReadIndexOf(row.commandId))].commandId, row.commandId);
    // The reply names the setting the command asked for, and no other row's reply does.
    EXPECT_STREQ(ResponseKeywordTable[row.responseId], CommandKeywordTable[row.commandId]);
    EXPECT_TRUE(replyKeywords.insert(ResponseKeywordTable[row.responseId]).second);
    if (row.typedStep != kNothingPending) {
      EXPECT_TRUE(typedSteps.insert(row.typedStep).second);
      EXPECT_EQ(RowOfTypedStep(row.typedStep), &row);
      // A typed setting the form follows is one the unit takes with an argument.
      EXPECT_NE(CommandArgumentKind(row.commandId), ArgumentKind::None);
    }
  }
  EXPECT_EQ(RowOfCommand(kCmdSave), nullptr);
  EXPECT_EQ(RowOfReply(kRspOk), nullptr);
  EXPECT_EQ(RowOfTypedStep(kAwaitEchoOff), nullptr);
  // Every step from the first typed one up is some row's.
  for (int32_t step = kConfirmIpAddress; step <= kConfirmWebPassword; ++step) EXPECT_NE(RowOfTypedStep(step), nullptr);
}

TEST(SettingTable, FullReadIsAlphabeticalAndUpdateSendsEveryWritableRowOnce) {
  const auto rows = SettingRows();
  for (size_t i = 1; i < rows.size(); ++i) EXPECT_LT(Keyword(rows[i - 1]), Keyword(rows[i]));

  std::set<const SettingRow*> sent;
  for (const SettingRow* row : SendOrder()) {
    ASSERT_NE(row, nullptr);
    EXPECT_NE(row->reading, FormReading::NotSent) << Keyword(*row);
    EXPECT_TRUE(sent.insert(row).second) << Keyword(*row);
  }
  for (const SettingRow& row : rows) {
    EXPECT_EQ(sent.count(&row) == 1, row.reading != FormReading::NotSent) << Keyword(row);
    // A setting sent with an argument of the wrong kind would be refused or misread.
    if (row.reading == FormReading::Text) {
      EXPECT_EQ(CommandArgumentKind(row.commandId), ArgumentKind::Text);
    }
    if (row.reading == FormReading::Address) {
      EXPECT_EQ(CommandArgumentKind(row.commandId), ArgumentKind::Address);
    }
    if (row.reading == FormReading::Text) {
      EXPECT_NE(row.label, nullptr) << Keyword(row);
    }
  }
}

TEST(SettingTable, MembersFitTheRecordWithoutOverlapAndMatchTheirKind) {
  std::vector<bool> taken(sizeof(DeviceSettings), false);
  for (const SettingRow& row : SettingRows()) {
    SCOPED_TRACE(Keyword(row));
    ASSERT_LE(row.offset + row.size, sizeof(DeviceSettings));
    for (size_t b = row.offset; b < row.offset + row.size; ++b) {
      EXPECT_FALSE(taken[b]) << "byte " << b;
      taken[b] = true;
    }
    switch (row.value) {
      case SettingValue::Address:
      case SettingValue::Number:
      case SettingValue::Security: EXPECT_EQ(row.size, 4u); break;
      case SettingValue::Parity: EXPECT_EQ(row.size, 1u); break;
      case SettingValue::Text: EXPECT_GT(row.size, 1u); break;
    }
    // A number written through the row reads back, and touches no byte beside it.
    DeviceSettings s;
    std::memset(&s, 0x5A, sizeof s);
    const DeviceSettings before = s;
    if (row.value == SettingValue::Number || row.value == SettingValue::Parity) {
      SetNumber(s, row, 'E');
      EXPECT_EQ(NumberOf(s, row), 'E');
      for (size_t b = 0; b < sizeof s; ++b) {
        if (b < row.offset || b >= row.offset + row.size) {
          EXPECT_EQ(reinterpret_cast<const uint8_t*>(&s)[b], reinterpret_cast<const uint8_t*>(&before)[b]) << b;
        }
      }
    }
  }
}

TEST(SettingTable, ChoiceTextsRoundTripAndTheOfferedOnesAreTheFormsList) {
  for (const SettingRow& row : SettingRows()) {
    SCOPED_TRACE(Keyword(row));
    ASSERT_LE(row.offered, row.choices.size());
    for (size_t i = 0; i < row.choices.size(); ++i) {
      const ValueText& choice = row.choices[i];
      int32_t value = -12345;
      ASSERT_TRUE(ChoiceValueOf(row, choice.text, value)) << choice.text;
      EXPECT_EQ(value, choice.value) << choice.text;
      if (i < row.offered) {
        EXPECT_STREQ(ChoiceTextOf(row, value), choice.text);
      } else {
        // Understood but not offered: the form selects nothing for it.
        EXPECT_EQ(ChoiceTextOf(row, value), nullptr) << choice.text;
      }
    }
    // The list the form shows holds exactly the offered texts, in their order; a list of
    // numbers holds numbers of the row's range.
    const auto items = InitialListItems(row.controls[0]);
    if (!row.choices.empty()) {
      ASSERT_EQ(items.size(), row.offered);
      for (size_t i = 0; i < items.size(); ++i) EXPECT_STREQ(items[i], row.choices[i].text);
    } else if (!items.empty()) {
      EXPECT_EQ(row.shows, FormShows::ListNumber);
      for (const char* item : items) EXPECT_TRUE(row.range.Holds(std::atoi(item))) << item;
    }
    if (row.shows == FormShows::ListText) {
      EXPECT_FALSE(items.empty());
    }
  }
}

TEST(SettingTable, TheFormOffersExactlyWhatItsListShows) {
  for (const SettingRow& row : SettingRows()) {
    SCOPED_TRACE(Keyword(row));
    const auto items = InitialListItems(row.controls[0]);
    DeviceSettings s{};
    for (int32_t value : {-1, 0, 1, 2, 7, 8, 63, 64, 500, 9600, int32_t{'N'}, int32_t{'X'}}) {
      SetNumber(s, row, value);
      if (row.value == SettingValue::Text || row.value == SettingValue::Address) continue;
      const char* text = row.shows == FormShows::ListText ? ChoiceTextOf(row, value) : nullptr;
      const std::string digits = std::to_string(value);
      bool listed = false;
      for (const char* item : items) {
        listed = listed || (text != nullptr ? std::strcmp(item, text) == 0 : item == digits);
      }
      // A value shown as another's text (every mode above client as "Server") is not offered.
      if (row.otherValuesShowAsOne && value != 0 && value != 1) listed = false;
      if (items.empty()) listed = true;
      EXPECT_EQ(FormOffers(row, s), listed) << value;
    }
  }
}

// A snapshot field, a report line and a comparison name each say one thing: two fields on
// the same bytes would make an edit of one silently change the other.
TEST(SettingTable, EveryRowHasFieldsAndNoTwoFieldsShareANameOrBytes) {
  std::set<std::string> keys, labels;
  std::set<int32_t> rowsWithFields;
  std::vector<std::pair<size_t, int32_t>> places;  // offset and security bit
  for (const SettingField& field : SettingFields()) {
    SCOPED_TRACE(field.key);
    EXPECT_TRUE(keys.insert(field.key).second);
    EXPECT_TRUE(labels.insert(field.label).second);
    EXPECT_TRUE(std::find(places.begin(), places.end(), std::make_pair(OffsetOf(field), field.bit)) == places.end());
    places.emplace_back(OffsetOf(field), field.bit);
    EXPECT_LE(OffsetOf(field) + SizeOf(field), sizeof(DeviceSettings));
    const SettingRow* row = RowOf(field);
    if (field.own == OwnMember::SerialNumber) {
      EXPECT_EQ(row, nullptr);
      continue;
    }
    ASSERT_NE(row, nullptr);
    rowsWithFields.insert(row->commandId);
    EXPECT_EQ(field.bit != 0, row->value == SettingValue::Security);
    if (field.report == ReportLine::WithPort || field.report == ReportLine::Mode) {
      EXPECT_NE(RowOfCommand(field.other), nullptr);
    }
  }
  for (const SettingRow& row : SettingRows()) EXPECT_TRUE(rowsWithFields.count(row.commandId)) << Keyword(row);
  // Each of the security row's switches is one field.
  const SettingRow* security = RowOfCommand(kCmdSecurity);
  int32_t bits = 0;
  for (const SettingField& field : SettingFields()) {
    if (RowOf(field) == security) bits |= field.bit;
  }
  int controls = 0;
  for (int id : security->controls) controls += id != 0 ? 1 : 0;
  EXPECT_EQ(std::popcount(static_cast<uint32_t>(bits)), controls);
}

TEST(SettingTable, EveryControlIsOnTheFormAndBelongsToOneSetting) {
  std::set<int> onForm;
  for (const ControlTemplate& control : MainDialogTemplate().controls) onForm.insert(control.id);
  std::set<int> used;
  for (const SettingRow& row : SettingRows()) {
    SCOPED_TRACE(Keyword(row));
    EXPECT_NE(row.controls[0], 0);
    for (int id : row.controls) {
      if (id == 0) continue;
      EXPECT_TRUE(onForm.count(id) == 1) << id;
      EXPECT_TRUE(used.insert(id).second) << id;
    }
    if (row.shows == FormShows::Address) {
      EXPECT_NE(row.controls[3], 0);
    }
  }
}

}  // namespace
}  // namespace vqx
