// Labels built from the templates show the unit's texts as they are.

#include <gtest/gtest.h>

#include <QLabel>
#include <QWidget>

#include "control_factory.h"
#include "window/connection_dialog_templates.h"
#include "window/control_ids.h"
#include "window/dialog_template.h"

namespace vqx::desktop {
namespace {

// An & that a label took for a mnemonic would be hidden (or underline the next letter)
// and take no room: the label showing it as a character is wider than without it.
TEST(LabelTest, AnAmpersandFromTheUnitIsShownAsACharacterNotAMnemonic) {
  QWidget window;
  const DialogUnits units(MainDialogTemplate().fontName, MainDialogTemplate().fontPointSize);
  const BuiltControls main = BuildControls(MainDialogTemplate(), &window, units);
  QWidget dialog;
  const BuiltControls list = BuildControls(ConnectionListDialogTemplate(), &dialog, units);
  for (QWidget* widget : {main.byId.at(ids::kMacAddress), main.byId.at(ids::kFirmwareVersion),
                          list.byId.at(ids::kConnectionCountLabel)}) {
    auto* label = qobject_cast<QLabel*>(widget);
    ASSERT_NE(label, nullptr);
    label->setText(QStringLiteral("R&D"));
    const int withAmpersand = label->sizeHint().width();
    label->setText(QStringLiteral("RD"));
    const int without = label->sizeHint().width();
    EXPECT_GT(withAmpersand, without) << label->objectName().toStdString();
    EXPECT_EQ(label->buddy(), nullptr);
  }
}

}  // namespace
}  // namespace vqx::desktop
