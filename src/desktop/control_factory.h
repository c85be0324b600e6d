#pragma once

#include <map>
#include <vector>

#include <QWidget>

#include "dialog_units.h"
#include "window/dialog_template.h"

namespace vqx::desktop {

// The widgets of a dialog template, created at their template positions.
struct BuiltControls {
  std::map<int, QWidget*> byId;      // controls that have an id
  std::vector<QWidget*> inOrder;     // every control, template order
  std::vector<QWidget*> tabStops;    // template order = Tab order
};

// Creates one widget per control of the template as children of parent:
//  static -> QLabel; single-line edit -> QLineEdit (digits-only boxes take digits only);
//  read-only multi-line edit -> QPlainTextEdit; push button -> QPushButton; push-like
//  radio -> checkable, mutually exclusive QPushButton; check box -> QCheckBox; group box
//  -> QGroupBox (kept beneath the rest); drop-down list -> QComboBox; list box ->
//  QListWidget. Every widget's objectName is "control<id>". The Tab order follows the
//  template.
BuiltControls BuildControls(const DialogTemplate& dialog, QWidget* parent, const DialogUnits& units);

// The object name BuildControls gives a control.
QString ControlObjectName(int id);

}  // namespace vqx::desktop
