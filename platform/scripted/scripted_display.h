// A display for tests: no widgets. The test posts events, moves a virtual
// clock, answers message boxes and folder dialogs from a queue, and reads
// back a record of what was shown.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/display.h"

namespace platform {

class ScriptedDisplay : public Display {
 public:
  ScriptedDisplay();
  ~ScriptedDisplay() override;

  // --- what the test does
  // Queued for the event loop; Run delivers them in order.
  void Post(std::function<void()> event);
  // Moves the virtual clock on, firing every timer that comes due, in time
  // order, each through its model.
  void AdvanceClock(int64_t milliseconds);
  int64_t Now() const { return now_; }
  // The next message box is dismissed after `whileShown` has run (a test
  // can look at the windows while the box is up).
  void AnswerMessage(std::function<void()> whileShown = {});
  // The next folder dialog answers with this path, or cancels on nullopt.
  void AnswerFolder(std::optional<std::string> path, std::function<void()> whileShown = {});
  void SetScreens(std::vector<Rect> screens) { screens_ = std::move(screens); }

  // --- what was shown, in order: "message: <text>", "folder dialog: ...",
  // "visible: true|false", "unhandled: <text>", "title: <text>"
  const std::vector<std::string>& Log() const { return log_; }
  std::vector<std::string> Messages() const;  // message box texts only
  std::vector<FolderDialogTexts> Dialogs() const { return dialogs_; }
  // The visibility the window was last given by its model.
  std::vector<bool> VisibleCalls() const { return visibleCalls_; }
  void ClearLog();
  int RunCount() const { return runs_; }

  // --- the display
  std::unique_ptr<WindowPeer> CreateWindowPeer(Window& model) override;
  std::unique_ptr<ListboxPeer> CreateListboxPeer(WindowPeer& parent, Listbox& model) override;
  std::unique_ptr<ButtonPeer> CreateButtonPeer(WindowPeer& parent, BevelButton& model) override;
  std::unique_ptr<TimerPeer> CreateTimerPeer(Timer& model) override;
  void ShowMessage(const String& text) override;
  std::optional<std::string> ChooseFolder(const FolderDialogTexts& texts) override;
  // Delivers the posted events until none is left or the application quits.
  void Run() override;
  void Quit() override { quit_ = true; }
  void ShowUnhandledException(const std::string& text) override;
  std::vector<Rect> Screens() const override { return screens_; }

  // Internal to the peers.
  struct ScheduledTimer {
    Timer* timer;
    TimerMode mode;
    int32_t period;
    int64_t due;
  };
  void Schedule(Timer* timer, TimerMode mode, int32_t period);
  void Unschedule(Timer* timer);
  void Record(std::string line) { log_.push_back(std::move(line)); }
  void RecordVisible(bool visible);

 private:
  struct Answer {
    std::optional<std::string> folder;
    std::function<void()> whileShown;
  };
  std::deque<std::function<void()>> events_;
  std::deque<Answer> messageAnswers_, folderAnswers_;
  std::vector<ScheduledTimer> timers_;
  std::vector<std::string> log_;
  std::vector<FolderDialogTexts> dialogs_;
  std::vector<bool> visibleCalls_;
  std::vector<Rect> screens_{Rect{0, 0, 1920, 1080}};
  int64_t now_ = 0;
  int runs_ = 0;
  bool quit_ = false;
};

}  // namespace platform
