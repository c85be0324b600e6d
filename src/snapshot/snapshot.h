#pragma once

// Snapshots of a unit's settings as JSON, comparisons between two sets of settings, and
// the History of a preferences file worked on offline. The format is described for
// technicians in docs/snapshot-json.md.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "app/preferences_block.h"
#include "port/file_store.h"
#include "settings/device_settings.h"

namespace vqx::snapshot {

// ---- Field names --------------------------------------------------------------------

// The JSON names of every field, in the order a report and a diff list them. Companion
// texts ("vocoderText") are not fields of their own: they belong to their number.
std::span<const std::string_view> FieldNames();

// firmwareVersion, macAddress and dhcp come from the unit and cannot be sent to it;
// serialNumber is the technician's own label and never reaches the unit either.
bool IsReadOnlyField(std::string_view field);

// The fields a unit command keyword sets and queries: "VOCODER" gives vocoder, "SECURITY"
// the five allow... booleans, "MYIP" ipAddress and dhcp. Empty for a keyword without a
// field (SAVE, ECHO, ...) and for anything else.
std::vector<std::string_view> FieldsForKeyword(std::string_view keyword);

// The unit keyword of a field ("vocoder" gives "VOCODER"); empty for serialNumber and for
// a name that is no field.
std::string_view KeywordOfField(std::string_view field);

// ---- One unit's settings as JSON -------------------------------------------------------

// Every field of s under its JSON name. unsupported names the settings the unit answered
// ERR to, by unit keyword ("VOCODER") or JSON name ("vocoder"): their fields are left out
// of the object, since the record holds no value of the unit's for them, and their
// keywords are listed under "unsupported" in the order given. Texts are carried byte for byte: each byte
// is one character U+0001..U+00FF, so any record gives valid JSON.
nlohmann::json ToJson(const DeviceSettings& s, std::span<const std::string> unsupported = {});

// The same, plus "record": the record's 328 bytes as 656 lower-case hex digits. The named
// fields cannot say everything a record from a file may hold (padding, bytes after a
// text's terminator, values no list offers); "record" does, so an entry survives export
// and import byte for byte.
nlohmann::json ToJsonWithRecord(const DeviceSettings& s);

// A parsed snapshot: values of the fields named in present; every other field of values
// is zero (or, when the snapshot had a "record", that record's byte).
struct PartialSettings {
  DeviceSettings values{};
  std::set<std::string> present;  // JSON field names, companion texts folded into their number
  bool Has(std::string_view field) const { return present.count(std::string(field)) != 0; }
};

// Parses one snapshot object. Refuses, with the field's name, what is wrong and what is
// allowed in *error (error may be null): anything but an object, unknown names, wrong
// JSON types, values outside the lists and ranges the desktop form offers, texts with a
// line break or NUL, texts longer than their field or with characters above U+00FF,
// addresses that are not four dotted numbers 0..255, a number and its companion text that
// disagree. A companion text alone ("vocoderText": "PCM 64Kbps") sets the field.
// With a "record", a named field equal to what the record holds is taken as the record
// holds it; one that differs must pass the checks above and replaces it.
std::optional<PartialSettings> FromJson(const nlohmann::json& j, std::string* error);

// Whether every field present in partial that can be sent to a unit holds a value the
// checks of FromJson accept. FromJson takes what a "record" holds unchecked (so that an
// export is imported byte for byte); before such a snapshot is applied to a unit this
// refuses, naming the field, a text with a line break or a value no list offers.
bool CheckSendable(const PartialSettings& partial, std::string* error);

// Writes the fields present in partial over target; the security booleans change only
// their own bit. Fields not present keep target's value.
void ApplyTo(const PartialSettings& partial, DeviceSettings& target);

// The desktop program's warning when s asks for multicast (broadcastMode 3) with a server
// address that is neither a multicast group (224.0.0.0 - 239.255.255.255) nor 0.0.0.0;
// empty when the rule is kept. Its two lines are separated by a line feed, where the
// desktop's box breaks the line.
std::string MulticastProblem(const DeviceSettings& s);

// Whether the desktop's settings form could send s's value of each named field: a list
// value the form does not offer (a hang time of 0, a connection mode above 1) and a field
// the unit cannot be told are refused, naming the field in *error.
bool FormCanSend(const DeviceSettings& s, std::span<const std::string> fields, std::string* error);

// ---- Files --------------------------------------------------------------------------

// Parses JSON text without throwing. Refuses, with the reason in *reason: text that is
// not JSON (with line and column; numbers too large for a double such as 1e400 too),
// containers nested deeper than a snapshot or a History export can be (found before the
// rest is read, so a file of brackets costs no memory), and an object that gives a key
// twice (the key is named).
//
// A top-level list is refused at its first element past limit.most, with limit.refusal as
// the reason: a file of millions of small elements costs no more than the limit's worth.
// An object (at any depth) or a list inside the top level is refused at its first name or
// element past limit.mostInside, with limit.insideRefusal: one entry of millions of names
// is no entry either.
struct JsonListLimit {
  size_t most = SIZE_MAX;
  std::string refusal;
  size_t mostInside = SIZE_MAX;
  std::string insideRefusal;
};
std::optional<nlohmann::json> ParseJsonText(const std::string& text, std::string* reason,
                                            const JsonListLimit& limit = {});

// Reads and parses a JSON file. Refuses with "PATH: reason": does not exist, permission
// denied, is a directory, empty, and everything ParseJsonText refuses.
std::optional<nlohmann::json> LoadJsonFile(const std::string& path, std::string* error);

// Reads a whole text file (or "-", standard input) as LoadJsonFile does, with the same
// refusals, without parsing it. kind names what the file is meant to be, for the
// refusal of one too large ("larger than 16 MB; not an address book").
bool ReadTextFile(const std::string& path, std::string* content, std::string* error,
                  const char* kind = "a snapshot file");

// LoadJsonFile then FromJson; a refusal names the file.
std::optional<PartialSettings> LoadSnapshotFile(const std::string& path, std::string* error);

// Two spaces of indentation and a final line break. Never throws for ToJson's output.
std::string DumpJson(const nlohmann::json& j);

// ---- Comparison ---------------------------------------------------------------------

struct FieldDifference {
  std::string field;  // the report's name: "Vocoder", "IP Address", "Access via telnet"
  std::string left;   // the report's value text: "ADPCM 24Kbps", "10.0.0.5", "Yes"
  std::string right;
  std::string key;    // the JSON name: "vocoder"
};

// Every field whose value differs between a and b, in FieldNames() order. Texts are
// compared up to their terminator; a value without a text in the lists shows as its number.
std::vector<FieldDifference> Diff(const DeviceSettings& a, const DeviceSettings& b);
// Only the fields named (JSON names, e.g. PartialSettings::present).
std::vector<FieldDifference> Diff(const DeviceSettings& a, const DeviceSettings& b,
                                  const std::set<std::string>& fields);

// ---- History in a preferences file, offline ------------------------------------------

// Reads the preferences file name from store. Refuses a file that does not exist, is not
// exactly 86,368 bytes, lacks the format mark 17 or holds a History count outside
// 0..200, with the reason in *error. The block is the file's bytes, unchanged.
std::unique_ptr<PreferencesBlock> LoadPreferences(IFileStore& store, const std::string& name, std::string* error);

std::span<const DeviceSettings> HistoryEntries(const PreferencesBlock& block);

// "SERIAL NAME (A.B.C.D:PORT)", the line the desktop program's History list shows.
std::string HistoryListLine(const DeviceSettings& entry);

// The settings report (FormatSettingsReport) of entry number (1-based), or of every entry
// when number is 0. Refuses a number outside 0..count.
std::optional<std::string> HistoryReport(const PreferencesBlock& block, int number, std::string* error);

// A JSON array of ToJsonWithRecord objects, one per entry, in list order. The History
// keeps no date, time or label besides the serial number, which every entry carries.
nlohmann::json HistoryToJson(const PreferencesBlock& block);

// A header line of JSON names ("entry" first, then the fields and their companion
// texts) and one line per entry;
// lines end in CR LF; a value with a comma, a quote or a line break is quoted with its
// quotes doubled.
std::string HistoryToCsv(const PreferencesBlock& block);

// The records of a JSON array of snapshots (FromJson each; absent fields are zero).
// A refusal names the entry: "entry 3: vocoder: ...".
std::optional<std::vector<DeviceSettings>> HistoryEntriesFromJson(const nlohmann::json& j, std::string* error);

// Appends entries after the History's last one. Refuses the whole import, changing
// nothing, when the History would pass 200 entries.
bool AppendHistory(PreferencesBlock& block, std::span<const DeviceSettings> entries, std::string* error);

// Loads the file, appends the JSON array's entries and replaces the file through the
// store (atomic). Only the History slots taken and the count change; every other byte is
// written back as read. On refusal nothing is written. *imported (may be null) receives
// the number of entries added.
bool ImportHistory(IFileStore& store, const std::string& name, const nlohmann::json& j, std::string* error,
                   int* imported = nullptr);

}  // namespace vqx::snapshot
