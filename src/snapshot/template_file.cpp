// Templates: what every unit of a fleet shares, a snapshot without a unit's identity.

#include <algorithm>
#include <iterator>

#include "refuse.h"
#include "unit_table.h"

namespace vqx::snapshot {

using detail::Refuse;
using nlohmann::json;

namespace {

constexpr std::string_view kIdentityFields[] = {"name", "ipAddress", "macAddress", "serialNumber", "firmwareVersion",
                                                "dhcp"};

}  // namespace

bool IsIdentityField(std::string_view field) {
  return std::find(std::begin(kIdentityFields), std::end(kIdentityFields), field) != std::end(kIdentityFields);
}

json ToTemplateJson(const DeviceSettings& s, std::span<const std::string> unsupported, bool keepPassword) {
  json j = ToJson(s, unsupported);
  for (const std::string_view field : kIdentityFields) j.erase(std::string(field));
  if (!keepPassword) j.erase("webPassword");
  return j;
}

std::optional<PartialSettings> LoadTemplateFile(const std::string& path, std::string* error) {
  const std::optional<json> j = LoadJsonFile(path, error);
  if (!j) return std::nullopt;
  const std::string shown = path == "-" ? std::string("standard input") : path;
  if (j->is_object()) {
    // Refused before the values are checked: a template that names a unit is the wrong file.
    for (const std::string_view field : kIdentityFields) {
      if (!j->contains(std::string(field))) continue;
      const bool perUnit = field == "name" || field == "ipAddress";
      Refuse(error, shown + ": " + std::string(field) + ": a template holds what every unit shares, and " +
                        std::string(field) +
                        (perUnit ? " is each unit's own; give it in the unit table instead"
                                 : " is each unit's own; remove it (vqxctl read --template leaves it out)"));
      return std::nullopt;
    }
    if (j->contains("record")) {
      Refuse(error, shown + ": record: a template holds named fields only; a record carries a whole unit, name and "
                            "address included");
      return std::nullopt;
    }
  }
  std::string why;
  std::optional<PartialSettings> parsed = FromJson(*j, &why);
  if (!parsed) Refuse(error, shown + ": " + why);
  return parsed;
}
}  // namespace vqx::snapshot
