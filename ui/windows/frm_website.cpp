#include "ui/windows/frm_website.h"

#include <cstdlib>

#include "platform/window_order.h"

namespace quellix {
namespace {

using ui::TwipsRect;

constexpr int kClientWidth = 10545;
constexpr int kClientHeight = 8580;
constexpr int kStatusBarHeight = 375;
constexpr int kEnter = 13;

ui::FormStyle BrowserStyle() {
  ui::FormStyle style;
  style.class_name = "Quellix.frmWebsite";
  style.client_width = kClientWidth;
  style.client_height = kClientHeight;
  style.sizable = true;
  style.icon_resource = ui::kProgramIconResource;
  return style;
}

ui::Button& NavigationButton(ui::Form& form, ui::Frame& frame, const char* name, int left, const char* caption,
                             const char* tip) {
  auto& button = form.Add<ui::Button>(name, TwipsRect{left, 600, 435, 435}, &frame, caption);
  button.SetToolTipText(tip);
  return button;
}

}  // namespace

frmWebsite::frmWebsite(frmWebsiteEnvironment environment)
    : ui::Form(environment.toolkit, BrowserStyle()),
      frmBrowser(Add<ui::Frame>("frmBrowser", TwipsRect{60, 0, 6375, 7215}, "Browser")),
      Label5(Add<ui::Label>("Label5", TwipsRect{120, 300, 405, 255}, &frmBrowser, "URL:")),
      Text1(Add<ui::TextBox>("Text1", TwipsRect{540, 240, 4875, 315}, &frmBrowser)),
      Command3(Add<ui::Button>("Command3", TwipsRect{5460, 240, 795, 315}, &frmBrowser, "Go")),
      Command4(NavigationButton(*this, frmBrowser, "Command4", 540, "<", "back")),
      Command5(NavigationButton(*this, frmBrowser, "Command5", 1020, ">", "forward")),
      Command6(NavigationButton(*this, frmBrowser, "Command6", 1500, "X", "stop")),
      Command7(NavigationButton(*this, frmBrowser, "Command7", 1980, "R", "refresh")),
      WebBrowser1(Add<ui::WebBrowser>("WebBrowser1", TwipsRect{120, 1140, 6135, 5595}, &frmBrowser)),
      StatusBar1(Add<ui::StatusBar>("StatusBar1", TwipsRect{0, kClientHeight - kStatusBarHeight, kClientWidth,
                                                            kStatusBarHeight})),
      SkinLabel1(Add<ui::SkinLabel>("SkinLabel1", 0, TwipsRect{}, &frmBrowser)),
      env_(std::move(environment)) {
  SkinLabel1.SetVisible(false);
  Command3.SetToolTipText("browse the entered url");
  // Pictures, 24 by 24 pixels on the navigation buttons and 46 by 16 on "go".
  Command3.SetPicture("NAV_GO");
  Command4.SetPicture("NAV_BACK");
  Command5.SetPicture("NAV_FORWARD");
  Command6.SetPicture("NAV_STOP");
  Command7.SetPicture("NAV_REFRESH");
  Command3.OnClick = [this] { Command3_Click(); };
  Command4.OnClick = [this] { Command4_Click(); };
  Command5.OnClick = [this] { Command5_Click(); };
  Command6.OnClick = [this] { Command6_Click(); };
  Command7.OnClick = [this] { Command7_Click(); };
  Text1.OnKeyPress = [this](int& key) { Text1_KeyPress(key); };
  WebBrowser1.OnStatusTextChange = [this](const std::string& text) { WebBrowser1_StatusTextChange(text); };
  WebBrowser1.OnProgressChange = [this](long progress, long most) { WebBrowser1_ProgressChange(progress, most); };
  WebBrowser1.OnDownloadBegin = [this] { WebBrowser1_DownloadBegin(); };
  WebBrowser1.OnDownloadComplete = [this] { WebBrowser1_DownloadComplete(); };
  OnResize = [this] { Form_Resize(); };
  OnPaint = [this] { LayoutControls(); };
  OnUnload = [this] { Form_Unload(); };
  Form_Load();
}

void frmWebsite::Form_Load() {
  StartLoad();
  env_.branding.LoadBranding();
  StatusBar1.AddPanel();
  SetCaption(env_.branding.strWebsite);
  // On top and back again: the window comes to the front without staying there.
  modOnTop(hWnd(), true);
  if (env_.branding.boolSkin) {
    // A window left unskinned is still a browser; nothing here ends the program.
    modSkin::CopySkinLabels(*this, {"SkinLabel1"});
    (void)env_.skin.SkinForm(*this);
  }
  (void)WebBrowser1.Navigate(env_.branding.strWebsite);
  SetWindowState(ui::WindowState::kMaximized);
  modOnTop(hWnd(), false);
}

void frmWebsite::Form_Resize() {
  // A change of state reaches the screen here (the form leaves that to its
  // Resize handler); a change of size only needs the layout.
  if (Visible() && GetWindowState() != presented_state_) {
    presented_state_ = GetWindowState();
    SetVisible(true);
  }
  LayoutControls();
}

void frmWebsite::LayoutControls() {
  const int width = OuterWidth();
  const int height = OuterHeight();
  const int bar = StatusBar1.Rect().Height;
  (void)StatusBar1.SetPanelWidth(1, std::abs(width / 2));
  (void)StatusBar1.SetPanelWidth(2, std::abs(width / 2));

  TwipsRect frame = frmBrowser.Rect();
  frame.Height = std::abs(height - bar);
  frame.Width = std::abs(width - 300);
  frmBrowser.SetRect(frame);

  TwipsRect text = Text1.Rect();
  TwipsRect go = Command3.Rect();
  text.Width = std::abs(frame.Width - text.Left - 300 - go.Width);
  Text1.SetRect(text);
  go.Left = text.Width + text.Left + 100;
  Command3.SetRect(go);

  TwipsRect page = WebBrowser1.Rect();
  page.Width = std::abs(frame.Width - page.Left - 100);
  page.Height = std::abs(frame.Height - page.Top - 800 - bar);
  WebBrowser1.SetRect(page);
}

void frmWebsite::Command3_Click() { (void)WebBrowser1.Navigate(Text1.Text()); }

void frmWebsite::Text1_KeyPress(int& key_ascii) {
  if (key_ascii == kEnter) Command3_Click();
}

// Back, forward, stop and reload may have nothing to do; that is no failure
// the user needs to hear of.
void frmWebsite::Command4_Click() { (void)WebBrowser1.GoBack(); }
void frmWebsite::Command5_Click() { (void)WebBrowser1.GoForward(); }
void frmWebsite::Command6_Click() { (void)WebBrowser1.Stop(); }
void frmWebsite::Command7_Click() { (void)WebBrowser1.Refresh(); }

void frmWebsite::WebBrowser1_StatusTextChange(const std::string& text) { (void)StatusBar1.SetPanelText(1, text); }

void frmWebsite::WebBrowser1_ProgressChange(long, long) {}

void frmWebsite::WebBrowser1_DownloadBegin() {
  (void)StatusBar1.SetPanelText(2, "Opening " + WebBrowser1.LocationURL());
}

void frmWebsite::WebBrowser1_DownloadComplete() {
  const std::string location = WebBrowser1.LocationURL();
  (void)StatusBar1.SetPanelText(2, "Completed " + location);
  Text1.SetText(location);
  SetCaption(WebBrowser1.LocationName());
}

void frmWebsite::Form_Unload() {
  Hide();
  // A closed browser window shows nothing and plays nothing; the next
  // opening makes a new one.
  WebBrowser1.Release();
  if (!env_.branding.boolEndPending) return;
  if (env_.branding.boolSkin) env_.skin.SupportObject().Stop();
  if (env_.end_program) env_.end_program();
}

}  // namespace quellix
