#include "ui/skin/mod_skin.h"

#include <gtest/gtest.h>

#include <array>
#include <memory>

#include "platform/message_pump.h"
#include "tests/scripted_page_engine/scripted_page_engine.h"
#include "ui/controls/headless/headless_ui.h"
#include "ui/controls/skin_label.h"
#include "ui/controls/web_browser.h"

namespace quellix {
namespace {

using ui::TwipsRect;

constexpr ui::Color kBack = SkinRgb(1, 2, 3);
constexpr ui::Color kFore = SkinRgb(4, 5, 6);
constexpr ui::Color kPanel = SkinRgb(7, 8, 9);

ui::FormStyle Style() {
  ui::FormStyle style;
  style.class_name = "Quellix.SkinTest";
  style.client_width = 6000;
  style.client_height = 4000;
  return style;
}

class Skin : public ::testing::Test {
 protected:
  void SetUp() override {
    ui::headless::ResetSystem();
    pages.Install();
  }
  testing::ScriptedPageEngine pages;
  std::unique_ptr<ui::Toolkit> toolkit = ui::CreateToolkit();
};

TEST_F(Skin, ColorControlsColoursEachControlByItsType) {
  ui::Form form(*toolkit, Style());
  auto& text = form.Add<ui::TextBox>("Text1", TwipsRect{}, nullptr);
  auto& list = form.Add<ui::ListBoxControl>("List1", TwipsRect{}, nullptr);
  auto& button = form.Add<ui::Button>("Command1", TwipsRect{}, nullptr, "Add");
  auto& picture = form.Add<ui::PictureBox>("Picture1", TwipsRect{}, nullptr);
  auto& frame = form.Add<ui::Frame>("Frame1", TwipsRect{}, "Frame");
  auto& label = form.Add<ui::Label>("Label1", TwipsRect{}, &frame, "label");
  auto& check = form.Add<ui::CheckBox>("Check1", TwipsRect{}, &frame);
  auto& browser = form.Add<ui::WebBrowser>("WebBrowser1", TwipsRect{}, nullptr);

  modSkin::ColorControls(form, kBack, kFore, kPanel);

  EXPECT_EQ(text.BackColor(), kBack);
  EXPECT_EQ(text.ForeColor(), kFore);
  EXPECT_EQ(list.BackColor(), kBack);
  EXPECT_EQ(list.ForeColor(), kFore);
  EXPECT_EQ(button.BackColor(), kBack);
  EXPECT_FALSE(button.ForeColor());
  EXPECT_EQ(picture.BackColor(), kPanel);
  EXPECT_FALSE(picture.ForeColor());
  for (const ui::Control* untouched : {static_cast<ui::Control*>(&frame), static_cast<ui::Control*>(&label),
                                       static_cast<ui::Control*>(&check), static_cast<ui::Control*>(&browser)}) {
    EXPECT_FALSE(untouched->BackColor()) << untouched->Name();
    EXPECT_FALSE(untouched->ForeColor()) << untouched->Name();
  }
}

// Two frames, each with its own template array, and a label outside both.
struct TwoFrameWindow {
  explicit TwoFrameWindow(ui::Toolkit& toolkit) : form(toolkit, Style()) {
    options = &form.Add<ui::Frame>("Frame2", TwipsRect{60, 1080, 7515, 1755}, "Program Options");
    sites = &form.Add<ui::Frame>("Frame1", TwipsRect{60, 2880, 7515, 3675}, "Website Settings");
    form.Add<ui::SkinLabel>("SkinLabel1", 0, TwipsRect{}, options).SetVisible(false);
    form.Add<ui::SkinLabel>("SkinLabel2", 0, TwipsRect{}, sites).SetVisible(false);
    in_options = &form.Add<ui::Label>("Label5", TwipsRect{360, 240, 7035, 255}, options, "Popup Blocking");
    in_sites = &form.Add<ui::Label>("Label3", TwipsRect{120, 255, 1815, 255}, sites, "Allowed Sites:");
    hidden_in_sites = &form.Add<ui::Label>("Label1", TwipsRect{3780, 255, 1815, 255}, sites, "Disallowed Sites:");
    hidden_in_sites->SetVisible(false);
    hidden_in_sites->SetFont({"Verdana", 10, true});
    outside = &form.Add<ui::Label>("Label9", TwipsRect{0, 0, 100, 100}, nullptr, "outside");
  }
  std::vector<const ui::SkinLabel*> Elements(const std::string& array) const {
    std::vector<const ui::SkinLabel*> found;
    for (const auto& control : form.Controls()) {
      if (control->Kind() == ui::ControlKind::kSkinLabel && control->Name() == array) {
        found.push_back(static_cast<const ui::SkinLabel*>(control.get()));
      }
    }
    return found;
  }
  ui::Form form;
  ui::Frame* options;
  ui::Frame* sites;
  ui::Label* in_options;
  ui::Label* in_sites;
  ui::Label* hidden_in_sites;
  ui::Label* outside;
};

TEST_F(Skin, CopySkinLabelsTakesTheTemplateOfTheLabelsContainer) {
  TwoFrameWindow window(*toolkit);
  EXPECT_EQ(modSkin::CopySkinLabels(window.form, {"SkinLabel1", "SkinLabel2"}), 3);

  const auto first = window.Elements("SkinLabel1");
  ASSERT_EQ(first.size(), 2u);
  EXPECT_EQ(first[1]->Index(), 1);
  EXPECT_EQ(first[1]->Caption(), "Popup Blocking");
  EXPECT_EQ(first[1]->Container(), window.options);

  const auto second = window.Elements("SkinLabel2");
  ASSERT_EQ(second.size(), 3u);
  EXPECT_EQ(second[1]->Index(), 1);
  EXPECT_EQ(second[1]->Caption(), "Allowed Sites:");
  EXPECT_EQ(second[1]->Container(), window.sites);
  const ui::TwipsRect rect = second[1]->Rect();
  EXPECT_EQ((std::array{rect.Left, rect.Top, rect.Width, rect.Height}), (std::array{120, 255, 1815, 255}));
  EXPECT_TRUE(second[1]->Visible());
  EXPECT_EQ(second[2]->Index(), 2);
  EXPECT_FALSE(second[2]->Visible());
  ASSERT_TRUE(second[2]->Font());
  EXPECT_EQ(second[2]->Font()->points, 10);

  // The plain labels stay as they were.
  EXPECT_EQ(window.in_sites->Caption(), "Allowed Sites:");
  EXPECT_TRUE(window.in_sites->Visible());
  EXPECT_EQ(window.form.FindControl("Label9"), window.outside);

  // A second load of the same window's labels goes on above the highest index.
  EXPECT_EQ(modSkin::CopySkinLabels(window.form, {"SkinLabel2"}), 2);
  EXPECT_EQ(window.Elements("SkinLabel2").back()->Index(), 4);
}

TEST_F(Skin, CopySkinLabelsWithoutTemplatesCopiesNothing) {
  TwoFrameWindow window(*toolkit);
  EXPECT_EQ(modSkin::CopySkinLabels(window.form, {"NoSuchArray"}), 0);
  EXPECT_EQ(window.Elements("SkinLabel1").size(), 1u);
}

TEST_F(Skin, BannerHidesAStripOfTheCutOnTheRightInPixelsOrTwips) {
  for (auto [units, cut] : {std::pair{ScaleUnits::kPixels, 20}, std::pair{ScaleUnits::kTwips, 280},
                            std::pair{ScaleUnits::kOther, 280}}) {
    ui::Form form(*toolkit, Style());
    auto& banner = form.Add<ui::WebBrowser>("wbBanner", TwipsRect{60, 90, 7470, 900}, nullptr);
    banner.SetVisible(false);
    auto& picture = form.Add<ui::WebBrowser>("wbPicture", TwipsRect{60, 90, 7470, 900}, nullptr);
    std::vector<std::string> begun;
    banner.OnDownloadBegin = [&] { begun.emplace_back("begin"); };

    modSkin skin;
    ASSERT_TRUE(skin.ShowBanner(form, units, "banner.quellix.example"));
    ASSERT_NE(skin.picBox, nullptr);
    EXPECT_EQ(skin.picBox->Name(), "picBox");
    EXPECT_EQ(skin.picBox->Rect().Left, 60);
    EXPECT_EQ(skin.picBox->Rect().Top, 90);
    EXPECT_EQ(skin.picBox->Rect().Width, 7470 - cut);
    EXPECT_EQ(skin.picBox->Rect().Height, 900);
    EXPECT_EQ(banner.Container(), skin.picBox);
    EXPECT_EQ(banner.Rect().Left, 0);
    EXPECT_EQ(banner.Rect().Top, 0);
    EXPECT_EQ(banner.Rect().Width, 7470);
    EXPECT_TRUE(banner.Visible());
    EXPECT_FALSE(picture.Visible());
    EXPECT_EQ(begun.size(), 1u);
  }
}

TEST_F(Skin, BannerNeedsBothBrowsers) {
  ui::Form form(*toolkit, Style());
  form.Add<ui::WebBrowser>("wbBanner", TwipsRect{}, nullptr);
  modSkin skin;
  EXPECT_FALSE(skin.ShowBanner(form, ScaleUnits::kTwips, "x"));
  EXPECT_EQ(skin.picBox, nullptr);
}

// A splash window as the recovery sees it: creating it runs a load step that
// sets the shared skin object and enables the timer last.
class ScriptedSplash : public SplashWindowAccess {
 public:
  ScriptedSplash(modSkin& skin, const SkinObject& skn) : skin_(skin), skn_(skn) {}
  bool SplashExists() const override { return exists; }
  void CreateSplash() override {
    ++created;
    exists = true;
    if (sets_skin) skin_.objSkin = &skn_;
    timer = true;
  }
  bool SplashTimerEnabled() const override { return timer; }
  void DisableSplashTimerAndHide() override {
    timer = false;
    hidden = true;
  }
  bool exists = false;
  bool timer = false;
  bool hidden = false;
  bool sets_skin = true;
  int created = 0;

