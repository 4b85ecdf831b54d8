// The setup-mode prompt with the real popup decision waiting for it: the
// user's clicks arrive as messages while the decision waits, as they do on
// the screen.
#include "adapters/list_files_on_disk.h"
#include "core/testing/memory_list_box.h"
#include "ui/windows/form3.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/popup_decision.h"
#include "platform/headless_windows.h"
#include "platform/message_pump_portable.h"
#include "platform/registry_portable.h"
#include "platform/settings_store.h"
#include "ui/controls/headless/headless_ui.h"
#include "ui/windows/secondary_window_set.h"
#include "ui/windows/testing/open_windows.h"

namespace quellix {
namespace {

namespace fs = std::filesystem;

class PromptHost : public PopupHost {
 public:
  explicit PromptHost(SecondaryWindows& windows) : windows_(windows) {}
  PopupOptions ReadOptions() override { return {.chkStopPop = true, .chkAuto = true, .chkSound = false, .chkLinks = false}; }
  void ProcessPendingMessagesOnce() override { platform::ProcessPendingMessagesOnce(); }
  bool WaitForMessage() override { return platform::WaitForMessage(); }
  void PlayBlockSound() override {}
  void StartBlockSound() override {}
  void AllowNextChanged() override {}
  bool ShowSetupPrompt() override {
    ++prompts;
    return windows_.ShowSetupPrompt();
  }
  int prompts = 0;

