// Placeholder: replaced by the communication log and History list.
#include "app/app_window.h"
namespace vqx {
void CAppWindow::SaveCommunication() {}
void CAppWindow::AddCurrentToHistory() {}
void CAppWindow::RemoveHistoryEntry() {}
void CAppWindow::RefillHistoryList() {}
void CAppWindow::SaveHistoryReport() {}
}  // namespace vqx
