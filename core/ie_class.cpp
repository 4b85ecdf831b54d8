#include "core/ie_class.h"

#include "core/popup_decision.h"

namespace quellix {

IE_Class::~IE_Class() { End(); }

void IE_Class::End() {
  subscription_.reset();
  IE_.reset();
}

void IE_Class::SetIEctl(std::shared_ptr<BrowserWindow> IncomeIE) {
  subscription_.reset();
  IE_ = std::move(IncomeIE);
  if (IE_) subscription_ = IE_->Subscribe(weak_from_this());
}

void IE_Class::IE_StatusTextChange(const std::string& Text) { state_.strStatusText = Text; }

void IE_Class::IE_NewWindow2(bool& Cancel) { IE_NewWindow2(Cancel, nullptr); }

void IE_Class::IE_NewWindow2(bool& Cancel, const std::function<void()>& answer_block) {
  // The decision may run a nested message loop in which the tracker drops this
  // sink; keep it (and its browser) alive until the answer is written.
  const auto keep_alive = shared_from_this();
  const std::shared_ptr<BrowserWindow> browser = IE_;
  auto location = [&]() -> std::optional<std::string> {
    if (!browser) return std::nullopt;
    return browser->LocationURL();
  };
  const NewWindowVerdict verdict = answer_block ? DecideNewTab(state_, host_, location, answer_block)
                                                : DecideNewWindow(state_, host_, location);
  ApplyVerdict(verdict, Cancel);
}

}  // namespace quellix
