#include "qt_window_surface.h"

#include <algorithm>
#include <cstring>

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>

#include "window/control_ids.h"
#include "window/control_text.h"

namespace vqx::desktop {
namespace {

QString FromBytes(const std::string& text) { return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())); }
std::string ToBytes(const QString& text) { return text.toLatin1().toStdString(); }

QMessageBox::Icon ToQtIcon(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::Information: return QMessageBox::Information;
    case MessageIcon::Warning: return QMessageBox::Warning;
    case MessageIcon::Error: return QMessageBox::Critical;
    case MessageIcon::None: break;
  }
  return QMessageBox::NoIcon;
}

}  // namespace

QtWindowSurface::QtWindowSurface(UiCallQueue& queue, QWidget* window, std::map<int, QWidget*> controls)
    : queue_(queue), window_(window) {
  for (const auto& [id, widget] : controls) controls_[id] = widget;
  queue_.SetAppendSink([this](int id, const std::string& text) { ApplyAppend(id, text); });
  // The mirror first: the logic a notification reaches reads the control's new state.
  TrackControls();
  ConnectNotifications();
}

QtWindowSurface::~QtWindowSurface() {
  for (const auto& connection : mirrorConnections_) QObject::disconnect(connection);
  queue_.SetAppendSink(nullptr);
  for (auto& [id, timer] : timers_) delete timer;
}

QWidget* QtWindowSurface::Control(int id) const {
  const auto it = controls_.find(id);
  return it == controls_.end() ? nullptr : it->second.data();
}

void QtWindowSurface::ConnectNotifications() {
  for (const auto& [id, pointer] : controls_) {
    QWidget* w = pointer.data();
    const int controlId = id;
    if (auto* button = qobject_cast<QAbstractButton*>(w)) {
      QObject::connect(button, &QAbstractButton::clicked, button, [this, controlId] { Notify(controlId, kBnClicked); });
    } else if (auto* edit = qobject_cast<QLineEdit*>(w)) {
      QObject::connect(edit, &QLineEdit::textEdited, edit, [this, controlId] { Notify(controlId, kEnChange); });
    } else if (auto* list = qobject_cast<QListWidget*>(w)) {
      QObject::connect(list, &QListWidget::itemSelectionChanged, list, [this, controlId] {
        if (programmaticChange_ == 0) Notify(controlId, kLbnSelChange);
      });
      QObject::connect(list, &QListWidget::itemDoubleClicked, list,
                       [this, controlId] { Notify(controlId, kLbnDblClk); });
    }
  }
}

ControlState QtWindowSurface::Observe(int id) const {
  ControlState state;
  QWidget* w = Control(id);
  if (auto* edit = qobject_cast<QLineEdit*>(w)) {
    state.text = ToBytes(edit->text());
  } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
    for (int i = 0; i < combo->count(); ++i) state.items.push_back(ToBytes(combo->itemText(i)));
    state.selection = combo->currentIndex();
  } else if (auto* list = qobject_cast<QListWidget*>(w)) {
    for (int i = 0; i < list->count(); ++i) state.items.push_back(ToBytes(list->item(i)->text()));
    const auto selected = list->selectedItems();
    state.selection = selected.isEmpty() ? -1 : list->row(selected.front());
  } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
    state.text = ToBytes(button->text());
    state.checked = button->isChecked();
  }
  return state;
}

// Every change of a mirrored widget, whoever makes it, brings the mirror up to date (once
// no change of the program is still on its way to it).
void QtWindowSurface::TrackControls() {
  for (const auto& [id, pointer] : controls_) {
    QWidget* w = pointer.data();
    const int controlId = id;
    const auto observed = [this, controlId] { mirror_.Observed(controlId); };
    QAbstractItemModel* model = nullptr;
    if (auto* edit = qobject_cast<QLineEdit*>(w)) {
      textLimits_[id] = edit->maxLength();
      mirrorConnections_.push_back(QObject::connect(edit, &QLineEdit::textChanged, edit, observed));
    } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
      lists_.insert(id);
      model = combo->model();
      mirrorConnections_.push_back(QObject::connect(combo, &QComboBox::currentIndexChanged, combo, observed));
    } else if (auto* list = qobject_cast<QListWidget*>(w)) {
      lists_.insert(id);
      model = list->model();
      mirrorConnections_.push_back(QObject::connect(list, &QListWidget::itemSelectionChanged, list, observed));
    } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
      mirrorConnections_.push_back(QObject::connect(button, &QAbstractButton::toggled, button, observed));
    } else {
      continue;  // read on the user-interface thread
    }
    if (model != nullptr) {
      mirrorConnections_.push_back(QObject::connect(model, &QAbstractItemModel::rowsInserted, w, observed));
      mirrorConnections_.push_back(QObject::connect(model, &QAbstractItemModel::rowsRemoved, w, observed));
      mirrorConnections_.push_back(QObject::connect(model, &QAbstractItemModel::rowsMoved, w, observed));
      mirrorConnections_.push_back(QObject::connect(model, &QAbstractItemModel::dataChanged, w, observed));
      mirrorConnections_.push_back(QObject::connect(model, &QAbstractItemModel::modelReset, w, observed));
    }
    mirror_.Track(id, [this, controlId] { return Observe(controlId); });
  }
}

