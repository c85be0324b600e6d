// Placeholder: replaced by the settings report.
#include "app/app_window.h"
namespace vqx {
void CAppWindow::ShowSettingsReport() {}
}  // namespace vqx
