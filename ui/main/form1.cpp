#include "ui/main/form1.h"

#include "platform/mod_play_sound.h"
#include "platform/message_pump.h"
#include "ui/controls/message_box.h"
#include "ui/main/mod_hook.h"
#include "ui/main/module2.h"

namespace quellix {
namespace {

using ui::TwipsRect;

constexpr int kClientWidth = 7605;
constexpr int kClientHeight = 6930;
constexpr int kTrayRetryMs = 3000;
// The banner lies where "Program Options" starts, as wide as the frames and as
// high as a standard banner (60 pixels); start-up moves both frames down by
// its height and a gap.
constexpr TwipsRect kBannerPlace{60, 1080, 7515, 900};
constexpr int kBannerGap = 100;

ui::FormStyle MainWindowStyle() {
  ui::FormStyle style;
  style.class_name = "Quellix.Form1";
  style.caption = "Your Program Name by Your Company";
  style.client_width = kClientWidth;
  style.client_height = kClientHeight;
  style.icon_resource = ui::kProgramIconResource;
  return style;
}

// One switch row of "Program Options": the box, and the label beside it that
// carries the text; both show the same tooltip.
struct SwitchRow {
  const char* box;
  const char* label;
  int top;
  const char* text;
  const char* tooltip;
};

constexpr SwitchRow kSwitchRows[] = {
    {"Check1", "Label5", 240, "Popup Blocking: Stop Popups from all sites that aren't on my allowed list",
     "This controls whether popup blocking is on or off."},
    {"Check2", "Label6", 480, "Setup Mode: Add sites to my Allowed or Disallowed list as I browse",
     "When in Setup Mode, whenever a site attempts to open a popup you be prompted to either allow it or "
     "disallow it.  We recommend using Setup Mode for a few days to collect a list of allowed and disallowed "
     "sites."},
    {"Check6", "Label4", 720, "Exceptions: Allow popups when my mouse is over a link",
     "The program can detect when your mouse is over a link, which will allow links that open in new windows to "
     "be opened.  The program will be less accurate with this option on, but it may be more convenient for you."},
    {"Check5", "Label2", 960, "Audio: Play a sound when a popup is blocked",
     "If selected, every time a popup is blocked you will hear a POP! sound."},
    {"Check3", "Label7", 1200, "Visual: Keep this window on top of all others",
     "This causes the program to stay on top of other windows."},
    {"Check4", "Label8", 1440, "Automation: Run at startup and block popups automatically",
     "This will enable the program to be run every time you start your computer, so that you don't have to "
     "remember to open it before browsing."},
};

const SwitchRow& RowOf(const char* box) {
  for (const SwitchRow& row : kSwitchRows) {
    if (std::string_view(row.box) == box) return row;
  }
  return kSwitchRows[0];
}

}  // namespace

Form1::Form1(Form1Environment environment)
    : ui::Form(environment.toolkit, MainWindowStyle()),
      Command5(Add<ui::Button>("Command5", TwipsRect{60, 60, 1515, 975}, nullptr, "Allow Next Popup")),
      Command6(Add<ui::Button>("Command6", TwipsRect{1620, 60, 1515, 975}, nullptr, "Minimize to Taskbar")),
      Command7(Add<ui::Button>("Command7", TwipsRect{3180, 60, 4395, 975}, nullptr, "Visit ")),
      Frame2(Add<ui::Frame>("Frame2", TwipsRect{60, 1080, 7515, 1755}, "Program Options")),
      Check1(Add<ui::CheckBox>("Check1", TwipsRect{120, RowOf("Check1").top, 200, 200}, &Frame2)),
      Check2(Add<ui::CheckBox>("Check2", TwipsRect{120, RowOf("Check2").top, 200, 200}, &Frame2)),
      Check6(Add<ui::CheckBox>("Check6", TwipsRect{120, RowOf("Check6").top, 200, 200}, &Frame2)),
      Check5(Add<ui::CheckBox>("Check5", TwipsRect{120, RowOf("Check5").top, 200, 200}, &Frame2)),
      Check3(Add<ui::CheckBox>("Check3", TwipsRect{120, RowOf("Check3").top, 200, 200}, &Frame2)),
      Check4(Add<ui::CheckBox>("Check4", TwipsRect{120, RowOf("Check4").top, 200, 200}, &Frame2)),
      Frame1(Add<ui::Frame>("Frame1", TwipsRect{60, 2880, 7515, 3675}, "Website Settings")),
      Label3(Add<ui::Label>("Label3", TwipsRect{120, 255, 1815, 255}, &Frame1, "Allowed Sites:")),
      Text1(Add<ui::TextBox>("Text1", TwipsRect{120, 600, 1815, 285}, &Frame1)),
      Command1(Add<ui::Button>("Command1", TwipsRect{2040, 180, 795, 695}, &Frame1, "Add")),
      Command2(Add<ui::Button>("Command2", TwipsRect{2880, 180, 795, 695}, &Frame1, "Delete")),
      List1(Add<ui::ListBoxControl>("List1", TwipsRect{120, 900, 3615, 2595}, &Frame1)),
      Label1(Add<ui::Label>("Label1", TwipsRect{3780, 255, 1815, 255}, &Frame1, "Disallowed Sites:")),
      Text2(Add<ui::TextBox>("Text2", TwipsRect{3780, 600, 1815, 285}, &Frame1)),
      Command4(Add<ui::Button>("Command4", TwipsRect{5700, 180, 795, 695}, &Frame1, "Add")),
      Command3(Add<ui::Button>("Command3", TwipsRect{6540, 180, 795, 695}, &Frame1, "Delete")),
      List2(Add<ui::ListBoxControl>("List2", TwipsRect{3780, 900, 3615, 2595}, &Frame1)),
      StatusBar1(Add<ui::StatusBar>("StatusBar1", TwipsRect{0, 6555, kClientWidth, 375})),
      // Beyond the right edge of the client area: the pointer never reaches it.
      pctHotkey(Add<ui::PictureBox>("pctHotkey", TwipsRect{kClientWidth + 120, 0, 15, 15}, nullptr)),
      // The templates of the skin's label copies, one in each frame.
      SkinLabel1(Add<ui::SkinLabel>("SkinLabel1", 0, TwipsRect{}, &Frame2)),
      SkinLabel2(Add<ui::SkinLabel>("SkinLabel2", 0, TwipsRect{}, &Frame1)),
      mnuFile(AddMenu("mnuFile", "File")),
      mnuAction(AddMenu("mnuAction", "Action")),
      mnuTools(AddMenu("mnuTools", "Tools")),
      mnuHelp(AddMenu("mnuHelp", "Help")),
      mnuAbout(AddMenu("mnuAbout", "About")),
      Popup(AddMenu("Popup", "Popup", false)),
      tmrTrayRetry(AddTimer("tmrTrayRetry", kTrayRetryMs)),
      env_(std::move(environment)),
      program_(env_.state),
      options_(env_.settings, options::ApplicationName()),
      lists_(list_files_, env_.lists_folder, env_.default_allowed_host, env_.state, allowed_box_, disallowed_box_) {
  lists_.SetChangeListener([this] {
    if (news_ != nullptr) news_->ListsChanged();
  });
  for (const SwitchRow& row : kSwitchRows) {
    auto* box = static_cast<ui::CheckBox*>(FindControl(row.box));
    box->SetToolTipText(row.tooltip);
    Add<ui::Label>(row.label, TwipsRect{360, row.top, 7035, 255}, &Frame2, row.text).SetToolTipText(row.tooltip);
  }
  Check1.OnClick = [this] { Check1_Click(); };
  Check2.OnClick = [this] { Check2_Click(); };
  Check3.OnClick = [this] { Check3_Click(); };
  Check4.OnClick = [this] { Check4_Click(); };
  Check5.OnClick = [this] { Check5_Click(); };
  Check6.OnClick = [this] { Check6_Click(); };

  Command5.SetToolTipText(
      "This will allow the next popup to be opened.  You can also press Win + Z or right click the Program Icon.  "
      "This is useful if a legitimate window is being misinterpreted as a popup.");
  Command6.SetToolTipText(
      "The program will run silently in the taskbar while you browse.  You can right click the program icon for "
      "a list of options, or to maximize the program.");
  Command5.OnClick = [this] { Command5_Click(); };
  Command6.OnClick = [this] { Command6_Click(); };
  Command7.OnClick = [this] { Command7_Click(); };

  Label3.SetToolTipText(
      "allowed sites will be able to open popup windows.  however, the windows that popup are not affected by "
      "vantorel and will be able to launch popups.");
  Text1.SetToolTipText(
      "Type the domain (ex: quellix.example) of the site you would like to allow and click the Add button.");
  Command1.SetToolTipText("Allow popups from the site typed in the text box to the left.");
  List1.SetToolTipText("sites that are allowed will not be prevented from opening popups");
  Command2.SetToolTipText("Remove the selected site from the Allowed List");
  Label1.SetToolTipText(
      "by default, vantorel.  adding a site to the disallowed list  prevents it from notifying you of popups "
      "while in setup mode.");
  Text2.SetToolTipText(
      "Type the domain (ex: quellix.example) of the site you would like to disallow and click the Add button.");
  Command4.SetToolTipText("Prevent popups from the site typed in the text box to the left.");
  List2.SetToolTipText(
      "all sites that are not \"allowed\" are blocked by vantorel.  disallowed sites will not prompt you from "
      "setup mode.");
  Command3.SetToolTipText("Remove the selected site from the Disallowed List");
  Command1.OnClick = [this] { Command1_Click(); };
  Command2.OnClick = [this] { Command2_Click(); };
  Command4.OnClick = [this] { Command4_Click(); };
  Command3.OnClick = [this] { Command3_Click(); };

  if (env_.branding.boolBanner) {
    // Wider than its place by the strip that the banner's picture box hides
    // on the right (the browser's scroll bar), so what shows is as wide as
    // the frames.
    TwipsRect banner = kBannerPlace;
    banner.Width += modSkin::BannerCut(ScaleUnits::kTwips);
    wbBanner = &Add<ui::WebBrowser>("wbBanner", banner, nullptr);
    wbBanner->SetVisible(false);
    wbPicture = &Add<ui::WebBrowser>("wbPicture", kBannerPlace, nullptr);
    wbPicture->SetVisible(false);
  }
  pctHotkey.OnMouseMove = [this] { pctHotkey_MouseMove(); };
  SkinLabel1.SetVisible(false);
  SkinLabel2.SetVisible(false);
  BuildMenus();

  OnResize = [this] { Form_Resize(); };
  OnUnload = [this] { Form_Unload(); };
  OnEndSession = [this] { Form_EndSession(); };
  OnSettingChange = [this](const std::string& area) { Form_SettingChange(area); };
  SetMessageHandler(Module2::kTrayCallbackMessage,
                    [this](std::uintptr_t, std::intptr_t lparam) {
                      TrayIcon_Callback(static_cast<unsigned>(lparam & 0xFFFF));
                    });
  tmrTrayRetry.OnTimer = [this] {
    if (!Closed()) AddTrayIconNow();
  };
  // Explorer restarted: its new notification area knows no icons yet.
  SetMessageHandler(ui::RegisteredMessage("TaskbarCreated"), [this](std::uintptr_t, std::intptr_t) {
    if (!Closed()) AddTrayIconNow();
  });
  SetMessageHandler(ui::RegisteredMessage(kShowMainWindowMessage), [this](std::uintptr_t, std::intptr_t) {
    if (!Closed()) show_Click();
  });
}

void Form1::AddTrayIconNow() {
  // At log-on the program may start before the shell's notification area
  // exists, and a busy shell may refuse for a moment: then the icon is tried
  // again every few seconds until it is in. An icon the area already holds
  // (a restart message it did not need) is put in afresh.
  bool added = Module2::AddTrayIcon(*this, TrayIdentifier(), IconHandle(), env_.branding.strProgramName);
  if (!added) {
    Module2::RemoveTrayIcon(TrayIdentifier());
    added = Module2::AddTrayIcon(*this, TrayIdentifier(), IconHandle(), env_.branding.strProgramName);
  }
  tmrTrayRetry.SetEnabled(!added);
}

void Form1::Form_Load() {
  StartLoad();
  program_.boolAllowNext = false;
  SetCaption(env_.branding.strProgramName + " by " + env_.branding.strCompany);
  Command7.SetCaption("Visit " + env_.branding.strWebsite);
  objAddRemove.emplace(env_.registry, env_.start_up_scope);
  AddTrayIconNow();
  objOnTop.emplace();
  program_.boolOnTop = false;

  // Each 1 runs that switch's handling now; its message is lost, as panel 2
  // does not exist yet. A switch the organisation fixes starts as it says.
  policy_ = platform::ReadGroupPolicy(env_.registry);
  RestoreSwitches();
  ShowGroupPolicy();
  program_.intStopped = options_.ReadCount(options::kIntStopped);
  program_.strAllowed.Assign(
      options_.ReadText(options::kStrAllowed, options::DefaultAllowedText(env_.default_allowed_host)));
  program_.strDisallowed.Assign(options_.ReadText(options::kStrDisallowed, ""));
  state = options_.ReadState();

  StatusBar1.AddPanel();
  StatusBar1.AddPanel();
  StatusBar1.SetPanelWidth(1, OuterWidth() / 2);
  StatusBar1.SetPanelWidth(2, OuterWidth() / 2);
  StatusBar1.SetPanelText(1, std::to_string(program_.intStopped) + " Popups blocked to date");

  // A list that cannot be created or read is reported and left empty; the
  // program runs on with the other one.
  if (auto ensured = lists_.EnsureListFiles(); !ensured) ReportStoreFailure(ensured);
  if (auto loaded = lists_.LoadAllowed(); !loaded) ReportStoreFailure(loaded);
  if (auto loaded = lists_.LoadDisallowed(); !loaded) ReportStoreFailure(loaded);

  SetWindowState(state == options::kStateUp ? ui::WindowState::kNormal : ui::WindowState::kMinimized);

  modHook::HookWindow(hWnd(), pctHotkey.hWnd());

  tracker_.reset();
  tracker_ = cIEWindows::Create(env_.shell, program_, *this);

  if (env_.branding.boolSkin && env_.skin != nullptr) {
    // A window left unskinned still starts.
    modSkin::CopySkinLabels(*this, {"SkinLabel1", "SkinLabel2"});
    (void)env_.skin->SkinForm(*this);
  }

  if (env_.branding.boolBanner) PlaceBanner();

  modIETools(env_.registry).CheckIEButton();

  if (options_.ReadText(options::kShowHelp, "1") != "1") return;
  ShowOnTop(env_.windows.ShowHelp());
}

void Form1::PlaceBanner() {
  if (wbBanner == nullptr || env_.skin == nullptr) return;
  const int room = wbBanner->Rect().Height + kBannerGap;
  for (ui::Frame* frame : {&Frame1, &Frame2}) {
    TwipsRect moved = frame->Rect();
    moved.Top += room;
    frame->SetRect(moved);
  }
  SetClientSize(ClientWidth(), ClientHeight() + room);
  // This window measures in twips.
  (void)env_.skin->ShowBanner(*this, ScaleUnits::kTwips, env_.branding.strBannerURL);
}

void Form1::ShowOnTop(platform::WindowHandle window) {
  if (window == 0 || !program_.boolOnTop) return;
  if (!objOnTop) objOnTop.emplace();
  objOnTop->MakeTopMost(window);
}

void Form1::Form_Resize() {
  if (GetWindowState() == ui::WindowState::kMinimized) {
    state = options::kStateDown;
    SetVisible(false);
    options_.Write(options::kState, options::kStateDown);
  } else {
    state = options::kStateUp;
    SetVisible(true);
    options_.Write(options::kState, options::kStateUp);
  }
}

void Form1::SaveOptions() {
  // A switch the organisation fixes keeps the user's own stored value.
  auto save_switch = [this](const char* key, const ui::CheckBox& box) {
    if (!FixedByPolicy(box)) options_.WriteNumber(key, box.Value());
  };
  save_switch(options::kChkRunAtStart, Check4);
  save_switch(options::kChkOnTop, Check3);
  save_switch(options::kChkAuto, Check2);
  save_switch(options::kChkStopPop, Check1);
  options_.WriteNumber(options::kIntStopped, program_.intStopped);
  options_.Write(options::kStrAllowed, program_.strAllowed.Text());
  options_.Write(options::kStrDisallowed, program_.strDisallowed.Text());
  save_switch(options::kChkLinks, Check6);
  options_.Write(options::kState, state);
}

void Form1::Form_EndSession() {
  // After an unload everything is written already.
  if (!Closed()) SaveOptions();
}

void Form1::Form_Unload() {
  SaveOptions();
  tmrTrayRetry.SetEnabled(false);
  Module2::RemoveTrayIcon(TrayIdentifier());
  modHook::UnhookWindow();  // nothing when the window was never hooked
  tracker_.reset();
  if (env_.windows.WebsiteVisible()) {
    // The program ends when the built-in browser closes.
    env_.branding.boolEndPending = true;
    SetVisible(false);
    return;
  }
  if (env_.branding.boolSkin && env_.skin != nullptr) env_.skin->SupportObject().Stop();
  if (env_.end_program) env_.end_program();
}

void Form1::ReportStoreFailure(const StoreResult& result) {
  ui::ShowMessage(hWnd(), result.message, env_.branding.strProgramName);
}

PopupOptions Form1::ReadOptions() {
  PopupOptions options;
  options.chkStopPop = Check1.Value() == 1;
  options.chkAuto = Check2.Value() == 1;
  options.chkSound = Check5.Value() == 1;
  options.chkLinks = Check6.Value() == 1;
  return options;
}

void Form1::ProcessPendingMessagesOnce() { platform::ProcessPendingMessagesOnce(); }
bool Form1::WaitForMessage() { return platform::WaitForMessage(); }
void Form1::PlayBlockSound() { modPlaySound::PlaySound(env_.program_folder + "\\sounds\\pop.wav"); }
void Form1::StartBlockSound() { modPlaySound::StartSound(env_.program_folder + "\\sounds\\pop.wav"); }
void Form1::AllowNextChanged() {
  if (news_ != nullptr) news_->AllowNextChanged();
}
bool Form1::ShowSetupPrompt() { return env_.windows.ShowSetupPrompt(); }

}  // namespace quellix
