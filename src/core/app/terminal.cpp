#include <cstring>

#include "app/app_window.h"
#include "common/assertion.h"
#include "protocol/command_table.h"
#include "window/control_ids.h"

namespace vqx {

namespace {

constexpr size_t kEntryLimit = 255;      // characters read from the entry box
constexpr size_t kEntryTextLimit = 253;  // characters kept before the CR LF
constexpr size_t kOutputChunkLimit = 255;
constexpr const char* kEchoRefusedText = "This program automatically controls the ECHO setting";
constexpr const char* kFirstLineOnlyText =
    "The command entry held more than one line. Only its first line was sent to the VQX-2; "
    "send the others one at a time.";

// The step that confirms a typed setting the settings form follows once the unit
// answers OK, or kNothingPending for a command the form does not follow.
int32_t TypedSettingStep(int32_t commandId) {
  const SettingRow* row = RowOfCommand(commandId);
  return row != nullptr ? row->typedStep : kNothingPending;
}

}  // namespace

void CAppWindow::SubmitCommandEntry() {
  if (prefs_->view != kViewTerminal || shutDown_.load()) return;

  // Room for the kept characters, CR LF and the NUL.
  char line[kEntryLimit + 1];
  surface_.GetText(ids::kCommandEntry, line, sizeof(line));
  size_t length = std::strlen(line);
  // One Enter can arrive by several routes; the first one empties the box.
  if (length == 0) return;
  // A pasted text can hold line breaks, and every one would end a command at the unit: one
  // Send must never give it two commands, least of all a SAVE or REBOOT pasted by mistake.
  const size_t firstLine = std::strcspn(line, "\r\n");
  const bool moreLines = firstLine < length;
  length = firstLine;
  if (length > kEntryTextLimit) length = kEntryTextLimit;
  line[length] = '\r';
  line[length + 1] = '\n';
  line[length + 2] = '\0';

  // ownCommand goes to 0 in AcceptTypedCommand, once the line is sure to go out.
  const bool sent = link_.SendTypedLine(line);

  // Emptied whether or not the line went out.
  surface_.SetText(ids::kCommandEntry, "");
  surface_.Invalidate(false);
  // Told only when something went out: a refused or lost line has its own rules.
  if (sent && moreLines) {
    surface_.ShowMessageBox(MessageOwner::MainWindow, kFirstLineOnlyText, kProgramCaption, MessageIcon::Information,
                            MessageButtons::Ok);
  }
}

bool CAppWindow::AcceptTypedCommand(const char* keyword, const char* argument) {
  // The device logic relies on ECHO OFF; a query is harmless.
  if (argument != nullptr && std::strcmp(keyword, "ECHO") == 0) {
    surface_.ShowMessageBox(MessageOwner::MainWindow, kEchoRefusedText, kProgramCaption, MessageIcon::None,
                            MessageButtons::Ok);
    return false;
  }
  const int32_t commandId = FindCommandId(keyword);
  if (argument != nullptr && TypedSettingStep(commandId) != kNothingPending) NoteTypedSetting(commandId, argument);
  if (commandId == kCmdSave || commandId == kCmdReboot) WaitForRebootIfIdle();
  // The unit's OK to a typed TRAN means it is transparent: nothing is to be left at exit.
  typedTranPending_.store(commandId == kCmdTran && argument == nullptr);
  // The next reply answers the user. Set only for a line that goes out: a refused line
  // would otherwise make the device logic take its own next reply for the user's.
  ownCommand_.store(false);
  return true;
}

void CAppWindow::NoteTypedSetting(int32_t commandId, const char* argument) {
  const int32_t step = TypedSettingStep(commandId);
  if (step == kNothingPending) VQX_IMPOSSIBLE("cappwindow");
  {
    std::lock_guard lock(stateMutex_);
    std::strncpy(pendingArgument_, argument, kPendingArgumentSize - 1);
    pendingArgument_[kPendingArgumentSize - 1] = '\0';
  }
  // The argument is in place before the worker can see the step.
  queryStep_.store(step);
}

void CAppWindow::AppendOutput(const char* text) {
  if (text == nullptr || text[0] == '\0') return;
  char chunk[kOutputChunkLimit + 1];
  std::strncpy(chunk, text, kOutputChunkLimit);
  chunk[kOutputChunkLimit] = '\0';
  const size_t length = std::strlen(chunk);

  std::lock_guard lock(outputMutex_);
  // Once full, the log keeps its length: the oldest characters give way.
  if (outputLogLength_ + length >= kOutputLogSize) {
    const size_t dropped = length < outputLogLength_ ? length : outputLogLength_;
    std::memmove(outputLog_, outputLog_ + dropped, outputLogLength_ - dropped);
    outputLogLength_ -= dropped;
  }
  std::memcpy(outputLog_ + outputLogLength_, chunk, length);
  outputLogLength_ += length;
  outputLog_[outputLogLength_] = '\0';
  // Non-blocking by contract; under the lock so the log and the window keep one order.
  surface_.AppendToOutput(ids::kOutputWindow, chunk);
}

}  // namespace vqx
