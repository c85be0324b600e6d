#include "qt_dialog_host.h"

#include <functional>

#include "control_factory.h"
#include "ui_call_queue.h"
#include "window/control_ids.h"

namespace vqx::desktop {
namespace {

// Esc and the close box ask the logic (as Cancel) instead of closing by themselves.
class LogicDialog final : public QDialog {
 public:
  using CancelHandler = std::function<void()>;
  explicit LogicDialog(QWidget* parent) : QDialog(parent) {}
  void SetCancelHandler(CancelHandler handler) { onCancel_ = std::move(handler); }
  void reject() override {
    if (onCancel_) onCancel_();
  }
  void EndDialog() { QDialog::done(0); }

 private:
  CancelHandler onCancel_;
};

}  // namespace

QWidget* QtDialogHost::Control(int id) const {
  if (open_.empty()) return nullptr;
  const auto it = open_.back().controls.find(id);
  return it == open_.back().controls.end() ? nullptr : it->second;
}

void QtDialogHost::RunModal(IDialogLogic& logic, const Decorate& decorate) {
  const DialogTemplate& dialogTemplate = logic.Template();
  QWidget* parent = open_.empty() ? mainWindow_ : open_.back().dialog;
  LogicDialog dialog(parent);
  dialog.setWindowTitle(QString::fromLatin1(dialogTemplate.caption));
  dialog.setFont(units_.Font());
  dialog.setFixedSize(units_.ToPixels(dialogTemplate.width, dialogTemplate.height));
  dialog.setModal(true);
  const BuiltControls built = BuildControls(dialogTemplate, &dialog, units_);
  if (decorate) decorate(dialog, built.byId);

  // The dialog's controls through the same surface the main window uses; this thread is
  // its own queue's owner, so every call runs at once.
  UiCallQueue queue([] {});
  QtWindowSurface surface(queue, &dialog, built.byId);
  bool ended = false;
  auto command = [&](int id, int code) {
    if (!ended && logic.OnCommand(surface, id, code)) {
      ended = true;
      dialog.EndDialog();
    }
  };
  surface.SetCommandSink(command);
  dialog.SetCancelHandler([&] { command(ids::kDialogCancel, kBnClicked); });

  QWidget* previousOwner = open_.empty() ? nullptr : open_.back().dialog;
  open_.push_back({&dialog, built.byId});
  mainSurface_.SetModalDialog(&dialog);
  logic.OnInit(surface);
  queue.Drain();
  if (!ended) dialog.exec();
  logic.OnClosed(surface);
  queue.Drain();
  open_.pop_back();
  mainSurface_.SetModalDialog(previousOwner);
}

}  // namespace vqx::desktop
