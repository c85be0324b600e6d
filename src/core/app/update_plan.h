#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "protocol/command_table.h"
#include "protocol/records.h"
#include "settings/device_settings.h"
#include "settings/setting_table.h"
#include "window/window_surface.h"

namespace vqx {

// The settings form rows Update Settings reads, in the order their commands go out.
inline constexpr size_t kUpdateRowCount = kSendRowCount;
// The name and the password hold at most 63 characters; every other box is read into
// the same size (a number longer than that is out of range anyway).
inline constexpr size_t kUpdateTextSize = 64;

// The texts of the form as read from the window, before they are understood.
struct UpdateFormTexts {
  char boxes[kUpdateRowCount][4][kUpdateTextSize];
  int32_t security;  // a bit set for each unchecked "Allow ..." box
};

// Reads every box of the settings form from the window.
void ReadUpdateForm(IWindowSurface& surface, UpdateFormTexts& texts);

// The form understood as values.
struct FormValues {
  // What the form asks for: rows without a recognised value hold their fallback.
  DeviceSettings target{};
  // For the comparison only: the unit's settings with those same fallbacks written in,
  // so that a row that falls back whole compares equal and sends nothing. What the
  // program believes the unit holds never takes these values.
  DeviceSettings compared{};
};

// Understands the form's texts through the setting table, against the unit's settings.
FormValues UnderstandForm(const UpdateFormTexts& texts, const DeviceSettings& current);

// One changed setting.
struct UpdateStep {
  CommandRecord record;          // the command that sets the row's value
  bool refusedMulticast = false; // multicast without a multicast server: not sent
  bool hostSerial = false;       // BAUD, DATA, STOP or PARITY: the host follows it
};

// The settings the unit answered ERR to in its last full read, by command id. Their rows
// are never sent: the unit does not take them, and their controls were never filled.
struct RefusedSettings {
  std::array<bool, kCommandCount> byCommand{};
  bool Has(int32_t commandId) const {
    return commandId >= 0 && commandId < kCommandCount && byCommand[static_cast<size_t>(commandId)];
  }
};

// What Update Settings does: no I/O, no window, the same rules for the desktop program
// and the command-line tool.
struct UpdatePlan {
  // Labels of the text settings holding a line break; when any, nothing at all is sent.
  std::vector<const char*> lineBreakLabels;
  // Labels of the text settings edited although the unit refused them (the name box
  // stays enabled for such a unit); they are not sent.
  std::vector<const char*> refusedEdits;
  // The target with the unit's own values in the refused settings.
  DeviceSettings target{};
  // The changed settings in the fixed order; SAVE follows them when any is sent.
  std::vector<UpdateStep> steps;
};

// From the settings wanted and the unit's (for the form: FormValues' target and compared).
UpdatePlan PlanUpdate(const DeviceSettings& target, const DeviceSettings& current,
                      const RefusedSettings& refused = {});

}  // namespace vqx
