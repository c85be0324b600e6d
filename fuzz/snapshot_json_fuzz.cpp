// A snapshot file as apply and diff read it, whatever it holds: parsing, the checks of
// every field, the checks before sending, comparing, and writing it out again.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "snapshot.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::string error;
  auto j = vqx::snapshot::ParseJsonText(text, &error);
  if (!j) return 0;
  if (j->is_object()) j->erase("linkStatus");
  const auto partial = vqx::snapshot::FromJson(*j, &error);
  if (!partial) return 0;
  (void)vqx::snapshot::CheckSendable(*partial, &error);
  vqx::DeviceSettings target{};
  vqx::snapshot::ApplyTo(*partial, target);
  (void)vqx::snapshot::Diff(vqx::DeviceSettings{}, target, partial->present);
  (void)vqx::snapshot::MulticastProblem(target);
  // Whatever was accepted is written as valid JSON that reads back the same record.
  const std::string written = vqx::snapshot::DumpJson(vqx::snapshot::ToJsonWithRecord(partial->values));
  const auto back = vqx::snapshot::ParseJsonText(written, &error);
  if (!back) __builtin_trap();
  const auto reread = vqx::snapshot::FromJson(*back, &error);
  if (!reread || std::memcmp(&reread->values, &partial->values, sizeof(vqx::DeviceSettings)) != 0) __builtin_trap();
  return 0;
}
