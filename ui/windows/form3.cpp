#include "ui/windows/form3.h"

#include "core/allow_always.h"

namespace quellix {
namespace {

using ui::TwipsRect;

constexpr int kButtonTop = 1560;
constexpr int kButtonWidth = 1500;
constexpr int kButtonHeight = 495;

ui::FormStyle PromptStyle() {
  ui::FormStyle style;
  style.class_name = "Quellix.Form3";
  style.caption = "Popup Detected!";
  style.client_width = 6480;
  style.client_height = kButtonTop + kButtonHeight + 120;
  style.font = {"Verdana", 8, false};
  style.icon_resource = ui::kProgramIconResource;
  style.escape_closes = true;  // closing blocks, as the close button does
  return style;
}

constexpr const char* kExplanation =
    "While in setup mode you can choose to allow or block new windows from certain sites.  Chosing either "
    "\"Always\" option will prevent you from seeing this prompt again for the current site, and add it to your "
    "allowed or disallowed list.";

}  // namespace

Form3::Form3(Form3Environment environment)
    : ui::Form(environment.toolkit, PromptStyle()),
      Label1(Add<ui::Label>("Label1", TwipsRect{120, 120, 6240, 855}, nullptr, kExplanation)),
      Label3(Add<ui::Label>("Label3", TwipsRect{120, 1110, 1335, 255}, nullptr, "Current Site:")),
      Text1(Add<ui::TextBox>("Text1", TwipsRect{1500, 1065, 4860, 315}, nullptr)),
      Command1(Add<ui::Button>("Command1", TwipsRect{120, kButtonTop, kButtonWidth, kButtonHeight}, nullptr,
                               "Allow Always")),
      Command2(Add<ui::Button>("Command2", TwipsRect{1700, kButtonTop, kButtonWidth, kButtonHeight}, nullptr,
                               "Block Always")),
      Command3(Add<ui::Button>("Command3", TwipsRect{3280, kButtonTop, kButtonWidth, kButtonHeight}, nullptr,
                               "Allow Now")),
      Command4(Add<ui::Button>("Command4", TwipsRect{4860, kButtonTop, kButtonWidth, kButtonHeight}, nullptr,
                               "Block Now")),
      SkinLabel1(Add<ui::SkinLabel>("SkinLabel1", 0, TwipsRect{}, nullptr)),
      env_(std::move(environment)) {
  SkinLabel1.SetVisible(false);
  Command1.SetToolTipText(
      "allow this site to display popups.  you will not see this window again for this site.");
  Command2.SetToolTipText(
      "prevents this site from displaying popups.  you will not see this window again for this site.");
  Command3.SetToolTipText(
      "ignore this prompt for now.  this window will be displayed the next time a popup window appears.");
  Command1.OnClick = [this] { Command1_Click(); };
  Command2.OnClick = [this] { Command2_Click(); };
  Command3.OnClick = [this] { Command3_Click(); };
  Command4.OnClick = [this] { Command4_Click(); };
  OnUnload = [this] { Form_Unload(); };
  Form_Load();
}

clsOnTop& Form3::OnTop() {
  if (!objOnTop) objOnTop.emplace();
  return *objOnTop;
}

void Form3::Form_Load() {
  StartLoad();
  // The prompt goes above every window, the main window included, and the
  // main window keeps its own topmost state.
  if (env_.state.boolOnTop) OnTop().MakeNormal(env_.main_window);
  Text1.SetText(env_.state.strCurrentSite);
  OnTop().MakeTopMost(hWnd());
  if (env_.state.boolOnTop) OnTop().MakeTopMost(env_.main_window);
  if (env_.branding.boolSkin) {
    modSkin::CopySkinLabels(*this, {"SkinLabel1"});
    (void)env_.skin.SkinForm(*this);  // a window left unskinned still asks its question
  }
}

void Form3::Command1_Click() {
  const std::string site = Text1.Text();
  const AllowAlwaysResult result = AllowAlways(env_.lists, site);
  // The waiting decision gets its answer whatever the list did.
  Answer(true);
  if (result.ok() || !env_.report_store_failure) return;
  env_.report_store_failure(result.Problem(site) +
                            (result.added ? "\r\nThis window was allowed." : "\r\nThis window was allowed this once."));
}

void Form3::Command2_Click() {
  const std::string site = Text1.Text();
  const StoreResult stored = env_.lists.AddDisallowed(site);
  Answer(false);
  if (!stored && env_.report_store_failure) {
    env_.report_store_failure("The site \"" + site + "\" could not be added to the disallowed list: " +
                              stored.message + "\r\nThis window was blocked this once.");
  }
}

void Form3::Command3_Click() { Answer(true); }
void Form3::Command4_Click() { Answer(false); }

void Form3::Answer(bool allow) {
  Hide();
  env_.state.boolAllowSite = allow;
  env_.state.boolAnswered = true;
  Close();
}

void Form3::Form_Unload() {
  // However the prompt goes (its close button included), the question ends;
  // without an answer boolAllowSite stays as the decision cleared it.
  env_.state.boolAnswered = true;
  Hide();
}

}  // namespace quellix