void QtWindowSurface::Notify(int id, int code) {
  mirror_.Observed(id);  // whatever the order of the widget's signals
  if (commandSink_) commandSink_(id, code);
}

template <typename R>
R QtWindowSurface::Read(const std::function<R()>& fn) {
  R result{};
  queue_.Call([&] { result = fn(); });
  return result;
}

// ---- Texts ------------------------------------------------------------------------

std::string QtWindowSurface::TextOf(int id) const {
  QWidget* w = Control(id);
  if (auto* edit = qobject_cast<QLineEdit*>(w)) return ToBytes(edit->text());
  if (auto* text = qobject_cast<QPlainTextEdit*>(w)) {
    const auto exact = exactTexts_.find(id);
    if (exact != exactTexts_.end()) return exact->second;
    return ToWindowsLineEnds(ToBytes(text->toPlainText()));
  }
  if (auto* combo = qobject_cast<QComboBox*>(w)) return combo->currentIndex() < 0 ? std::string() : ToBytes(combo->currentText());
  if (auto* label = qobject_cast<QLabel*>(w)) return ToBytes(label->text());
  if (auto* button = qobject_cast<QAbstractButton*>(w)) return ToBytes(button->text());
  return {};
}

void QtWindowSurface::ApplyText(int id, const std::string& text) {
  QWidget* w = Control(id);
  ++programmaticChange_;
  if (auto* edit = qobject_cast<QLineEdit*>(w)) {
    edit->setText(FromBytes(text));
  } else if (auto* plain = qobject_cast<QPlainTextEdit*>(w)) {
    exactTexts_[id] = text;
    outputFilters_.erase(id);
    plain->setPlainText(FromBytes(ToDisplayLineEnds(text)));
  } else if (auto* label = qobject_cast<QLabel*>(w)) {
    label->setText(FromBytes(text));
  } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
    button->setText(FromBytes(text));
  }
  --programmaticChange_;
}

void QtWindowSurface::ApplyAppend(int id, const std::string& text) {
  auto* plain = qobject_cast<QPlainTextEdit*>(Control(id));
  if (plain == nullptr) return;
  exactTexts_.erase(id);  // the window's own text from now on
  // Only output windows receive appends; they keep a terminal's scroll-back, no more.
  const auto [at, fresh] = outputFilters_.try_emplace(id);
  OutputFilter& filter = at->second;
  size_t cut = 0;
  if (fresh) {
    filter.scrollBack.SetTrimBatch(kOutputTrimLines, kOutputTrimCharacters);
    // Whatever the window held before its first append counts towards the scroll-back too.
    cut = filter.scrollBack.Append(ToBytes(plain->toPlainText()));
  }
  const std::string shown = filter.breaker.Break(filter.folder.Fold(text));
  if (shown.empty()) return;
  // A block's end is one position in the document, as a line end is one in the count.
  const size_t held = static_cast<size_t>(std::max(plain->document()->characterCount() - 1, 0));
  cut += filter.scrollBack.Append(shown);
  if (cut >= held) {
    // The new text alone fills the scroll-back (a flood far faster than a serial line):
    // it replaces the window's text, and only what is kept of it is laid out.
    plain->setPlainText(FromBytes(shown.substr(std::min(cut - held, shown.size()))));
  } else {
    // The oldest lines go first, in batches, then the new text is added at the end:
    // nothing that is about to give way is laid out.
    QTextCursor cursor(plain->document());
    if (cut > 0) {
      cursor.setPosition(static_cast<int>(cut), QTextCursor::KeepAnchor);
      cursor.removeSelectedText();
    }
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(FromBytes(shown));
  }
  // A hidden window (another view) is scrolled when it is shown: placing the cursor lays
  // out the last lines, for nobody while it is hidden.
  if (!plain->isHidden()) ScrollToEnd(plain);
}

