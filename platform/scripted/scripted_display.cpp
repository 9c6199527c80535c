#include "platform/scripted/scripted_display.h"

#include <algorithm>
#include <limits>

#include "platform/runtime.h"
#include "platform/bevelbutton.h"
#include "platform/listbox.h"
#include "platform/timer.h"
#include "platform/window.h"

namespace platform {
namespace {

class ScriptedWindowPeer : public WindowPeer {
 public:
  explicit ScriptedWindowPeer(ScriptedDisplay& display) : display_(display) {}
  void SetTitle(const String& title) override { display_.Record("title: " + title.str()); }
  void SetBounds(const Rect&) override {}
  void SetSizeLimits(const SizeLimits&) override {}
  void SetFrame(WindowFrame, const WindowButtons&, bool) override {}
  void SetVisible(bool visible) override { display_.RecordVisible(visible); }
  void SetMenuBar(const Ref<MenuBar>&, bool) override {}
  // The test moves the window through its model: nothing is ever pending.
  void SettleBounds() override {}
  // No menu bar is drawn.
  Margins FrameMargins(int32_t) const override { return {}; }

 private:
  ScriptedDisplay& display_;
};

template <class Peer>
class ScriptedControlPeer : public Peer {
 public:
  void SetBounds(const Rect&, const Size&, const Locks&) override {}
  void SetVisible(bool) override {}
  void SetEnabled(bool) override {}
  void SetTextSize(int32_t) override {}
  void SetName(const String&) override {}
};

class ScriptedButtonPeer : public ScriptedControlPeer<ButtonPeer> {
 public:
  void SetCaption(const String&) override {}
};

class ScriptedListboxPeer : public ScriptedControlPeer<ListboxPeer> {
 public:
  void SetColumnCount(int32_t) override {}
  void RowsInserted(int32_t, int32_t, int32_t) override {}
  void RowsRemoved(int32_t, int32_t, int32_t) override {}
  void CellChanged(int32_t, int32_t, int32_t) override {}
  void ExpandedChanged(int32_t) override {}
  void SelectionChanged() override {}
  void Reset() override {}
};

class ScriptedTimerPeer : public TimerPeer {
 public:
  ScriptedTimerPeer(ScriptedDisplay& display, Timer& timer) : display_(display), timer_(timer) {}
  ~ScriptedTimerPeer() override { display_.Unschedule(&timer_); }
  void Schedule(TimerMode mode, int32_t period) override {
    display_.Schedule(&timer_, mode, period);
  }

 private:
  ScriptedDisplay& display_;
  Timer& timer_;
};

}  // namespace

ScriptedDisplay::ScriptedDisplay() = default;
ScriptedDisplay::~ScriptedDisplay() = default;

void ScriptedDisplay::Post(std::function<void()> event) { events_.push_back(std::move(event)); }

void ScriptedDisplay::AdvanceClock(int64_t milliseconds) {
  const int64_t end = now_ + std::max<int64_t>(0, milliseconds);
  for (;;) {
    auto next = std::min_element(timers_.begin(), timers_.end(),
                                 [](const ScheduledTimer& a, const ScheduledTimer& b) {
                                   return a.due < b.due;
                                 });
    if (next == timers_.end() || next->due > end) break;
    now_ = next->due;
    Timer* timer = next->timer;
    if (next->mode == TimerMode::kMultiple) {
      next->due += std::max(1, next->period);
    } else {
      timers_.erase(next);
    }
    timer->Fire();  // may reschedule or remove timers
  }
  now_ = end;
}

void ScriptedDisplay::AnswerMessage(std::function<void()> whileShown) {
  messageAnswers_.push_back(Answer{std::nullopt, std::move(whileShown)});
}

void ScriptedDisplay::AnswerFolder(std::optional<std::string> path,
                                   std::function<void()> whileShown) {
  folderAnswers_.push_back(Answer{std::move(path), std::move(whileShown)});
}

std::vector<std::string> ScriptedDisplay::Messages() const {
  std::vector<std::string> out;
  const std::string prefix = "message: ";
  for (const std::string& line : log_) {
    if (line.rfind(prefix, 0) == 0) out.push_back(line.substr(prefix.size()));
  }
  return out;
}

void ScriptedDisplay::ClearLog() {
  log_.clear();
  dialogs_.clear();
  visibleCalls_.clear();
}

void ScriptedDisplay::RecordVisible(bool visible) {
  visibleCalls_.push_back(visible);
  log_.push_back(visible ? "visible: true" : "visible: false");
}

std::unique_ptr<WindowPeer> ScriptedDisplay::CreateWindowPeer(Window&) {
  return std::make_unique<ScriptedWindowPeer>(*this);
}

std::unique_ptr<ListboxPeer> ScriptedDisplay::CreateListboxPeer(WindowPeer&, Listbox&) {
  return std::make_unique<ScriptedListboxPeer>();
}

std::unique_ptr<ButtonPeer> ScriptedDisplay::CreateButtonPeer(WindowPeer&, BevelButton&) {
  return std::make_unique<ScriptedButtonPeer>();
}

std::unique_ptr<TimerPeer> ScriptedDisplay::CreateTimerPeer(Timer& model) {
  return std::make_unique<ScriptedTimerPeer>(*this, model);
}

void ScriptedDisplay::ShowMessage(const String& text) {
  log_.push_back("message: " + text.str());
  if (messageAnswers_.empty()) return;
  Answer answer = std::move(messageAnswers_.front());
  messageAnswers_.pop_front();
  if (answer.whileShown) answer.whileShown();
}

std::optional<std::string> ScriptedDisplay::ChooseFolder(const FolderDialogTexts& texts) {
  dialogs_.push_back(texts);
  log_.push_back("folder dialog: " + texts.title.str());
  if (folderAnswers_.empty()) return std::nullopt;
  Answer answer = std::move(folderAnswers_.front());
  folderAnswers_.pop_front();
  if (answer.whileShown) answer.whileShown();
  return answer.folder;
}

void ScriptedDisplay::Run() {
  ++runs_;
  while (!quit_ && !events_.empty()) {
    std::function<void()> event = std::move(events_.front());
    events_.pop_front();
    DeliverEvent(event);
  }
}

void ScriptedDisplay::ShowUnhandledException(const std::string& text) {
  log_.push_back("unhandled: " + text);
}

void ScriptedDisplay::Schedule(Timer* timer, TimerMode mode, int32_t period) {
  Unschedule(timer);
  if (mode == TimerMode::kOff) return;
  timers_.push_back(ScheduledTimer{timer, mode, period, now_ + std::max(1, period)});
}

void ScriptedDisplay::Unschedule(Timer* timer) {
  timers_.erase(std::remove_if(timers_.begin(), timers_.end(),
                               [timer](const ScheduledTimer& t) { return t.timer == timer; }),
                timers_.end());
}

}  // namespace platform
