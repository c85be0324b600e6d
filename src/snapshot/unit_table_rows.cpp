#include "unit_table_rows.h"

#include <cctype>
#include <utility>

#include "refuse.h"
#include "snapshot.h"
#include "system_port.h"
#include "text_codec.h"

namespace vqx::snapshot::detail {

namespace {

// The identities two units must not share: two units with one address, or one name,
// could not be told apart on the network or in the History.
constexpr std::string_view kUniqueFields[] = {"name", "ipAddress"};

}  // namespace

size_t MostUnitColumns() { return 2 * FieldNames().size() + 8; }

std::string Lowered(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string_view Trimmed(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  const size_t last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

std::string TooManyRows() {
  return "the table holds more than " + std::to_string(kMostUnitRows) + " units; split it into smaller ones";
}

std::string PortKey(std::string_view port) {
  std::string upper(Trimmed(port));
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return Lowered(ResolvePortName(upper));
}

const Field* SettableField(std::string_view name, bool* companion, std::string* why) {
  *companion = false;
  for (const Field& f : Fields()) {
    const std::string companionKey = CompanionKey(f);
    const bool isCompanion = !companionKey.empty() && name == companionKey;
    if (name != f.key && !isCompanion) continue;
    if (f.readOnly) {
      *why = "read only: the unit reports it and cannot be told it, so a table cannot set it";
      return nullptr;
    }
    *companion = isCompanion;
    return &f;
  }
  *why = "not a field of a snapshot";
  for (const Field& f : Fields()) {
    if (Lowered(f.key) == Lowered(name)) {
      *why += " (did you mean " + std::string(f.key) + "?)";
      break;
    }
  }
  if (name == "record" || name == "unsupported" || name == "linkStatus") {
    *why = "belongs to a whole unit's snapshot, not to a row of a unit table";
  }
  *why += "; a unit table has macAddress and/or port and the fields of a snapshot";
  return nullptr;
}

std::string WithoutKey(const std::string& why, std::string* key) {
  const size_t colon = why.find(": ");
  if (colon == std::string::npos || why.find(' ') < colon) {
    key->clear();
    return why;
  }
  *key = why.substr(0, colon);
  return why.substr(colon + 2);
}

void RowChecker::Expect(size_t rows) {
  for (auto* seen : {&macs_, &ports_, &names_, &addresses_}) seen->reserve(rows);
}

bool RowChecker::Add(UnitRow&& row, const Where& where, const char* placeWord, std::vector<UnitRow>& rows,
                     std::string* error) {
  if (row.macAddress.empty() && row.port.empty()) {
    return Refuse(error, where(row.line, {}) + ": no macAddress or port; each row must say which unit it is for");
  }
  // True, after the refusal, when an earlier row holds value already.
  const auto taken = [&](std::unordered_map<std::string, size_t>& seen, std::string value, std::string_view key,
                         const auto& shown, const char* reason) {
    const auto [it, added] = seen.emplace(std::move(value), row.line);
    if (added) return false;
    Refuse(error, where(row.line, key) + ": " + shown() + " is already on " + placeWord + " " +
                      std::to_string(it->second) + "; " + reason);
    return true;
  };
  if (!row.macAddress.empty() &&
      taken(macs_, row.macAddress, kMacColumn, [&] { return row.macAddress; }, "each unit has one row")) {
    return false;
  }
  if (!row.port.empty() &&
      taken(ports_, PortKey(row.port), kPortColumn, [&] { return Quoted(row.port); }, "one unit hangs on each port")) {
    return false;
  }
  for (const std::string_view field : kUniqueFields) {
    if (!row.values.Has(field)) continue;
    const Field& f = *FindField(field);
    // A text by its bytes, an address by its four octets.
    const std::string value = f.kind == Kind::Text
                                  ? std::string(TextOf(row.values.values, f))
                                  : std::string(reinterpret_cast<const char*>(BytesOf(row.values.values, f)), f.size);
    const auto shown = [&] {
      return Quoted(f.kind == Kind::Text ? BytesToUtf8(value) : ReportValue(row.values.values, f));
    };
    if (taken(field == "name" ? names_ : addresses_, value, field, shown, "two units must not share it")) return false;
  }
  rows.push_back(std::move(row));
  return true;
}

}  // namespace vqx::snapshot::detail
