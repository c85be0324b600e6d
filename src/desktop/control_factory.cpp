#include "control_factory.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>

namespace vqx::desktop {
namespace {

bool Has(const ControlTemplate& c, uint32_t style) { return (c.style & style) != 0; }

Qt::Alignment LabelAlignment(const ControlTemplate& c) {
  Qt::Alignment a = Qt::AlignLeft;
  if (Has(c, kStyleAlignRight)) a = Qt::AlignRight;
  if (Has(c, kStyleAlignCenter)) a = Qt::AlignHCenter;
  return a | (Has(c, kStyleVCenter) ? Qt::AlignVCenter : Qt::AlignTop);
}

QWidget* MakeEdit(const ControlTemplate& c, QWidget* parent) {
  // A multi-line edit that the user types into (the command entry) never holds a line
  // break: Enter sends it. The read-only ones show the traffic and the report.
  if (Has(c, kStyleMultiLine) && Has(c, kStyleReadOnly)) {
    auto* edit = new QPlainTextEdit(parent);
    edit->setReadOnly(true);
    // Nobody undoes a read-only text; an undo history would keep every append for ever.
    edit->setUndoRedoEnabled(false);
    edit->setLineWrapMode(Has(c, kStyleAutoHScroll) || Has(c, kStyleHScroll) ? QPlainTextEdit::NoWrap
                                                                            : QPlainTextEdit::WidgetWidth);
    edit->setVerticalScrollBarPolicy(Has(c, kStyleVScroll) ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAsNeeded);
    edit->setHorizontalScrollBarPolicy(Has(c, kStyleHScroll) ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAsNeeded);
    edit->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    return edit;
  }
  auto* edit = new QLineEdit(parent);
  edit->setReadOnly(Has(c, kStyleReadOnly));
  if (Has(c, kStyleDigitsOnly)) {
    edit->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit));
  }
  edit->setFrame(Has(c, kStyleBorder));
  return edit;
}

QWidget* MakeButton(const ControlTemplate& c, QWidget* parent) {
  const QString text = QString::fromLatin1(c.text);
  if (Has(c, kStyleGroupBox)) {
    // The template places a group box's frame through the middle of its title, at the
    // top of its rectangle, as the original window draws it.
    auto* box = new QGroupBox(text, parent);
    box->setStyleSheet(QStringLiteral(
        "QGroupBox { border: 1px solid palette(mid); border-radius: 2px; margin-top: 0.5em; }"
        "QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left; left: 6px;"
        " padding: 0px 2px; }"));
    return box;
  }
  if (Has(c, kStyleAutoCheckBox)) return new QCheckBox(text, parent);
  auto* button = new QPushButton(text, parent);
  if (Has(c, kStyleAutoRadioButton)) {
    button->setCheckable(true);
    button->setAutoExclusive(true);
  }
  if (Has(c, kStyleDefaultPushButton)) button->setDefault(true);
  button->setAutoDefault(false);
  return button;
}

QWidget* MakeControl(const ControlTemplate& c, QWidget* parent) {
  switch (c.kind) {
    case ControlKind::Static: {
      auto* label = new QLabel(QString::fromLatin1(c.text), parent);
      label->setAlignment(LabelAlignment(c));
      label->setTextFormat(Qt::PlainText);
      return label;
    }
    case ControlKind::Edit: return MakeEdit(c, parent);
    case ControlKind::Button: return MakeButton(c, parent);
    case ControlKind::ComboBox: {
      auto* combo = new QComboBox(parent);
      combo->setEditable(false);
      combo->setMaxVisibleItems(12);
      return combo;
    }
    case ControlKind::ListBox: {
      auto* list = new QListWidget(parent);
      list->setSelectionMode(QAbstractItemView::SingleSelection);
      list->setVerticalScrollBarPolicy(Has(c, kStyleVScroll) ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAsNeeded);
      return list;
    }
  }
  return new QWidget(parent);
}

}  // namespace

QString ControlObjectName(int id) { return QStringLiteral("control%1").arg(id); }

BuiltControls BuildControls(const DialogTemplate& dialog, QWidget* parent, const DialogUnits& units) {
  BuiltControls built;
  std::vector<QWidget*> groupBoxes;
  for (const ControlTemplate& c : dialog.controls) {
    QWidget* w = MakeControl(c, parent);
    w->setFont(units.Font());
    QRect r = units.ToPixels(c.x, c.y, c.width, c.height);
    // A drop-down list's template height includes its opened list.
    if (c.kind == ControlKind::ComboBox) r.setHeight(std::min(r.height(), w->sizeHint().height()));
    w->setGeometry(r);
    if (c.id != -1) {
      w->setObjectName(ControlObjectName(c.id));
      built.byId[c.id] = w;
    }
    if (Has(c, kStyleTabStop) || c.kind == ControlKind::ListBox || Has(c, kStyleAutoRadioButton)) {
      w->setFocusPolicy(Qt::StrongFocus);
      built.tabStops.push_back(w);
    } else if (c.kind == ControlKind::Edit || c.kind == ControlKind::ComboBox) {
      w->setFocusPolicy(Qt::ClickFocus);
    } else {
      w->setFocusPolicy(Qt::NoFocus);
    }
    if (c.kind == ControlKind::Button && Has(c, kStyleGroupBox)) groupBoxes.push_back(w);
    built.inOrder.push_back(w);
  }
  for (QWidget* box : groupBoxes) box->lower();
  for (size_t i = 1; i < built.tabStops.size(); ++i) QWidget::setTabOrder(built.tabStops[i - 1], built.tabStops[i]);
  return built;
}

}  // namespace vqx::desktop
