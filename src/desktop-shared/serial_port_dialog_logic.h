#pragma once

#include <string>

#include "desktop_host.h"
#include "host_serial_choice.h"
#include "window/dialog_host.h"

namespace vqx::desktop {

// The "Select Serial Port" dialog (DLGSERIAL), written once for both programs; each
// shows it through its dialog host. OK hands the choice to apply, which stores, saves and
// reopens; the dialog ends only when the port opened, so the user can correct a choice
// that failed. Cancel, Esc and the close box store nothing.
//
// Detect searches for the unit's line settings on the named port. While the search runs
// OK, Detect and the port name are greyed, the focus waits on Cancel, and Cancel (or Esc)
// asks the search to stop instead of ending the dialog: the dialog stays until the search
// has ended, because the search holds the port. The host shows the search's progress and
// end here (the view); settings found are selected and the focus moves on to OK.
class SerialPortDialogLogic final : public IDialogLogic, public ISerialPortDialogView {
 public:
  // run outlives the dialog; its viewChanged hears of this view as the dialog opens and
  // of its end as the dialog goes.
  explicit SerialPortDialogLogic(SerialPortDialogRun& run) : run_(run) {}

  const DialogTemplate& Template() const override;
  void OnInit(IWindowSurface& dialog) override;
  bool OnCommand(IWindowSurface& dialog, int id, int notificationCode) override;
  void OnClosed(IWindowSurface& dialog) override;

  void ShowDetectionProgress(const std::string& text) override;
  void DetectionEnded(const HostSerialChoice* found, const std::string& text) override;

  bool Detecting() const { return detecting_; }
  // What the controls hold now, read as OK reads them; the stored choice once closed.
  HostSerialChoice CurrentChoice() const;

 private:
  void StartDetection(IWindowSurface& dialog);
  void SetSearching(IWindowSurface& dialog, bool searching);

  SerialPortDialogRun& run_;
  IWindowSurface* open_ = nullptr;  // the dialog's controls while it is up
  bool detecting_ = false;
};

// Selects the list items that show the choice; a value not in a list selects none there.
void SelectSerialChoice(IWindowSurface& dialog, const HostSerialChoice& choice);

}  // namespace vqx::desktop