void QtWindowSurface::ScrollToEnd(QPlainTextEdit* plain) {
  QTextCursor cursor(plain->document());
  cursor.movePosition(QTextCursor::End);
  plain->setTextCursor(cursor);
  plain->ensureCursorVisible();
}

void QtWindowSurface::SetText(int id, const char* text) {
  std::string copy(text ? text : "");
  if (!mirror_.Tracks(id)) {
    queue_.Post([this, id, copy = std::move(copy)] { ApplyText(id, copy); });
    return;
  }
  mirror_.Change(id, [&](ControlState& state) {
    if (IsList(id)) return;  // a drop-down list's text is its selected item's
    state.text = copy;
    const auto limit = textLimits_.find(id);
    if (limit != textLimits_.end() && limit->second >= 0 && state.text.size() > static_cast<size_t>(limit->second)) {
      state.text.resize(static_cast<size_t>(limit->second));  // as the edit cuts it
    }
  });
  queue_.Post([this, id, copy = std::move(copy)] {
    ApplyText(id, copy);
    mirror_.Applied(id);
  });
}

size_t QtWindowSurface::GetText(int id, char* buffer, size_t size) {
  if (mirror_.Tracks(id)) {
    const ControlState state = mirror_.Read(id);
    if (!IsList(id)) return CopyControlText(state.text, buffer, size);
    const bool selected = state.selection >= 0 && static_cast<size_t>(state.selection) < state.items.size();
    return CopyControlText(selected ? state.items[static_cast<size_t>(state.selection)] : std::string(), buffer, size);
  }
  return CopyControlText(Read<std::string>([&] { return TextOf(id); }), buffer, size);
}

int QtWindowSurface::LineCount(int id) {
  return Read<int>([&] {
    if (qobject_cast<QLineEdit*>(Control(id)) != nullptr) return 1;
    return static_cast<int>(SplitEditLines(TextOf(id)).size());
  });
}

size_t QtWindowSurface::GetLine(int id, int line, char* buffer, size_t size) {
  const std::string text = Read<std::string>([&] {
    if (qobject_cast<QLineEdit*>(Control(id)) != nullptr) return line == 0 ? TextOf(id) : std::string();
    const auto lines = SplitEditLines(TextOf(id));
    return line >= 0 && static_cast<size_t>(line) < lines.size() ? lines[static_cast<size_t>(line)] : std::string();
  });
  return CopyControlText(text, buffer, size);
}

std::vector<std::string> QtWindowSurface::GetLines(int id) {
  return Read<std::vector<std::string>>([&] {
    if (qobject_cast<QLineEdit*>(Control(id)) != nullptr) return std::vector<std::string>{TextOf(id)};
    return SplitEditLines(TextOf(id));
  });
}

void QtWindowSurface::AppendToOutput(int id, const char* text) {
  // Never waits: the caller holds the lock that keeps the log in the window's order.
  if (text != nullptr) queue_.Append(id, text);
}

void QtWindowSurface::SelectAllText(int id) {
  queue_.Post([this, id] {
    QWidget* w = Control(id);
    if (auto* edit = qobject_cast<QLineEdit*>(w)) edit->selectAll();
    if (auto* plain = qobject_cast<QPlainTextEdit*>(w)) plain->selectAll();
  });
}

// ---- Lists ------------------------------------------------------------------------

int QtWindowSurface::AddItem(int id, const char* text) {
  const std::string copy(text ? text : "");
  if (IsList(id)) {
    // Adding never moves the selection; the new item is the last.
    const int index = mirror_.Change(id, [&](ControlState& state) {
      state.items.push_back(copy);
      return static_cast<int>(state.items.size()) - 1;
    });
    queue_.Post([this, id, copy] {
      QWidget* w = Control(id);
      ++programmaticChange_;
      if (auto* combo = qobject_cast<QComboBox*>(w)) {
        const int selected = combo->currentIndex();
        combo->addItem(FromBytes(copy));
        combo->setCurrentIndex(selected);  // adding never selects, as in a drop-down list
      } else if (auto* list = qobject_cast<QListWidget*>(w)) {
        list->addItem(FromBytes(copy));
      }
      --programmaticChange_;
      mirror_.Applied(id);
    });
    return index;
  }
  return Read<int>([&] {
    QWidget* w = Control(id);
    ++programmaticChange_;
    int index = -1;
    if (auto* combo = qobject_cast<QComboBox*>(w)) {
      const int selected = combo->currentIndex();
      combo->addItem(FromBytes(copy));
      combo->setCurrentIndex(selected);  // adding never selects, as in a drop-down list
      index = combo->count() - 1;
    } else if (auto* list = qobject_cast<QListWidget*>(w)) {
      list->addItem(FromBytes(copy));
      index = list->count() - 1;
    }
    --programmaticChange_;
    return index;
  });
}

