#include "serial_port_dialog.h"

#include <QComboBox>
#include <QCompleter>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStringList>

#include "control_factory.h"
#include "serial_choice_texts.h"
#include "window/control_ids.h"
#include "window/dialog_template.h"

namespace vqx::desktop {
namespace {

void SelectByText(QComboBox* combo, const std::string& text) {
  combo->setCurrentIndex(combo->findText(QString::fromLatin1(text.c_str())));
}

std::string TextOf(const QComboBox* combo) { return combo->currentText().toLatin1().toStdString(); }

void SelectChoice(const std::map<int, QWidget*>& controls, const HostSerialChoice& choice) {
  // Selected by their texts; a rate not in the list selects none.
  SelectByText(static_cast<QComboBox*>(controls.at(ids::kSerialBaudRate)), BaudRateText(choice.baudRate));
  SelectByText(static_cast<QComboBox*>(controls.at(ids::kSerialDataBits)), DataBitsText(choice.dataBits));
  SelectByText(static_cast<QComboBox*>(controls.at(ids::kSerialStopBits)), StopBitsText(choice.stopBits));
  SelectByText(static_cast<QComboBox*>(controls.at(ids::kSerialParity)), ParityText(choice.parity));
}

}  // namespace

SerialPortDialog::SerialPortDialog(const DialogUnits& units, const HostSerialChoice& stored,
                                   std::vector<std::string> portsFound, Apply apply, DetectionHooks detection,
                                   QWidget* parent)
    : QDialog(parent), apply_(std::move(apply)), detection_(std::move(detection)) {
  const DialogTemplate& dialog = SerialPortDialogTemplate();
  setWindowTitle(QString::fromLatin1(dialog.caption));
  setFont(units.Font());
  setFixedSize(units.ToPixels(dialog.width, dialog.height));
  setModal(true);
  controls_ = BuildControls(dialog, this, units).byId;

  for (const int id : {ids::kSerialBaudRate, ids::kSerialDataBits, ids::kSerialStopBits, ids::kSerialParity}) {
    auto* combo = static_cast<QComboBox*>(controls_.at(id));
    for (const char* item : SerialDialogListItems(id)) combo->addItem(QString::fromLatin1(item));
    combo->setCurrentIndex(-1);
  }

  auto* name = static_cast<QLineEdit*>(controls_.at(ids::kSerialPortName));
  name->setMaxLength(kPortNameCapacity);
  name->setText(QString::fromLatin1(stored.portName.c_str()));
  QStringList found;
  for (const std::string& port : portsFound) found << QString::fromLatin1(port.c_str());
  if (!found.isEmpty()) {
    auto* completer = new QCompleter(found, name);
    completer->setCaseSensitivity(Qt::CaseInsensitive);
    completer->setFilterMode(Qt::MatchContains);
    name->setCompleter(completer);
    name->setToolTip(QStringLiteral("Serial ports found:\n") + found.join(QLatin1Char('\n')));
  }

  SelectChoice(controls_, stored);

  auto* ok = static_cast<QPushButton*>(controls_.at(ids::kDialogOk));
  auto* cancel = static_cast<QPushButton*>(controls_.at(ids::kDialogCancel));
  ok->setDefault(true);
  ok->setAutoDefault(true);
  connect(ok, &QPushButton::clicked, this, [this] { Accept(); });
  connect(cancel, &QPushButton::clicked, this, [this] { reject(); });
  auto* detect = static_cast<QPushButton*>(controls_.at(ids::kSerialDetect));
  detect->setAutoDefault(false);
  connect(detect, &QPushButton::clicked, this, [this] { StartDetection(); });
  name->setFocus(Qt::OtherFocusReason);
}

void SerialPortDialog::SetSearching(bool searching) {
  detecting_ = searching;
  controls_.at(ids::kDialogOk)->setEnabled(!searching);
  controls_.at(ids::kSerialDetect)->setEnabled(!searching);
  controls_.at(ids::kSerialPortName)->setEnabled(!searching);
}

void SerialPortDialog::StartDetection() {
  if (detecting_ || !detection_.start) return;
  const std::string portName = CurrentChoice().portName;
  const DetectPress press = PressDetect(portName);
  if (press.start) SetSearching(true);
  ShowDetectionProgress(press.text);
  if (press.start) detection_.start(portName);
}

void SerialPortDialog::ShowDetectionProgress(const std::string& text) {
  static_cast<QLabel*>(controls_.at(ids::kSerialDetectStatus))->setText(QString::fromLatin1(text.c_str()));
}

void SerialPortDialog::DetectionEnded(const HostSerialChoice* found, const std::string& text) {
  SetSearching(false);
  ShowDetectionProgress(text);
  if (found == nullptr) return;
  SelectChoice(controls_, *found);
  controls_.at(ids::kDialogOk)->setFocus(Qt::OtherFocusReason);
}

void SerialPortDialog::reject() {
  if (detecting_) {
    ShowDetectionProgress(kStoppingSearchText);
    if (detection_.cancel) detection_.cancel();
    return;
  }
  QDialog::reject();
}

QWidget* SerialPortDialog::Control(int id) const {
  const auto it = controls_.find(id);
  return it == controls_.end() ? nullptr : it->second;
}

HostSerialChoice SerialPortDialog::CurrentChoice() const {
  return ChoiceFromTexts(static_cast<QLineEdit*>(controls_.at(ids::kSerialPortName))->text().toLatin1().toStdString(),
                         TextOf(static_cast<QComboBox*>(controls_.at(ids::kSerialBaudRate))),
                         TextOf(static_cast<QComboBox*>(controls_.at(ids::kSerialDataBits))),
                         TextOf(static_cast<QComboBox*>(controls_.at(ids::kSerialStopBits))),
                         TextOf(static_cast<QComboBox*>(controls_.at(ids::kSerialParity))));
}

void SerialPortDialog::Accept() {
  if (detecting_) return;  // the search holds the port
  if (apply_ && apply_(CurrentChoice())) accept();
  // Otherwise the warning has been shown over the dialog, which stays open.
}

}  // namespace vqx::desktop
