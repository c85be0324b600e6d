#pragma once

// Provisioning many units from one template plus a table of what differs per unit.
//
// A template is a snapshot file without the fields that make a unit itself (name,
// address, MAC, serial number, firmware, DHCP): what every unit of a fleet shares.
// The unit table holds one row per unit, keyed by the unit's MAC address (as the unit
// reports it) and/or the serial port it hangs on, with the fields that unit gets on top of
// the template. It is a CSV file (a header line of snapshot field names plus "macAddress"
// and/or "port") or a JSON array of objects of the same names; the format is described for
// technicians in docs/vqxctl.md, "Provisioning a fleet".
//
// The whole table is checked when it is read, before any unit is touched: a table that
// would configure two units alike, or one unit twice, is refused with the line (CSV) or
// entry (JSON) and the column at fault.

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "settings/device_settings.h"
#include "snapshot.h"

namespace vqx::snapshot {

// One unit's row, checked.
struct UnitRow {
  // Where the row starts: the CSV line (1-based, the header is line 1; a row whose quoted
  // cell spans lines is at its first line) or the JSON entry (1-based).
  size_t line = 0;
  // As the unit itself reports a MAC (NormaliseMac's form, "00:50:C2:12:34:56"); empty
  // when the row is keyed by port only.
  std::string macAddress;
  // The serial port name as given ("COM3", "/dev/ttyUSB0"); empty when keyed by MAC only.
  std::string port;
  // The row's own fields: present names its value columns with a value in this row (never
  // the key columns). An empty CSV cell (a JSON null) gives nothing: the template's value,
  // or the unit's own, applies.
  PartialSettings values;
};

struct UnitTable {
  std::vector<UnitRow> rows;  // in file order
};

// The most rows a table may hold; a file with more is no fleet's and is refused at the
// first row over, before the rest is read. Each row costs a full record in memory.
inline constexpr size_t kMostUnitRows = 100000;

// Parses a unit table: JSON when the first character that is not a blank (after a UTF-8
// byte order mark) is '[' (or '{', refused as no list), CSV otherwise. Refuses, with "line L, column C (name): ..." for
// CSV or "entry N, name: ..." for JSON in *error (error may be null): a NUL byte, an
// unterminated quote, an unknown column, a value FromJson would refuse, a read-only field
// (firmwareVersion, dhcp, serialNumber) as a column, a row without a MAC or port, a MAC
// that is not six hex pairs, the same MAC or port twice, the same name or ipAddress on two
// rows (both lines named), more than kMostUnitRows rows.
std::optional<UnitTable> ParseUnitTable(std::string_view text, std::string* error);

// Reads path ("-" for standard input) with the same refusals as every other file
// (ReadTextFile) and parses it; a refusal starts with the file's name.
std::optional<UnitTable> LoadUnitTable(const std::string& path, std::string* error);

// Reads a template: a snapshot file (LoadSnapshotFile) that holds no identity field
// (name, ipAddress, macAddress, serialNumber, firmwareVersion, dhcp) and no "record"
// (which would carry them all). Refuses one that does, naming the file and the field.
std::optional<PartialSettings> LoadTemplateFile(const std::string& path, std::string* error);

// name, ipAddress, macAddress, serialNumber, firmwareVersion and dhcp: what makes a unit
// itself, and so never part of a template.
bool IsIdentityField(std::string_view field);

// A unit's settings as a template: ToJson without the identity fields, and without
// webPassword unless keepPassword. LoadTemplateFile takes it back.
nlohmann::json ToTemplateJson(const DeviceSettings& s, std::span<const std::string> unsupported, bool keepPassword);

// The settings a unit should end with: current, then the template's fields over it, then
// the row's (row may be null: template only).
DeviceSettings TargetFor(const DeviceSettings& current, const PartialSettings& tmpl, const UnitRow* row);

// The row for the unit with MAC mac (any form NormaliseMac takes) on port port, or nullptr.
// A row with a MAC is this unit's only when the MAC is the unit's; when the row names a port
// too, the unit must also be on that port (a unit on the wrong port is nobody's row, never
// another unit's). A row with a port alone is the row of whatever unit is on that port,
// unless a MAC row is this unit's. Port names compare as the port they open, in any case:
// COM1 is /dev/ttyS0 on Linux, ttyUSB0 is /dev/ttyUSB0, COM3 is \\.\COM3 on Windows.
const UnitRow* FindUnitRow(const UnitTable& table, std::string_view mac, std::string_view port);

// The unit's own form of a MAC, upper-case hex pairs separated by ':' ("00:50:C2:12:34:56"),
// from six hex pairs in either case separated by ':' or '-', or twelve hex digits without
// separators; blanks around it are ignored. nullopt for anything else.
std::optional<std::string> NormaliseMac(std::string_view text);

}  // namespace vqx::snapshot