 private:
  SecondaryWindows& windows_;
};

ui::FormStyle MainStyle() {
  ui::FormStyle style;
  style.class_name = "Quellix.Form1";
  style.client_width = 7605;
  style.client_height = 6930;
  return style;
}

class SetupPrompt : public ::testing::Test {
 protected:
  void SetUp() override {
    ui::headless::ResetSystem();
    folder = fs::temp_directory_path() / ("quellix-form3-" + std::to_string(::getpid()) + "-" +
                                          ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(folder);
    fs::create_directories(folder);
    ASSERT_TRUE(lists.EnsureListFiles());
    ASSERT_TRUE(lists.LoadAllowed());
    ASSERT_TRUE(lists.LoadDisallowed());
    windows.AttachMainWindow([this] { return main_window.hWnd(); }, lists);
  }
  void TearDown() override { fs::remove_all(folder); }

  std::string Read(const char* name) const {
    std::ifstream in(folder / name, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  // A request from a page at `address`; `user` runs while the decision waits.
  NewWindowVerdict Request(const std::string& address, std::function<void()> user = {}) {
    if (user) platform::PostTask(std::move(user));
    return DecideNewWindow(state, host, [address] { return std::optional<std::string>(address); });
  }
  Form3& Prompt() {
    Form3* prompt = testing::OpenWindows::Prompt(windows);
    if (prompt == nullptr) throw std::runtime_error("no prompt is open");
    return *prompt;
  }

  fs::path folder;
  std::unique_ptr<ui::Toolkit> toolkit = ui::CreateToolkit();
  ui::Form main_window{*toolkit, MainStyle()};
  ProgramState state;
  MemoryListBox List1;
  MemoryListBox List2;
  modBranding branding;
  modSkin skin;
  platform::PortableRegistry registry;
  platform::RegistrySettingsStore settings{registry};
  ListFilesOnDisk list_files;
  Module1 lists{list_files, folder_string(), "clicks.quellix.example", state, List1, List2};
  SecondaryWindowSet windows{{*toolkit, settings, "Quellix Pop-Up Blocker", branding, state, skin, folder_string(), {}, {}}};
  PromptHost host{windows};

 private:
  std::string folder_string() {
    if (folder.empty()) {
      folder = fs::temp_directory_path() / ("quellix-form3-" + std::to_string(::getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    }
    return folder.string();
  }
};

TEST_F(SetupPrompt, ShowsTheSiteWithItsTextsAndTips) {
  Request("http://ads.example/page", [this] {
    Form3& prompt = Prompt();
    EXPECT_EQ(prompt.Caption(), "Popup Detected!");
    EXPECT_EQ(prompt.Text1.Text(), "ads.example");
    EXPECT_TRUE(ui::headless::ShownOnScreen(prompt));
    EXPECT_TRUE(platform::IsTopmost(prompt.hWnd()));
    EXPECT_NE(prompt.Label1.Caption().find("Chosing either \"Always\" option will prevent you"), std::string::npos);
    EXPECT_EQ(prompt.Label3.Caption(), "Current Site:");
    EXPECT_EQ(prompt.Command1.Caption(), "Allow Always");
    EXPECT_EQ(prompt.Command4.Caption(), "Block Now");
    EXPECT_EQ(prompt.Command3.ToolTipText(),
              "ignore this prompt for now.  this window will be displayed the next time a popup window appears.");
    EXPECT_EQ(prompt.Command4.ToolTipText(), "");
    prompt.Command4.Click();
  });
}

TEST_F(SetupPrompt, AllowAlwaysStoresTheEditedSiteAndTheSiteIsNotAskedAgain) {
  const NewWindowVerdict verdict = Request("http://www.ads.example/x", [this] {
    Prompt().Text1.UserEdited("ads.example");
    Prompt().Command1.Click();
  });
  EXPECT_EQ(verdict, NewWindowVerdict::kLetThrough);
  EXPECT_EQ(Read("allowed.txt"), "clicks.quellix.example\r\nads.example\r\n\r\n");
  EXPECT_EQ(List1.List(1), "ads.example");
  EXPECT_EQ(state.strAllowed.Text(), "clicks.quellix.example\r\nads.example\r\n");
  EXPECT_EQ(testing::OpenWindows::Prompt(windows), nullptr);
  EXPECT_EQ(state.intStopped, 0);

  EXPECT_EQ(Request("http://ads.example/other"), NewWindowVerdict::kLetThrough);
  EXPECT_EQ(host.prompts, 1);
}

TEST_F(SetupPrompt, BlockAlwaysStoresTheEditedSiteAndLaterRequestsAreBlockedWithoutAQuestion) {
  const NewWindowVerdict verdict = Request("http://www.pop.example/", [this] {
    Prompt().Text1.UserEdited("pop.example");
    Prompt().Command2.Click();
  });
  EXPECT_EQ(verdict, NewWindowVerdict::kBlock);
  EXPECT_EQ(state.intStopped, 1);
  EXPECT_EQ(Read("disallowed.txt"), "\r\npop.example\r\n");  // appended only
  EXPECT_EQ(List2.List(0), "pop.example");
  EXPECT_EQ(Read("allowed.txt"), "clicks.quellix.example\r\n");

  EXPECT_EQ(Request("http://pop.example/again"), NewWindowVerdict::kBlock);
  EXPECT_EQ(state.intStopped, 2);
  EXPECT_EQ(host.prompts, 1);
}

TEST_F(SetupPrompt, AnswersNowChangeNoListAndTheNextRequestAsksAgain) {
  EXPECT_EQ(Request("http://once.example/", [this] { Prompt().Command3.Click(); }), NewWindowVerdict::kLetThrough);
  EXPECT_EQ(Request("http://once.example/", [this] { Prompt().Command4.Click(); }), NewWindowVerdict::kBlock);
  EXPECT_EQ(host.prompts, 2);
  EXPECT_EQ(Read("allowed.txt"), "clicks.quellix.example\r\n");
  EXPECT_EQ(Read("disallowed.txt"), "\r\n");
  EXPECT_EQ(List1.ListCount(), 1);
  EXPECT_EQ(List2.ListCount(), 0);
  EXPECT_EQ(state.intStopped, 1);
}

TEST_F(SetupPrompt, TheCloseButtonBlocks) {
  EXPECT_EQ(Request("http://closed.example/", [this] { Prompt().SystemRequestedClose(); }), NewWindowVerdict::kBlock);
  EXPECT_EQ(state.intStopped, 1);
  EXPECT_TRUE(state.boolAnswered);
  EXPECT_EQ(testing::OpenWindows::Prompt(windows), nullptr);
}

TEST_F(SetupPrompt, ASecondQuestionKeepsTheFirstSiteAndBothEndOnOneAnswer) {
  NewWindowVerdict second = NewWindowVerdict::kUntouched;
  const NewWindowVerdict first = Request("http://first.example/", [&] {
    Form3* shown = &Prompt();
    // The second request comes while the first waits; the user answers once.
    platform::PostTask([&, shown] {
      EXPECT_EQ(&Prompt(), shown);
      EXPECT_EQ(Prompt().Text1.Text(), "first.example");
      EXPECT_EQ(state.strCurrentSite, "second.example");
      Prompt().Command1.Click();
    });
    second = DecideNewWindow(state, host, [] { return std::optional<std::string>("http://second.example/"); });
  });
  EXPECT_EQ(first, NewWindowVerdict::kLetThrough);
  EXPECT_EQ(second, NewWindowVerdict::kLetThrough);
  EXPECT_EQ(host.prompts, 2);
  // What the box showed is what was stored.
  EXPECT_EQ(List1.List(1), "first.example");
}

TEST_F(SetupPrompt, TheMainWindowKeepsItsTopmostStateAroundThePrompt) {
  clsOnTop on_top;
  for (bool main_on_top : {true, false}) {
    state.boolOnTop = main_on_top;
    if (main_on_top) {
      on_top.MakeTopMost(main_window.hWnd());
    } else {
      on_top.MakeNormal(main_window.hWnd());
    }
    Request("http://order.example/", [&] {
      EXPECT_TRUE(platform::IsTopmost(Prompt().hWnd()));
      EXPECT_EQ(platform::IsTopmost(main_window.hWnd()), main_on_top);
      Prompt().Command4.Click();
    });
    EXPECT_EQ(platform::IsTopmost(main_window.hWnd()), main_on_top);
  }
}

TEST_F(SetupPrompt, AFailedListWriteStillEndsTheQuestionTellsTheUserAndKeepsTheAnswer) {
  fs::remove_all(folder);  // the list files can no longer be written
  EXPECT_EQ(Request("http://nowhere.example/", [this] { Prompt().Command1.Click(); }), NewWindowVerdict::kLetThrough);
  ASSERT_NE(testing::OpenWindows::Notice(windows), nullptr);
  EXPECT_TRUE(ui::headless::ShownOnScreen(*testing::OpenWindows::Notice(windows)));
  EXPECT_NE(testing::OpenWindows::Notice(windows)->Label1.Caption().find("\"nowhere.example\" could not be added to the allowed list"),
            std::string::npos);
  EXPECT_EQ(List1.ListCount(), 1);

  EXPECT_EQ(Request("http://nowhere.example/", [this] { Prompt().Command2.Click(); }), NewWindowVerdict::kBlock);
  EXPECT_NE(testing::OpenWindows::Notice(windows)->Label1.Caption().find("could not be added to the disallowed list"), std::string::npos);
  EXPECT_EQ(state.intStopped, 1);
  EXPECT_EQ(host.prompts, 2);

  // The site goes onto the list (the file takes the appended line) but the
  // whole-file write that follows fails: a full disk, as a file size limit
  // that leaves room for the line and not for the rewrite's closing line.
  fs::create_directories(folder);
  ASSERT_TRUE(lists.EnsureListFiles());
  const auto file_size = fs::file_size(folder / "allowed.txt");
  const std::string site = "full.disk.example";
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit previous{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &previous), 0);
  rlimit limited = previous;
  limited.rlim_cur = file_size + site.size() + 2;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
  const NewWindowVerdict verdict = Request("http://" + site + "/", [this] { Prompt().Command1.Click(); });
  setrlimit(RLIMIT_FSIZE, &previous);
  EXPECT_EQ(verdict, NewWindowVerdict::kLetThrough);
  const std::string notice = testing::OpenWindows::Notice(windows)->Label1.Caption();
  EXPECT_NE(notice.find("\"" + site + "\" was added to the allowed list, but the list file could not be written"),
            std::string::npos)
      << notice;
  EXPECT_EQ(notice.find("could not be added"), std::string::npos) << notice;
  EXPECT_EQ(List1.List(List1.ListCount() - 1), site);
}

TEST_F(SetupPrompt, WithTheSkinOnItsLabelsGetSkinCopiesAndTheWindowTheSkin) {
  SkinObject skn;
  skin.objSkin = &skn;
  branding.boolSkin = true;
  Request("http://skin.example/", [&] {
    Form3& prompt = Prompt();
    int copies = 0;
    for (const auto& control : prompt.Controls()) {
      if (control->Kind() != ui::ControlKind::kSkinLabel) continue;
      const auto& label = static_cast<const ui::SkinLabel&>(*control);
      if (label.Index() == 0) continue;
      ++copies;
      EXPECT_TRUE(label.Caption() == prompt.Label1.Caption() || label.Caption() == "Current Site:");
    }
    EXPECT_EQ(copies, 2);
    EXPECT_EQ(prompt.BackColor(), skn.BackColor);
    EXPECT_EQ(prompt.Command1.BackColor(), skn.BackColor);
    prompt.Command4.Click();
  });
}

TEST_F(SetupPrompt, WithTheSkinOffNothingIsCopiedOrColoured) {
  Request("http://plain.example/", [&] {
    Form3& prompt = Prompt();
    for (const auto& control : prompt.Controls()) {
      EXPECT_FALSE(control->BackColor()) << control->Name();
      if (control->Kind() == ui::ControlKind::kSkinLabel) {
        EXPECT_EQ(static_cast<const ui::SkinLabel&>(*control).Index(), 0);
      }
    }
    EXPECT_FALSE(prompt.BackColor());
    prompt.Command4.Click();
  });
}

}  // namespace
}  // namespace quellix
