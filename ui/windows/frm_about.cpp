#include "ui/windows/frm_about.h"

namespace quellix {
namespace {

using ui::TwipsRect;

// Below the three values the window carries its notice; the designed client
// area had no room for it, so it is that much taller.
constexpr int kNoticeTop = 2535;
constexpr int kNoticeHeight = 630;

ui::FormStyle AboutStyle() {
  ui::FormStyle style;
  style.class_name = "Quellix.frmAbout";
  style.caption = "frmAbout";
  style.client_width = 7455;
  style.client_height = kNoticeTop + kNoticeHeight + 120;
  style.font = {"Verdana", 8, false};
  style.icon_resource = ui::kProgramIconResource;
  return style;
}

ui::FontSpec ValueFont() { return {"Verdana", 8, true}; }
constexpr ui::Color kBlue = 0x00FF0000;
// The flat colour of the header picture, so that the name sits on it seamlessly.
constexpr ui::Color kHeaderColor = 0x00BD6F2A;
constexpr ui::Color kWhite = 0x00FFFFFF;

constexpr const char* kNotice =
    "This program and its help text are the property of their publisher and are protected by copyright law. "
    "You may use the program and give away unchanged copies of it; all other rights are reserved.";

ui::Label& BoldLabel(ui::Form& form, const char* name, TwipsRect rect, const char* caption) {
  auto& label = form.Add<ui::Label>(name, rect, nullptr, caption);
  label.SetFont(ValueFont());
  return label;
}

}  // namespace

frmAbout::frmAbout(frmAboutEnvironment environment)
    : ui::Form(environment.toolkit, AboutStyle()),
      Picture1(Add<ui::Image>("Picture1", TwipsRect{0, 0, 7515, 1035}, "ABOUT_HEADER", "")),
      Label1(Add<ui::Label>("Label1", TwipsRect{120, 300, 5655, 435}, nullptr, "Your Program Name")),
      Label2(BoldLabel(*this, "Label2", TwipsRect{180, 1260, 2295, 315}, "Version:")),
      Label3(BoldLabel(*this, "Label3", TwipsRect{180, 1680, 2295, 315}, "Owned By:")),
      Label4(BoldLabel(*this, "Label4", TwipsRect{180, 2100, 2295, 315}, "Website:")),
      lblVersion(BoldLabel(*this, "lblVersion", TwipsRect{2580, 1260, 4635, 315}, "Version:")),
      lblCompany(BoldLabel(*this, "lblCompany", TwipsRect{2580, 1680, 4635, 315}, "Owned By:")),
      lblWebsite(BoldLabel(*this, "lblWebsite", TwipsRect{2580, 2100, 4635, 315}, "Website:")),
      Label5(Add<ui::Label>("Label5", TwipsRect{180, kNoticeTop, 7095, kNoticeHeight}, nullptr, kNotice)),
      SkinLabel1(Add<ui::SkinLabel>("SkinLabel1", 0, TwipsRect{}, nullptr)),
      env_(std::move(environment)) {
  Label1.SetFont({"Verdana", 14, true});
  Label1.SetBackColor(kHeaderColor);
  Label1.SetForeColor(kWhite);
  lblWebsite.SetForeColor(kBlue);
  lblWebsite.OnClick = [this] { lblWebsite_Click(); };
  Label5.SetFont({"Verdana", 7, false});
  SkinLabel1.SetVisible(false);
  OnUnload = [this] { Hide(); };
  Form_Load();
}

std::string frmAbout::VersionText(const platform::VersionInfo& version) {
  return std::to_string(version.major) + "." + std::to_string(version.minor);
}

void frmAbout::Form_Load() {
  StartLoad();
  SetCaption("About " + env_.branding.strProgramName);
  const platform::VersionInfo version =
      env_.read_version ? env_.read_version() : platform::ReadOwnVersionInfo();
  Label1.SetCaption(version.ProductName);
  lblCompany.SetCaption(version.CompanyName);
  lblVersion.SetCaption(VersionText(version));
  lblWebsite.SetCaption(version.Comments);
  if (env_.branding.boolSkin) {
    // A window left unskinned is still an About window.
    modSkin::CopySkinLabels(*this, {"SkinLabel1"});
    (void)env_.skin.SkinForm(*this);
  }
}

void frmAbout::lblWebsite_Click() {
  if (env_.open_website) env_.open_website();
}

}  // namespace quellix
