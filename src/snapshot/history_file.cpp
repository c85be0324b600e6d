#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "app/settings_report.h"
#include "csv_cell.h"
#include "refuse.h"
#include "field_table.h"
#include "snapshot.h"

namespace vqx::snapshot {

using detail::Refuse;
using nlohmann::json;

namespace {

std::string CsvCell(const json& value) {
  std::string text;
  if (value.is_string()) {
    text = value.get<std::string>();
    if (detail::NeedsApostrophe(text)) text = "'" + text;
  } else if (value.is_boolean()) {
    text = value.get<bool>() ? "true" : "false";
  } else if (!value.is_null()) {
    text = value.dump();
  }
  return detail::CsvQuoted(text);
}

std::vector<std::string> CsvColumns() {
  std::vector<std::string> columns;
  for (const detail::Field& f : detail::Fields()) {
    columns.emplace_back(f.key);
    const std::string companion = detail::CompanionKey(f);
    if (!companion.empty()) columns.push_back(companion);
  }
  return columns;
}

}  // namespace

std::unique_ptr<PreferencesBlock> LoadPreferences(IFileStore& store, const std::string& name, std::string* error) {
  constexpr size_t kSize = sizeof(PreferencesBlock);
  // One byte more than a block, so that a longer file shows itself.
  std::vector<uint8_t> bytes(kSize + 1);
  FileResult why;
  const int64_t read = store.ReadFile(name.c_str(), bytes.data(), bytes.size(), &why);
  if (read < 0) {
    Refuse(error, "cannot be opened: " + DescribeFileProblem(why));
    return nullptr;
  }
  if (read != static_cast<int64_t>(kSize)) {
    const std::string length = read > static_cast<int64_t>(kSize) ? "more than " + std::to_string(kSize)
                                                                  : std::to_string(read);
    Refuse(error, "not a preferences file: it is " + length + " bytes long, a preferences file exactly " +
                      std::to_string(kSize));
    return nullptr;
  }
  auto block = std::make_unique<PreferencesBlock>();
  std::memcpy(block.get(), bytes.data(), kSize);
  if (block->formatMark != kPreferencesFormatMark) {
    Refuse(error, "not a preferences file: its first byte is " + std::to_string(block->formatMark) +
                      ", not the format mark " + std::to_string(kPreferencesFormatMark));
    return nullptr;
  }
  if (block->historyCount < 0 || block->historyCount > kHistoryCapacity) {
    Refuse(error, "damaged: the History count is " + std::to_string(block->historyCount) +
                      ", outside 0.." + std::to_string(kHistoryCapacity));
    return nullptr;
  }
  return block;
}

std::span<const DeviceSettings> HistoryEntries(const PreferencesBlock& block) {
  const int32_t count = block.historyCount < 0 ? 0 : std::min(block.historyCount, kHistoryCapacity);
  return {block.history, static_cast<size_t>(count)};
}

std::string HistoryListLine(const DeviceSettings& entry) {
  const auto serial = detail::TextOf(entry, *detail::FindField("serialNumber"));
  const auto name = detail::TextOf(entry, *detail::FindField("name"));
  char address[40];
  std::snprintf(address, sizeof(address), " (%u.%u.%u.%u:%d)", entry.ipAddress[0], entry.ipAddress[1],
                entry.ipAddress[2], entry.ipAddress[3], entry.voipPort);
  return std::string(serial) + " " + std::string(name) + address;
}

std::optional<std::string> HistoryReport(const PreferencesBlock& block, int number, std::string* error) {
  const auto entries = HistoryEntries(block);
  if (number == 0) return FormatSettingsReport(entries);
  if (number < 0 || static_cast<size_t>(number) > entries.size()) {
    Refuse(error, "there is no History entry " + std::to_string(number) + "; " +
                      (entries.empty() ? std::string("the History is empty")
                                       : "the entries are numbered 1.." + std::to_string(entries.size())));
    return std::nullopt;
  }
  return FormatSettingsReport(entries.subspan(static_cast<size_t>(number - 1), 1));
}

json HistoryToJson(const PreferencesBlock& block) {
  json list = json::array();
  for (const DeviceSettings& entry : HistoryEntries(block)) list.push_back(ToJsonWithRecord(entry));
  return list;
}

std::string HistoryToCsv(const PreferencesBlock& block) {
  const std::vector<std::string> columns = CsvColumns();
  std::string out = "entry";
  for (const std::string& column : columns) out += "," + column;
  out += "\r\n";
  int number = 0;
  for (const DeviceSettings& entry : HistoryEntries(block)) {
    const json j = ToJson(entry);
    out += std::to_string(++number);
    for (const std::string& column : columns) out += "," + CsvCell(j[column]);
    out += "\r\n";
  }
  return out;
}

std::optional<std::vector<DeviceSettings>> HistoryEntriesFromJson(const json& j, std::string* error) {
  std::vector<DeviceSettings> entries;
  // One snapshot (what a read of a unit prints) is one entry.
  if (j.is_object()) {
    auto parsed = FromJson(j, error);
    if (!parsed) return std::nullopt;
    entries.push_back(parsed->values);
    return entries;
  }
  if (!j.is_array()) {
    Refuse(error, std::string("expected a list of snapshots (a JSON array), not ") + j.type_name());
    return std::nullopt;
  }
  int number = 0;
  for (const json& item : j) {
    ++number;
    std::string why;
    auto parsed = FromJson(item, &why);
    if (!parsed) {
      Refuse(error, "entry " + std::to_string(number) + ": " + why);
      return std::nullopt;
    }
    entries.push_back(parsed->values);
  }
  return entries;
}

bool AppendHistory(PreferencesBlock& block, std::span<const DeviceSettings> entries, std::string* error) {
  const auto held = static_cast<size_t>(HistoryEntries(block).size());
  const auto room = static_cast<size_t>(kHistoryCapacity) - held;
  if (entries.size() > room) {
    if (room == 0) return Refuse(error, "The history list is already full (200 entries); nothing was imported");
    return Refuse(error, "the History holds " + std::to_string(held) + " of " + std::to_string(kHistoryCapacity) +
                             " entries, so only " + std::to_string(room) + " more fit, not " +
                             std::to_string(entries.size()) + "; nothing was imported");
  }
  std::copy(entries.begin(), entries.end(), block.history + held);
  block.historyCount = static_cast<int32_t>(held + entries.size());
  return true;
}

bool ImportHistory(IFileStore& store, const std::string& name, const json& j, std::string* error, int* imported) {
  if (imported) *imported = 0;
  const auto block = LoadPreferences(store, name, error);
  if (!block) return false;
  const auto entries = HistoryEntriesFromJson(j, error);
  if (!entries) return false;
  if (entries->empty()) return true;  // nothing to add: the file stays as it is
  if (!AppendHistory(*block, *entries, error)) return false;
  const FileResult written =
      store.ReplaceFile(name.c_str(), block.get(), sizeof(PreferencesBlock), NewFileAccess::OwnerOnly);
  if (!written) return Refuse(error, "could not be written: " + DescribeFileProblem(written) + "; the file is unchanged");
  if (imported) *imported = static_cast<int>(entries->size());
  return true;
}

}  // namespace vqx::snapshot
