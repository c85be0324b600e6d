#include "field_table.h"
#include "snapshot.h"

namespace vqx::snapshot {

namespace {

std::vector<FieldDifference> DiffWhere(const DeviceSettings& a, const DeviceSettings& b,
                                       const std::set<std::string>* only) {
  std::vector<FieldDifference> differences;
  for (const detail::Field& f : detail::Fields()) {
    if (only != nullptr && only->count(std::string(f.key)) == 0) continue;
    if (detail::SameValue(a, b, f)) continue;
    differences.push_back({std::string(f.label), detail::ReportValue(a, f), detail::ReportValue(b, f),
                           std::string(f.key)});
  }
  return differences;
}

}  // namespace

std::vector<FieldDifference> Diff(const DeviceSettings& a, const DeviceSettings& b) {
  return DiffWhere(a, b, nullptr);
}

std::vector<FieldDifference> Diff(const DeviceSettings& a, const DeviceSettings& b,
                                  const std::set<std::string>& fields) {
  return DiffWhere(a, b, &fields);
}

}  // namespace vqx::snapshot
