// The six switches, the three buttons above them and the status line.
#include "ui/main/form1.h"

namespace quellix {

void Form1::ShowStatus(const std::string& message) { StatusBar1.SetPanelText(2, message); }

void Form1::BrowserPipeHeldElsewhere() {
  ShowStatus("Browsers cannot reach the program: another program holds its pipe");
}

void Form1::SwitchMessage(const ui::CheckBox& box, const char* on, const char* off) {
  ShowStatus(box.Value() == 1 ? on : off);
}

void Form1::Check1_Click() {
  SwitchMessage(Check1, "Now blocking popups", "Now allowing popups");
  if (news_ != nullptr) news_->SwitchesChanged();
}

void Form1::Check2_Click() {
  SwitchMessage(Check2, "Setup Mode Enabled", "Setup Mode Disabled");
  if (news_ != nullptr) news_->SwitchesChanged();
}

void Form1::Check6_Click() {
  SwitchMessage(Check6, "Auto New Window Enabled", "Auto New Window Disabled");
  if (news_ != nullptr) news_->SwitchesChanged();
}

void Form1::Check5_Click() {
  SwitchMessage(Check5, "Sounds Enabled", "Sounds Disabled");
  if (!FixedByPolicy(Check5)) options_.WriteNumber(options::kChkSound, Check5.Value());
}

void Form1::Check3_Click() {
  if (!objOnTop) objOnTop.emplace();
  if (Check3.Value() == 1) {
    objOnTop->MakeTopMost(hWnd());
    program_.boolOnTop = true;
  } else {
    objOnTop->MakeNormal(hWnd());
    program_.boolOnTop = false;
  }
  SwitchMessage(Check3, "Always On Top Enabled", "Always On Top Disabled");
  if (!FixedByPolicy(Check3)) options_.WriteNumber(options::kChkOnTop, Check3.Value());
}

void Form1::Check4_Click() {
  if (!objAddRemove) objAddRemove.emplace(env_.registry, env_.start_up_scope);
  // The message says what the registry holds afterwards, not what was asked.
  if (Check4.Value() == 1) {
    const bool written = objAddRemove->AddToRun(options::ApplicationName(), OwnStartUpCommand());
    ShowStatus(written ? "Run On Startup Enabled" : "Run On Startup could not be enabled");
  } else {
    const bool removed = objAddRemove->RemoveFromRun(options::ApplicationName());
    ShowStatus(removed ? "Run On Startup Disabled" : "Run On Startup could not be disabled");
  }
}

void Form1::Command5_Click() {
  if (policy_.allow_next_off) return;
  program_.boolAllowNext = !program_.boolAllowNext;
  ShowStatus(program_.boolAllowNext ? "The next popup will be allowed." : "The next popup will NOT be allowed.");
  AllowNextChanged();
}

void Form1::Command6_Click() { SetWindowState(ui::WindowState::kMinimized); }

void Form1::Command7_Click() { env_.windows.ShowWebsite(); }

void Form1::pctHotkey_MouseMove() {
  if (policy_.allow_next_off) return;
  program_.boolAllowNext = !program_.boolAllowNext;
  ShowStatus(program_.boolAllowNext ? "The next popup will be allowed." : "The next popup will NOT be allowed.");
  AllowNextChanged();
}

}  // namespace quellix
