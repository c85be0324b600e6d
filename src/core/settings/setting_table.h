#pragma once

// Every setting of the unit, once: its command and reply, where it lies in the record, the
// controls that show it, the texts of its list, the values it takes, how Update Settings
// reads it and where it stands in the full read. The device logic, the form, the terminal,
// Update Settings and the snapshot fields all walk this table, so a setting is described
// in one place (and its controls laid out in the dialog template).

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "settings/device_settings.h"

namespace vqx {

// What the unit's next "OK" confirms: the program's own steps, then one step for each
// typed setting the form follows.
enum QueryStep : int32_t {
  kNothingPending = 0,
  kAwaitTransparent = 1,
  kAwaitCommandMode = 2,
  kAwaitEchoOff = 3,
  kConfirmIpAddress = 4,
  kConfirmServerIp = 5,
  kConfirmGatewayIp = 6,
  kConfirmSubnetMask = 7,
  kConfirmBroadcastMode = 8,
  kConfirmConnectionMode = 9,
  kConfirmBaudRate = 10,
  kConfirmVoipPort = 11,
  kConfirmServerPort = 12,
  kConfirmSecurity = 13,
  kConfirmName = 14,
  kConfirmCorSquelchType = 15,
  kConfirmCorInhibitTime = 16,
  kConfirmHangTime = 17,
  kConfirmVocoder = 18,
  kConfirmDataBits = 19,
  kConfirmStopBits = 20,
  kConfirmParity = 21,
  kConfirmWebPassword = 22,
};

// What kind of value a setting holds in the record.
enum class SettingValue : uint8_t {
  Address,   // four octets
  Number,    // int32
  Text,      // NUL-terminated bytes
  Security,  // int32 of switch-off bits, shown as check boxes
  Parity,    // one letter 'N', 'E' or 'O'
};

// How the Settings view shows it.
enum class FormShows : uint8_t {
  Address,     // four one-octet boxes
  Number,      // the decimal number in an edit box
  ListNumber,  // the list item that begins with the number's digits
  ListText,    // the list item of the value's text; a value without one changes nothing
  Text,        // the text in an edit box or a static, after the row's prefix
  Security,    // a check box per switch-off bit
};

// How Update Settings reads its row of the form.
enum class FormReading : uint8_t {
  NotSent,   // read only: never sent
  Text,      // edit box, as typed
  Security,  // the five check boxes
  Choice,    // drop-down with a fixed list of texts
  Number,    // decimal number, taken whole
  Dscp,      // decimal number; no selection sends nothing
  Delay,     // decimal number within the row's range
  Address,   // four boxes, one octet each
  Parity,    // first letter of the drop-down's text
};

// Which of the host's own line settings follows the setting (the host must speak what
// the unit speaks).
enum class HostLine : uint8_t { None, BaudRate, DataBits, StopBits, Parity };

struct ValueRange {
  int32_t low = 0;
  int32_t high = 0;
  constexpr bool Holds(int32_t v) const { return v >= low && v <= high; }
};

// Whether a setting is read and where: settingReadState of the full read, as the read
// marks it.
enum class ReadMark : uint8_t {
  NotRead = 0,
  Refused = 1,  // the unit answered ERR (or a value it could not read)
  Read = 2,
};

struct SettingRow {
  int32_t commandId;   // the query and set command
  int32_t responseId;  // the reply keyword
  QueryStep typedStep; // the step that confirms it typed; kNothingPending when the form does not follow
  SettingValue value;
  size_t offset;       // the member of DeviceSettings
  size_t size;
  std::array<int, 5> controls;  // the form's controls, 0 where there are fewer; first octet first
  FormShows shows;
  const char* prefix = "";      // FormShows::Text: what the static shows before the text
  // The list's texts: the first `offered` the form lists, the rest understood as well.
  std::span<const ValueText> choices{};
  size_t offered = 0;
  // A value without its own text shows as the text of 1 (every mode above client is
  // "Server", every boost "+20 db").
  bool otherValuesShowAsOne = false;
  ValueRange range{};       // the values the unit takes
  ValueRange typed{};       // the values a typed command may carry for the form to follow it
  bool replyWithinRange = false;  // a reply outside range stores nothing
  // The list shows "Server" for every mode above client: neither a typed 1 nor a "Server"
  // left as shown replaces the unit's modes above 1.
  bool keepsServerModes = false;
  // Its multicast mode goes out only with a multicast group (or no server) to join.
  bool multicastNeedsGroup = false;
  HostLine hostLine = HostLine::None;
  bool dhcpRemark = false;        // the reply carries the unit's DHCP remark
  bool staysEnabled = false;      // refused, its controls stay enabled (an edit is named instead)
  FormReading reading = FormReading::NotSent;
  int sendOrder = -1;             // place among the commands Update Settings sends
  int32_t fallback = 0;           // the value of a row the form shows no value for
  std::array<uint8_t, 4> octetFallback{};
  const char* label = nullptr;    // the form's label, for warnings
};

// How the settings report shows a field.
enum class ReportLine : uint8_t {
  Value,     // "Label: value"
  None,      // the report leaves it out
  WithPort,  // the address, ":" and the number of the row `other` names (the unit's own socket)
  Mode,      // the mode of the row `other` names; when that mode is 0, this field's own text.
             // A mode without a text gives no line at all.
};

// A field kept in a member of its own rather than its row's.
enum class OwnMember : uint8_t {
  None,
  SerialNumber,  // the technician's label: no command sets or reads it
  DhcpRemark,    // whether the address reply carried the unit's DHCP remark
};

// One field of a snapshot, a comparison and the settings report. A row has one field, the
// security row one per switch, the address row a second for its DHCP remark.
struct SettingField {
  const char* key;              // the snapshot's JSON name
  const char* label;            // the name the report and a comparison give it
  int32_t commandId = 0;        // its row; 0 for the serial number
  OwnMember own = OwnMember::None;
  int32_t bit = 0;              // a security switch: the bit that switches it off
  bool milliseconds = false;    // its number is shown as "%d ms"
  size_t maxLength = 0;         // a text's longest; 0 when its member less the terminator
  ReportLine report = ReportLine::Value;
  int32_t other = 0;            // ReportLine::WithPort and Mode: the command of the other row
  bool blankLineAfter = false;  // the report's paragraphs
  // The report's and a comparison's texts where they differ from the form's.
  std::span<const ValueText> reportTexts{};
};

// Every field in the order of a snapshot, a comparison and the report.
std::span<const SettingField> SettingFields();
// The row a field belongs to; nullptr for the serial number.
const SettingRow* RowOf(const SettingField& field);
// Where the field lies in a record, and how many bytes it takes there.
size_t OffsetOf(const SettingField& field);
size_t SizeOf(const SettingField& field);

// The rows in the order of the full read (alphabetical by keyword).
std::span<const SettingRow> SettingRows();
inline constexpr size_t kSettingRowCount = 28;
// The rows Update Settings sends, in the order their commands go out.
std::span<const SettingRow* const> SendOrder();
inline constexpr size_t kSendRowCount = 26;

// nullptr when no row has it.
const SettingRow* RowOfCommand(int32_t commandId);
const SettingRow* RowOfReply(int32_t responseId);
const SettingRow* RowOfTypedStep(int32_t step);
// The row's place in the full read, or -1.
int ReadIndexOf(int32_t commandId);

// The member of a record the row names; a parity is its letter.
int32_t NumberOf(const DeviceSettings& s, const SettingRow& row);
void SetNumber(DeviceSettings& s, const SettingRow& row, int32_t value);
const uint8_t* BytesOf(const DeviceSettings& s, const SettingRow& row);
uint8_t* BytesOf(DeviceSettings& s, const SettingRow& row);

// The text the form's list shows for a value, nullptr when it shows none.
const char* ChoiceTextOf(const SettingRow& row, int32_t value);
// The value of a list text the form understands (also one the list does not offer);
// false when it understands none.
bool ChoiceValueOf(const SettingRow& row, const char* text, int32_t& value);

bool IsParityLetter(char letter);

// Whether the form's list can show the row's value in s (a row without a list shows any).
bool FormOffers(const SettingRow& row, const DeviceSettings& s);

}  // namespace vqx
