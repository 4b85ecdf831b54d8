// IE_Class: the event sink attached to one browser window. It remembers the
// last status text and answers the window's new-window requests.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "core/browser.h"
#include "core/popup_host.h"
#include "core/program_state.h"

namespace quellix {

class IE_Class : public BrowserEvents, public std::enable_shared_from_this<IE_Class> {
 public:
  IE_Class(ProgramState& state, PopupHost& host) : state_(state), host_(host) {}
  ~IE_Class() override;
  IE_Class(const IE_Class&) = delete;
  IE_Class& operator=(const IE_Class&) = delete;

  // IEctl: makes `IncomeIE` this sink's browser and subscribes to its events.
  // A failure leaves the sink without events.
  void SetIEctl(std::shared_ptr<BrowserWindow> IncomeIE);
  // The end of the sink: it unsubscribes and lets its browser go. A sink
  // whose own event is still running lives on until that event returns, but
  // nothing more reaches it.
  void End();

  void IE_StatusTextChange(const std::string& Text);
  void IE_NewWindow2(bool& Cancel);
  // NewWindow2 of a browser tab: a block is answered through `answer_block` first.
  void IE_NewWindow2(bool& Cancel, const std::function<void()>& answer_block);

  const std::shared_ptr<BrowserWindow>& IE() const { return IE_; }

 private:
  void OnStatusTextChange(const std::string& text) override { IE_StatusTextChange(text); }
  void OnNewWindow2(bool& cancel) override { IE_NewWindow2(cancel); }
  void OnNewTabWindow2(bool& cancel, const std::function<void()>& answer_block) override {
    IE_NewWindow2(cancel, answer_block);
  }

  ProgramState& state_;
  PopupHost& host_;
  std::shared_ptr<BrowserWindow> IE_;          // the window's browser object
  std::unique_ptr<Subscription> subscription_; // its events, while IE_ is set
};

}  // namespace quellix
