#include "unit/settings_json.h"

#include <nlohmann/json.hpp>

namespace vqx::sim {

namespace {

bool Fail(std::string* error, std::string reason) {
  if (error != nullptr) *error = std::move(reason);
  return false;
}

}  // namespace

bool LoadSettingsJson(std::string_view text, SettingsModel* settings, std::string* error) {
  nlohmann::json doc;
  try {
    doc = nlohmann::json::parse(text);
  } catch (const nlohmann::json::exception& e) {  // syntax, and numbers beyond a double
    return Fail(error, std::string("not valid JSON: ") + e.what());
  }
  if (!doc.is_object()) return Fail(error, "expected a JSON object of settings");

  SettingsModel result = *settings;
  for (const auto& [name, value] : doc.items()) {
    if (ToUpper(name) == "DHCP") {
      if (!value.is_boolean()) return Fail(error, "dhcp: expected true or false");
      result.SetDhcp(value.get<bool>());
      continue;
    }
    const SettingDef* def = SettingsModel::Find(name);
    if (def == nullptr) return Fail(error, "unknown setting \"" + name + "\"");
    std::string argument;
    if (def->kind == SettingKind::Number) {
      if (!value.is_number_integer()) return Fail(error, name + ": expected a whole number");
      argument = std::to_string(value.get<int64_t>());
    } else {
      if (!value.is_string()) return Fail(error, name + ": expected a string");
      argument = value.get<std::string>();
    }
    const SetOutcome outcome = result.Load(*def, argument);
    if (outcome != SetOutcome::Ok) {
      return Fail(error, name + ": " + std::string(DescribeOutcome(outcome)) + " (" +
                             value.dump() + ")");
    }
  }
  *settings = std::move(result);
  return true;
}

}  // namespace vqx::sim