int QtWindowSurface::DeleteItem(int id, int index) {
  return Read<int>([&] {
    QWidget* w = Control(id);
    ++programmaticChange_;
    int left = -1;
    if (auto* combo = qobject_cast<QComboBox*>(w)) {
      if (index >= 0 && index < combo->count()) {
        combo->removeItem(index);
        left = combo->count();
      }
    } else if (auto* list = qobject_cast<QListWidget*>(w)) {
      if (index >= 0 && index < list->count()) {
        delete list->takeItem(index);
        left = list->count();
      }
    }
    --programmaticChange_;
    return left;
  });
}

int QtWindowSurface::ItemCount(int id) {
  if (IsList(id)) return static_cast<int>(mirror_.Read(id).items.size());
  return Read<int>([&] {
    QWidget* w = Control(id);
    if (auto* combo = qobject_cast<QComboBox*>(w)) return combo->count();
    if (auto* list = qobject_cast<QListWidget*>(w)) return list->count();
    return 0;
  });
}

int QtWindowSurface::CurrentSelection(int id) {
  if (IsList(id)) return mirror_.Read(id).selection;
  return Read<int>([&] {
    QWidget* w = Control(id);
    if (auto* combo = qobject_cast<QComboBox*>(w)) return combo->currentIndex();
    if (auto* list = qobject_cast<QListWidget*>(w)) {
      const auto selected = list->selectedItems();
      return selected.isEmpty() ? -1 : list->row(selected.front());
    }
    return -1;
  });
}

void QtWindowSurface::SetCurrentSelection(int id, int index) {
  const bool tracked = IsList(id);
  if (tracked) {
    mirror_.Change(id, [&](ControlState& state) {
      state.selection = index >= 0 && static_cast<size_t>(index) < state.items.size() ? index : -1;
    });
  }
  queue_.Post([this, id, index, tracked] {
    QWidget* w = Control(id);
    ++programmaticChange_;
    if (auto* combo = qobject_cast<QComboBox*>(w)) {
      combo->setCurrentIndex(index >= 0 && index < combo->count() ? index : -1);
    } else if (auto* list = qobject_cast<QListWidget*>(w)) {
      list->clearSelection();
      if (index >= 0 && index < list->count()) {
        list->setCurrentRow(index);
        list->item(index)->setSelected(true);
      } else {
        list->setCurrentRow(-1);
      }
    }
    --programmaticChange_;
    if (tracked) mirror_.Applied(id);
  });
}

bool QtWindowSurface::SelectItemByPrefix(int id, const char* text) {
  const std::string prefix(text ? text : "");
  if (IsList(id)) {
    // Answered from the mirror and carried out later: the worker presents each reply's
    // list values this way and need not wait for the window.
    int found = -1;
    const bool changed = mirror_.ChangeIf(id, [&](ControlState& state) {
      for (size_t i = 0; i < state.items.size() && found < 0; ++i) {
        if (StartsWithIgnoringAsciiCase(state.items[i], prefix)) found = static_cast<int>(i);
      }
      if (found < 0) return false;  // the selection stays as it was
      state.selection = found;
      return true;
    });
    if (!changed) return false;
    queue_.Post([this, id, found] {
      QWidget* w = Control(id);
      ++programmaticChange_;
      if (auto* combo = qobject_cast<QComboBox*>(w)) {
        if (found < combo->count()) combo->setCurrentIndex(found);
      } else if (auto* list = qobject_cast<QListWidget*>(w)) {
        if (found < list->count()) {
          list->clearSelection();
          list->setCurrentRow(found);
          list->item(found)->setSelected(true);
        }
      }
      --programmaticChange_;
      mirror_.Applied(id);
    });
    return true;
  }
  return Read<bool>([&] {
    QWidget* w = Control(id);
    ++programmaticChange_;
    bool found = false;
    if (auto* combo = qobject_cast<QComboBox*>(w)) {
      for (int i = 0; i < combo->count() && !found; ++i) {
        if (StartsWithIgnoringAsciiCase(ToBytes(combo->itemText(i)), prefix)) {
          combo->setCurrentIndex(i);
          found = true;
        }
      }
    } else if (auto* list = qobject_cast<QListWidget*>(w)) {
      for (int i = 0; i < list->count() && !found; ++i) {
        if (StartsWithIgnoringAsciiCase(ToBytes(list->item(i)->text()), prefix)) {
          list->clearSelection();
          list->setCurrentRow(i);
          list->item(i)->setSelected(true);
          found = true;
        }
      }
    }
    --programmaticChange_;
    return found;
  });
}

