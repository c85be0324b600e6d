#include "serial_port_dialog.h"

#include <QComboBox>
#include <QCompleter>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStringList>

#include "app/text_fields.h"
#include "control_factory.h"
#include "window/control_ids.h"
#include "window/dialog_template.h"

namespace vqx::desktop {
namespace {

void SelectByText(QComboBox* combo, const QString& text) { combo->setCurrentIndex(combo->findText(text)); }

int32_t NumberOf(const QComboBox* combo) {
  int32_t value = 0;
  const QByteArray text = combo->currentText().toLatin1().left(11);  // the list texts are short
  return ParseDecimal(text.constData(), &value) ? value : 0;
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

  // The stored values, selected by their texts; a rate not in the list selects none.
  SelectByText(static_cast<QComboBox*>(controls_.at(ids::kSerialBaudRate)), QString::number(stored.baudRate));
  SelectByText(static_cast<QComboBox*>(controls_.at(ids::kSerialDataBits)),
               stored.dataBits == 7 ? QStringLiteral("7") : QStringLiteral("8"));
  SelectByText(static_cast<QComboBox*>(controls_.at(ids::kSerialStopBits)),
               stored.stopBits == 2 ? QStringLiteral("2") : QStringLiteral("1"));
  SelectByText(static_cast<QComboBox*>(controls_.at(ids::kSerialParity)),
               stored.parity == 'E'   ? QStringLiteral("Even")
               : stored.parity == 'O' ? QStringLiteral("Odd")
                                      : QStringLiteral("None"));

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
  if (portName.empty()) {
    ShowDetectionProgress("Type the serial port's name first.");
    return;
  }
  SetSearching(true);
  ShowDetectionProgress("Looking for the VQX-2 on " + portName + "...");
  detection_.start(portName);
}

void SerialPortDialog::ShowDetectionProgress(const std::string& text) {
  static_cast<QLabel*>(controls_.at(ids::kSerialDetectStatus))->setText(QString::fromLatin1(text.c_str()));
}

void SerialPortDialog::DetectionEnded(const HostSerialChoice* found, const std::string& text) {
  SetSearching(false);
  ShowDetectionProgress(text);
  if (found == nullptr) return;
  SelectByText(static_cast<QComboBox*>(controls_.at(ids::kSerialBaudRate)), QString::number(found->baudRate));
  SelectByText(static_cast<QComboBox*>(controls_.at(ids::kSerialDataBits)), QString::number(found->dataBits));
  SelectByText(static_cast<QComboBox*>(controls_.at(ids::kSerialStopBits)), QString::number(found->stopBits));
  SelectByText(static_cast<QComboBox*>(controls_.at(ids::kSerialParity)),
               found->parity == 'E'   ? QStringLiteral("Even")
               : found->parity == 'O' ? QStringLiteral("Odd")
                                      : QStringLiteral("None"));
  controls_.at(ids::kDialogOk)->setFocus(Qt::OtherFocusReason);
}

void SerialPortDialog::reject() {
  if (detecting_) {
    ShowDetectionProgress("Stopping the search...");
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
  HostSerialChoice choice;
  choice.portName = static_cast<QLineEdit*>(controls_.at(ids::kSerialPortName))->text().toLatin1().toStdString();
  choice.baudRate = NumberOf(static_cast<QComboBox*>(controls_.at(ids::kSerialBaudRate)));
  choice.dataBits = NumberOf(static_cast<QComboBox*>(controls_.at(ids::kSerialDataBits)));
  choice.stopBits = NumberOf(static_cast<QComboBox*>(controls_.at(ids::kSerialStopBits)));
  const QString parity = static_cast<QComboBox*>(controls_.at(ids::kSerialParity))->currentText();
  choice.parity = parity.isEmpty() ? 'N' : parity.at(0).toLatin1();
  return choice;
}

void SerialPortDialog::Accept() {
  if (detecting_) return;  // the search holds the port
  if (apply_ && apply_(CurrentChoice())) accept();
  // Otherwise the warning has been shown over the dialog, which stays open.
}

}  // namespace vqx::desktop
