// The program's entry point: one copy per session, OLE for the browser side,
// the splash window (which opens the main window), and the message loop until
// the program's explicit end.
#include <windows.h>
#include <ole2.h>

#include <memory>

#include "adapters/win/browser_com.h"
#include "app/single_instance_win.h"
#include "core/program_state.h"
#include "platform/lists_folder.h"
#include "platform/program_folder.h"
#include "platform/registry.h"
#include "platform/settings_store.h"
#include "platform/user_folders.h"
#include "adapters/win/browser_pipe_server_win.h"
#include "platform/win/message_step_win.h"
#include "product_identity.h"
#include "ui/controls/form.h"
#include "ui/main/form1.h"
#include "ui/main/options.h"
#include "ui/skin/mod_skin.h"
#include "ui/windows/frm_splash.h"
#include "ui/windows/mod_branding.h"
#include "ui/windows/secondary_window_set.h"

namespace quellix::app {
namespace {

// The browser side's events arrive in this single-threaded apartment.
class OleSession {
 public:
  OleSession() : ok_(SUCCEEDED(OleInitialize(nullptr))) {}
  ~OleSession() {
    if (ok_) OleUninitialize();
  }
  OleSession(const OleSession&) = delete;
  OleSession& operator=(const OleSession&) = delete;

 private:
  bool ok_;
};

// Everything the program holds, in the order it is made; it goes in the
// reverse order once the message loop has ended.
class Program final : public SplashWindowAccess {
 public:
  Program()
      : toolkit_(ui::CreateToolkit()),
        settings_(std::make_unique<platform::RegistrySettingsStore>()),
        windows_(SecondaryWindowEnvironment{*toolkit_, *settings_, options::ApplicationName(), branding_, state_,
                                            skin_, platform::ProgramFolder(), [] { PostQuitMessage(0); }, {}}) {
    skin_.SetSplash(this);
  }
  ~Program() override {
    // The browsers' tabs go before the main window they ask, and the main
    // window before the windows it could open: its tracker stops first.
    if (main_window_) main_window_->TellChangesTo(nullptr);
    browser_pipe_.reset();
    main_window_.reset();
  }

  void Start() { CreateSplash(); }

  // SplashWindowAccess
  bool SplashExists() const override { return splash_ != nullptr; }
  void CreateSplash() override {
    splash_ = ui::MakeForm<frmSplash>(*toolkit_, branding_, [this] { OpenMainWindow(); }, &skin_);
    splash_->Form_Load();
    splash_->Show();
  }
  bool SplashTimerEnabled() const override { return splash_ && splash_->Timer2.Enabled(); }
  void DisableSplashTimerAndHide() override {
    if (!splash_) return;
    splash_->Timer2.SetEnabled(false);
    splash_->Hide();
  }

 private:
  void OpenMainWindow() {
    if (main_window_) return;
    // An all-users installation keeps each user's lists and start-up entry with the user.
    platform::Registry& registry = platform::SystemRegistry();
    const std::string program_folder = platform::ProgramFolder();
    const bool all_users = platform::IsAllUsersInstallation(registry, program_folder);
    main_window_ = ui::MakeForm<Form1>(Form1Environment{
        *toolkit_, *settings_, registry, branding_, state_, shell_, windows_, program_folder,
        platform::ListsFolder(registry, program_folder, platform::RoamingAppDataFolder()), build::kDefaultAllowedHost,
        [] { PostQuitMessage(0); }, &skin_, all_users ? StartUpScope::CurrentUser : StartUpScope::MachineFirst});
    windows_.AttachMainWindow([this] { return main_window_ ? main_window_->hWnd() : 0; },
                              main_window_->SiteLists());
    main_window_->Form_Load();
    main_window_->Show();
    // The tabs of browsers with the extension, decided like the tracker's windows.
    browser_pipe_ = std::make_unique<win::BrowserPipeServer>(state_, *main_window_, &main_window_->SiteLists());
    if (browser_pipe_->NameTaken()) main_window_->BrowserPipeHeldElsewhere();
    main_window_->TellChangesTo(browser_pipe_.get());
  }

  std::unique_ptr<ui::Toolkit> toolkit_;
  std::unique_ptr<platform::SettingsStore> settings_;
  modBranding branding_;
  ProgramState state_;
  modSkin skin_;
  win::ComShellWindowsFactory shell_;
  SecondaryWindowSet windows_;
  ui::FormPtr<frmSplash> splash_;
  ui::FormPtr<Form1> main_window_;
  std::unique_ptr<win::BrowserPipeServer> browser_pipe_;
};

int RunMessageLoop() {
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) platform::DispatchProgramMessage(message);
  return message.message == WM_QUIT ? static_cast<int>(message.wParam) : 0;
}

}  // namespace
}  // namespace quellix::app

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  using namespace quellix::app;
  const SingleInstance instance;
  if (!instance.First()) {
    BringUpRunningCopy();
    return 0;
  }
  const OleSession ole;
  int exit_code = 0;
  {
    Program program;
    program.Start();
    exit_code = RunMessageLoop();
  }
  return exit_code;
}