// ---- Buttons, state, focus ----------------------------------------------------------

void QtWindowSurface::SetChecked(int id, bool checked) {
  const bool tracked = mirror_.Tracks(id) && !IsList(id) && textLimits_.count(id) == 0;
  if (tracked) mirror_.Change(id, [&](ControlState& state) { state.checked = checked; });
  queue_.Post([this, id, checked, tracked] {
    auto* button = qobject_cast<QAbstractButton*>(Control(id));
    if (button == nullptr) {
      if (tracked) mirror_.Applied(id);
      return;
    }
    // An exclusive button refuses to be unchecked on its own; the logic unchecks the
    // other view buttons itself.
    const bool exclusive = button->autoExclusive();
    button->setAutoExclusive(false);
    button->setChecked(checked);
    button->setAutoExclusive(exclusive);
    if (tracked) mirror_.Applied(id);
  });
}

bool QtWindowSurface::IsChecked(int id) {
  if (mirror_.Tracks(id)) return mirror_.Read(id).checked;
  return Read<bool>([&] {
    auto* button = qobject_cast<QAbstractButton*>(Control(id));
    return button != nullptr && button->isChecked();
  });
}

void QtWindowSurface::EnableControl(int id, bool enabled) {
  queue_.Post([this, id, enabled] {
    if (QWidget* w = Control(id)) w->setEnabled(enabled);
  });
}

void QtWindowSurface::ShowControl(int id, bool visible) {
  queue_.Post([this, id, visible] {
    QWidget* w = Control(id);
    if (w == nullptr) return;
    w->setVisible(visible);
    auto* plain = qobject_cast<QPlainTextEdit*>(w);
    if (visible && plain != nullptr && outputFilters_.count(id) != 0) ScrollToEnd(plain);
  });
}

void QtWindowSurface::SetFocus(int id) {
  queue_.Post([this, id] {
    if (QWidget* w = Control(id)) w->setFocus(Qt::OtherFocusReason);
  });
}

void QtWindowSurface::Invalidate(bool) {
  queue_.Post([this] {
    if (window_) window_->update();
  });
}

void QtWindowSurface::UpdateNow() {
  queue_.Post([this] {
    if (window_) window_->repaint();
  });
}

int QtWindowSurface::ShowMessageBox(MessageOwner owner, const char* text, const char* caption, MessageIcon icon,
                                    MessageButtons buttons) {
  const MessageBoxRecord record{owner, text ? text : "", caption ? caption : "", icon, buttons};
  return Read<int>([&] {
    if (answerer_) return answerer_(record);
    QWidget* parent = nullptr;
    if (owner == MessageOwner::MainWindow && window_) parent = window_->window();
    if (owner == MessageOwner::Dialog) parent = modalDialog_ ? modalDialog_.data() : (window_ ? window_->window() : nullptr);
    std::string lines = record.text;
    std::replace(lines.begin(), lines.end(), '\r', '\n');
    if (buttons == MessageButtons::YesNo) {
      QMessageBox box(ToQtIcon(icon), FromBytes(record.caption), FromBytes(lines), QMessageBox::Yes | QMessageBox::No,
                      parent);
      box.setDefaultButton(QMessageBox::No);  // Enter keeps what the window holds
      return box.exec() == QMessageBox::Yes ? kAnswerYes : kAnswerNo;
    }
    QMessageBox box(ToQtIcon(icon), FromBytes(record.caption), FromBytes(lines), QMessageBox::Ok, parent);
    box.exec();
    return kAnswerOk;  // the only button
  });
}

void QtWindowSurface::StartTimer(int timerId, uint32_t periodMs) {
  queue_.Post([this, timerId, periodMs] {
    QTimer*& timer = timers_[timerId];
    if (timer == nullptr) {
      timer = new QTimer();
      QObject::connect(timer, &QTimer::timeout, timer, [this, timerId] {
        if (timerSink_) timerSink_(timerId);
      });
    }
    timer->start(static_cast<int>(periodMs));  // a second start replaces the period
  });
}

void QtWindowSurface::KillTimer(int timerId) {
  queue_.Post([this, timerId] {
    const auto it = timers_.find(timerId);
    if (it != timers_.end()) it->second->stop();
  });
}

}  // namespace vqx::desktop
