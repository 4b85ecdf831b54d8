// The rest of the program as the core's tests give it: switches the test
// sets, a message queue of the test's own (work posted to it runs while the
// program waits, as window messages would), a counted block sound and a
// setup-mode prompt that the test answers.
#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <optional>
#include <utility>

#include "core/popup_host.h"
#include "core/program_state.h"

namespace quellix::testing {

class ScriptedPopupHost : public PopupHost {
 public:
  ScriptedPopupHost(ProgramState& state, PopupOptions options) : options(options), state_(state) {}

  PopupOptions ReadOptions() override { return options; }
  void ProcessPendingMessagesOnce() override {
    ++pumped;
    RunPending();
  }
  // Nothing queued: nothing can ever arrive, as when the program quits.
  bool WaitForMessage() override {
    if (queue_.empty()) return false;
    RunPending();
    return true;
  }
  void PlayBlockSound() override { ++sounds; }
  void StartBlockSound() override { ++started_sounds; }
  void AllowNextChanged() override { ++allow_next_changes; }
  bool ShowSetupPrompt() override {
    if (prompt_fails) return false;
    ++prompts;
    // A copy: the callback may replace itself.
    if (auto prompt = on_prompt) prompt();
    if (answer) PostAnswer(*answer);
    return true;
  }

  void Post(std::function<void()> task) { queue_.push_back(std::move(task)); }
  // The user answers the prompt a moment later, while the decision waits.
  void PostAnswer(bool allow) {
    Post([this, allow] {
      state_.boolAllowSite = allow;
      state_.boolAnswered = true;
    });
  }

  PopupOptions options;
  std::optional<bool> answer;  // given at every prompt; nothing: never answered
  bool prompt_fails = false;
  std::function<void()> on_prompt;
  int pumped = 0;
  int sounds = 0;          // played to the end before the answer
  int started_sounds = 0;  // started without waiting
  int allow_next_changes = 0;
  int prompts = 0;

 private:
  // Only what is queued now; work queued by these tasks waits for the next call.
  void RunPending() {
    for (std::size_t pending = queue_.size(); pending > 0 && !queue_.empty(); --pending) {
      auto task = std::move(queue_.front());
      queue_.pop_front();
      task();
    }
  }

  ProgramState& state_;
  std::deque<std::function<void()>> queue_;
};

}  // namespace quellix::testing
