#pragma once

// Runs the window logic's dialogs on headless surfaces, each driven by the next script a
// test queued, as a user would drive it. A dialog the test did not expect, or one its
// script leaves open, fails the test.

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "window/control_ids.h"
#include "window/dialog_host.h"
#include "window/headless_surface.h"

namespace vqx::testing {

struct DialogDriver {
  HeadlessSurface& surface;
  IDialogLogic& logic;
  bool ended = false;

  bool Click(int id) {
    ended = logic.OnCommand(surface, id, kBnClicked);
    return ended;
  }
  void Type(int id, const std::string& text) {
    surface.UserSetText(id, text);
    logic.OnCommand(surface, id, kEnChange);
  }
  void Select(int listId, int index) {
    surface.UserSelectItem(listId, index);
    logic.OnCommand(surface, listId, kLbnSelChange);
  }
  void DoubleClick(int listId, int index) {
    Select(listId, index);
    ended = logic.OnCommand(surface, listId, kLbnDblClk);
  }
};

class ScriptedDialogHost final : public IDialogHost {
 public:
  using Script = std::function<void(DialogDriver&)>;

  void Expect(Script script) { scripts_.push_back(std::move(script)); }
  bool AllRun() const { return scripts_.empty(); }
  // Captions of the dialogs run, in order.
  std::vector<std::string> captions;

  void RunModal(IDialogLogic& logic) override {
    captions.emplace_back(logic.Template().caption);
    if (scripts_.empty()) {
      ADD_FAILURE() << "a dialog the test did not expect: " << logic.Template().caption;
      return;
    }
    Script script = std::move(scripts_.front());
    scripts_.pop_front();
    HeadlessSurface surface(logic.Template());
    logic.OnInit(surface);
    DialogDriver driver{surface, logic};
    script(driver);
    logic.OnClosed(surface);
    EXPECT_TRUE(driver.ended) << "the script left the dialog open: " << logic.Template().caption;
  }

 private:
  std::deque<Script> scripts_;
};

}  // namespace vqx::testing
