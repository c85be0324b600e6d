#include "serial_port_dialog_logic.h"

#include <cstring>
#include <span>

#include "serial_choice_texts.h"
#include "window/control_ids.h"
#include "window/dialog_template.h"

namespace vqx::desktop {
namespace {

constexpr int kLists[] = {ids::kSerialBaudRate, ids::kSerialDataBits, ids::kSerialStopBits, ids::kSerialParity};

// By the whole text: a prefix would take "1200" for a stored rate of 12.
void SelectByText(IWindowSurface& dialog, int id, const std::string& text) {
  const std::span<const char* const> items = SerialDialogListItems(id);
  int index = -1;
  for (size_t i = 0; i < items.size(); ++i) {
    if (text == items[i]) {
      index = static_cast<int>(i);
      break;
    }
  }
  dialog.SetCurrentSelection(id, index);
}

std::string TextOf(IWindowSurface& dialog, int id) {
  char buffer[kPortNameCapacity + 1] = {};
  const size_t length = dialog.GetText(id, buffer, sizeof(buffer));
  return std::string(buffer, length);
}

HostSerialChoice ReadChoice(IWindowSurface& dialog) {
  return ChoiceFromTexts(TextOf(dialog, ids::kSerialPortName), TextOf(dialog, ids::kSerialBaudRate),
                         TextOf(dialog, ids::kSerialDataBits), TextOf(dialog, ids::kSerialStopBits),
                         TextOf(dialog, ids::kSerialParity));
}

}  // namespace

void SelectSerialChoice(IWindowSurface& dialog, const HostSerialChoice& choice) {
  SelectByText(dialog, ids::kSerialBaudRate, BaudRateText(choice.baudRate));
  SelectByText(dialog, ids::kSerialDataBits, DataBitsText(choice.dataBits));
  SelectByText(dialog, ids::kSerialStopBits, StopBitsText(choice.stopBits));
  SelectByText(dialog, ids::kSerialParity, ParityText(choice.parity));
}

const DialogTemplate& SerialPortDialogLogic::Template() const { return SerialPortDialogTemplate(); }

void SerialPortDialogLogic::OnInit(IWindowSurface& dialog) {
  open_ = &dialog;
  for (const int id : kLists) {
    for (const char* item : SerialDialogListItems(id)) dialog.AddItem(id, item);
  }
  dialog.SetText(ids::kSerialPortName, run_.stored.portName.c_str());
  SelectSerialChoice(dialog, run_.stored);
  if (!run_.startDetection) dialog.EnableControl(ids::kSerialDetect, false);
  if (run_.viewChanged) run_.viewChanged(this);
  dialog.SetFocus(ids::kSerialPortName);
  dialog.SelectAllText(ids::kSerialPortName);
  // After the focus: a search that starts moves it on to Cancel.
  if (run_.detectAtOnce) StartDetection(dialog);
}

bool SerialPortDialogLogic::OnCommand(IWindowSurface& dialog, int id, int notificationCode) {
  if (notificationCode != kBnClicked) return false;
  if (id == ids::kSerialDetect) {
    StartDetection(dialog);
    return false;
  }
  if (id == ids::kDialogOk) {
    if (detecting_) return false;  // the search holds the port
    // When the port did not open, the warning has been shown over the dialog, which stays.
    return !run_.apply || run_.apply(ReadChoice(dialog));
  }
  if (id == ids::kDialogCancel) {
    if (!detecting_) return true;
    ShowDetectionProgress(kStoppingSearchText);
    if (run_.cancelDetection) run_.cancelDetection();
    return false;
  }
  return false;
}

void SerialPortDialogLogic::OnClosed(IWindowSurface&) {
  if (open_ == nullptr) return;
  // A search still running ends while the controls still exist: its end may yet arrive.
  if (run_.viewChanged) run_.viewChanged(nullptr);
  open_ = nullptr;
  detecting_ = false;
}

void SerialPortDialogLogic::StartDetection(IWindowSurface& dialog) {
  if (detecting_ || !run_.startDetection) return;
  const std::string portName = TextOf(dialog, ids::kSerialPortName);
  const DetectPress press = PressDetect(portName);
  if (!press.start) {
    ShowDetectionProgress(press.text);
    return;
  }
  SetSearching(dialog, true);
  // The focus leaves the greyed buttons for Cancel, which stops the search.
  dialog.SetFocus(ids::kDialogCancel);
  ShowDetectionProgress(press.text);
  run_.startDetection(portName);
}

void SerialPortDialogLogic::SetSearching(IWindowSurface& dialog, bool searching) {
  detecting_ = searching;
  for (const int id : {ids::kDialogOk, ids::kSerialDetect, ids::kSerialPortName}) {
    dialog.EnableControl(id, !searching);
  }
}

void SerialPortDialogLogic::ShowDetectionProgress(const std::string& text) {
  if (open_ != nullptr) open_->SetText(ids::kSerialDetectStatus, text.c_str());
}

void SerialPortDialogLogic::DetectionEnded(const HostSerialChoice* found, const std::string& text) {
  if (open_ == nullptr) return;
  SetSearching(*open_, false);
  ShowDetectionProgress(text);
  if (found == nullptr) return;
  SelectSerialChoice(*open_, *found);
  open_->SetFocus(ids::kDialogOk);
}

HostSerialChoice SerialPortDialogLogic::CurrentChoice() const {
  return open_ == nullptr ? run_.stored : ReadChoice(*open_);
}

}  // namespace vqx::desktop
