#include "main_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QIcon>
#include <QPainter>
#include <QPixmap>
#include <QScreen>

#include "window/control_ids.h"
#include "window/dialog_template.h"

namespace vqx::desktop {

class MainWindow::ClientArea final : public QWidget {
 public:
  ClientArea(MainWindow* owner) : QWidget(owner), owner_(owner) {}

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    owner_->PaintClient(painter);
  }

 private:
  MainWindow* owner_;
};

namespace {

// The program's icon, drawn rather than shipped: "VQX" in the status panel's green.
QIcon ProgramIcon() {
  QPixmap pixmap(64, 64);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setBrush(QColor(240, 240, 240));
  painter.setPen(QPen(kStatusNameColour, 3));
  painter.drawRoundedRect(QRectF(2, 2, 60, 60), 10, 10);
  QFont font;
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(24);
  font.setWeight(QFont::Bold);
  painter.setFont(font);
  painter.setPen(kStatusSentenceColour);
  painter.drawText(pixmap.rect(), Qt::AlignCenter, QStringLiteral("VQX"));
  return QIcon(pixmap);
}

}  // namespace

MainWindow::MainWindow(const DialogUnits& units) {
  const DialogTemplate& dialog = MainDialogTemplate();
  setWindowTitle(QString::fromLatin1(dialog.caption));
  setWindowIcon(ProgramIcon());
  setFont(units.Font());
  client_ = new ClientArea(this);
  client_->setFont(units.Font());
  client_->setFixedSize(units.ToPixels(dialog.width, dialog.height));
  setCentralWidget(client_);
  controls_ = BuildControls(dialog, client_, units);
  BuildMenus();
  // Not resizable: the template lays the controls out for one size.
  setFixedSize(client_->width(), client_->height() + menuBar()->sizeHint().height());

  if (QWidget* box = controls_.byId.count(ids::kStatusGroup) ? controls_.byId.at(ids::kStatusGroup) : nullptr) {
    status_ = ComputeStatusLayout(box->geometry());
  }
  qApp->installEventFilter(this);
}

MainWindow::~MainWindow() { qApp->removeEventFilter(this); }

QWidget* MainWindow::Client() const { return client_; }

void MainWindow::BuildMenus() {
  for (const MenuPopupTemplate& popup : MainMenuTemplate()) {
    QMenu* menu = menuBar()->addMenu(QString::fromLatin1(popup.text));
    for (const MenuItemTemplate& item : popup.items) {
      if (item.text == nullptr) {
        menu->addSeparator();
        continue;
      }
      QAction* action = menu->addAction(QString::fromLatin1(item.text));
      action->setEnabled(!item.greyed);
      const int id = item.id;
      connect(action, &QAction::triggered, this, [this, id] {
        if (handlers_.menuCommand) handlers_.menuCommand(id);
      });
      actions_[id] = action;
    }
  }
}

QAction* MainWindow::MenuAction(int menuId) const {
  const auto it = actions_.find(menuId);
  return it == actions_.end() ? nullptr : it->second;
}

void MainWindow::CentreOnScreen() {
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect available = screen->availableGeometry();
    move(available.center() - rect().center());
  }
}

void MainWindow::PaintClient(QPainter& painter) {
  const QString sentence = handlers_.sentence ? handlers_.sentence() : QString();
  const QString name = handlers_.nameLine ? handlers_.nameLine() : QString();
  const QString port = handlers_.portLine ? handlers_.portLine() : QString();
  PaintStatus(painter, status_, sentence, name, port, palette().color(QPalette::Button));
}

std::vector<MainWindow::StatusMenuItem> MainWindow::StatusMenuItems() const {
  std::vector<StatusMenuItem> items;
  if (!handlers_.statusMenu) return items;
  for (const ::vqx::desktop::StatusMenuItem& item : handlers_.statusMenu()) {
    items.push_back({QString::fromLatin1(item.text), item.id});
  }
  return items;
}

bool MainWindow::HandleStatusPanelEvent(QWidget* widget, QEvent* event) {
  // The panel is painted on the client area under the "Status" group box: either may get the event.
  const auto box = controls_.byId.find(ids::kStatusGroup);
  const bool onPanel = widget == client_ || (box != controls_.byId.end() && widget == box->second);
  if (!onPanel || !handlers_.menuCommand) return false;
  if (event->type() == QEvent::MouseButtonDblClick) {
    const auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() != Qt::LeftButton || !status_.area.contains(widget->mapTo(client_, mouse->position().toPoint()))) {
      return false;
    }
    if (handlers_.statusDoubleClick) handlers_.statusDoubleClick();
    return true;
  }
  if (event->type() == QEvent::ContextMenu) {
    const auto* request = static_cast<QContextMenuEvent*>(event);
    if (!status_.area.contains(widget->mapTo(client_, request->pos()))) return false;
    QMenu menu(this);
    for (const StatusMenuItem& item : StatusMenuItems()) {
      const int id = item.id;
      connect(menu.addAction(item.text), &QAction::triggered, this, [this, id] { handlers_.menuCommand(id); });
    }
    menu.exec(request->globalPos());
    return true;
  }
  return false;
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (handlers_.closing) handlers_.closing();
  event->accept();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  // The message loop hands every Enter key of this window to the command entry's
  // handler first, whichever control has the focus. A key event that travels up the
  // parent chain is taken only where it started: at the focus widget.
  if ((event->type() == QEvent::MouseButtonDblClick || event->type() == QEvent::ContextMenu) &&
      HandleStatusPanelEvent(qobject_cast<QWidget*>(watched), event)) {
    return true;
  }
  if (event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    auto* widget = qobject_cast<QWidget*>(watched);
    const QWidget* focus = QApplication::focusWidget();
    const bool atStart = widget == focus || (focus == nullptr && widget == this);
    if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && widget != nullptr &&
        widget->window() == this && atStart && handlers_.enterKey) {
      handlers_.enterKey();
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

}  // namespace vqx::desktop
