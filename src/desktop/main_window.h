#pragma once

#include <functional>
#include <map>
#include <vector>

#include <QMainWindow>

#include "control_factory.h"
#include "dialog_units.h"
#include "status_painter.h"
#include "status_panel_menu.h"

class QAction;

namespace vqx::desktop {

// The main window: template 101's controls at their places in a client area of the
// template's size, the menu MENU1 above it, and the status panel painted inside the
// "Status" group box. It decides nothing: it hands every action to its handlers.
class MainWindow final : public QMainWindow {
 public:
  struct Handlers {
    std::function<void(int menuId)> menuCommand;
    std::function<void()> enterKey;  // Return or Enter pressed anywhere in this window
    std::function<void()> closing;   // the close box, the system menu, a signal
    std::function<QString()> sentence;
    std::function<QString()> nameLine;
    std::function<QString()> portLine;
    // What the status panel's context menu offers now, and a double-click on the panel.
    std::function<std::vector<::vqx::desktop::StatusMenuItem>()> statusMenu;
    std::function<void()> statusDoubleClick;
  };
  // The status panel's context menu: texts and the menu ids they send.
  struct StatusMenuItem {
    QString text;
    int id;
  };

  explicit MainWindow(const DialogUnits& units);
  ~MainWindow() override;

  void SetHandlers(Handlers handlers) { handlers_ = std::move(handlers); }
  const std::map<int, QWidget*>& Controls() const { return controls_.byId; }
  QWidget* Client() const;
  QAction* MenuAction(int menuId) const;
  const StatusLayout& Status() const { return status_; }
  void CentreOnScreen();
  // What the status panel's context menu offers now: "Name this unit..." while the peer
  // has no name, and "Remote Connections..." always.
  std::vector<StatusMenuItem> StatusMenuItems() const;

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  class ClientArea;
  void BuildMenus();
  void PaintClient(QPainter& painter);
  // A double-click or context menu on the status panel; true when it was one.
  bool HandleStatusPanelEvent(QWidget* widget, QEvent* event);

  Handlers handlers_;
  ClientArea* client_ = nullptr;
  BuiltControls controls_;
  std::map<int, QAction*> actions_;
  StatusLayout status_;
};

}  // namespace vqx::desktop
