#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "protocol/records.h"
#include "settings/device_settings.h"
#include "window/window_surface.h"

namespace vqx {

// The settings form rows Update Settings reads, in the order their commands go out.
inline constexpr size_t kUpdateRowCount = 26;
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

// One changed row of the form.
struct UpdateStep {
  CommandRecord record;          // the command that sets the row's value
  bool refusedMulticast = false; // multicast without a multicast server: not sent
  bool hostSerial = false;       // BAUD, DATA, STOP or PARITY: the host follows it
};

// What Update Settings does with a form: no I/O, no window, the same rules for the
// desktop program and the command-line tool.
struct UpdatePlan {
  // Labels of the text rows holding a line break; when any, nothing at all is sent.
  std::vector<const char*> lineBreakLabels;
  // The form understood; rows without a recognised value hold their fallback.
  DeviceSettings form{};
  // The unit's settings with those same fallbacks written in, so that such a row
  // compares equal and sends nothing.
  DeviceSettings current{};
  // The changed rows in the fixed order; SAVE follows them when any is sent.
  std::vector<UpdateStep> steps;
};

UpdatePlan PlanUpdate(const UpdateFormTexts& texts, const DeviceSettings& current);

}  // namespace vqx