 private:
  modSkin& skin_;
  const SkinObject& skn_;
};

TEST_F(Skin, SkinFormColoursFirstThenAppliesTheSkin) {
  ui::Form form(*toolkit, Style());
  auto& text = form.Add<ui::TextBox>("Text1", TwipsRect{}, nullptr);
  auto& frame = form.Add<ui::Frame>("Frame1", TwipsRect{}, "f");
  auto& copy = form.Add<ui::SkinLabel>("SkinLabel1", 1, TwipsRect{}, nullptr);
  SkinObject skn;
  modSkin skin;
  skin.objSkin = &skn;
  ASSERT_TRUE(skin.SkinForm(form));
  EXPECT_EQ(form.BackColor(), SkinRgb(154, 182, 194));
  EXPECT_EQ(text.BackColor(), SkinRgb(154, 182, 194));
  EXPECT_EQ(text.ForeColor(), SkinRgb(0, 0, 0));
  EXPECT_EQ(frame.BackColor(), SkinRgb(154, 182, 194));
  EXPECT_EQ(copy.BackColor(), skn.PanelColor);
  EXPECT_EQ(copy.ForeColor(), skn.PanelTextColor);
}

TEST_F(Skin, RecoveryBringsBackTheSplashForItsSkinAndStopsItsTimer) {
  ui::Form form(*toolkit, Style());
  SkinObject skn;
  modSkin skin;
  ScriptedSplash splash(skin, skn);
  skin.SetSplash(&splash);
  ASSERT_TRUE(skin.SkinForm(form));
  EXPECT_EQ(splash.created, 1);
  EXPECT_FALSE(splash.timer);  // never reaches its tick that opens a main window
  EXPECT_TRUE(splash.hidden);
  EXPECT_EQ(form.BackColor(), skn.BackColor);
}

TEST_F(Skin, RecoveryWithTheSplashStillThereEndsWithoutWaiting) {
  ui::Form form(*toolkit, Style());
  SkinObject skn;
  modSkin skin;
  ScriptedSplash splash(skin, skn);
  splash.exists = true;  // loaded, its timer long stopped, its skin object lost
  skin.SetSplash(&splash);
  EXPECT_FALSE(skin.SkinForm(form));
  EXPECT_EQ(splash.created, 0);
  EXPECT_TRUE(splash.hidden);
  EXPECT_FALSE(form.BackColor());
}

TEST_F(Skin, SupportObjectIsMadeOnceOnFirstUseAndStartsOnlyWithASkin) {
  int made = 0;
  modSkin skin([&made] {
    ++made;
    return std::make_unique<LocalSkinSupport>();
  });
  EXPECT_EQ(made, 0);
  EXPECT_FALSE(skin.SupportObject().Start());  // no skin to serve
  SkinObject skn;
  skin.SupportObject().SetSkin(&skn);
  EXPECT_TRUE(skin.SupportObject().Start());
  skin.SupportObject().Stop();
  EXPECT_EQ(made, 1);
}

}  // namespace
}  // namespace quellix
