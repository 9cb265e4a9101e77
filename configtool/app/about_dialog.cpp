#include "configtool/app/about_dialog.h"

#include <QLabel>

#include "configtool/app/program_icons.h"
#include "configtool/platform/text.h"
#include "configtool/platform/version.h"
#include "configtool/res/string_table.h"

namespace k470 {

CAboutDialog::CAboutDialog(IHost& host, CWindow* parent, std::string productName)
    : CDialog(host, IDD_ABOUT, parent), productName_(std::move(productName)) {}

std::string CAboutDialog::MakeCaption(const std::string& menuText, const std::string& programName) {
  std::string text = menuText;
  while (!text.empty() && text.back() == '.') text.pop_back();
  while (!text.empty() && text.back() == ' ') text.pop_back();
  std::string caption;
  for (char c : text) {
    if (c != '&') caption += c;
  }
  return caption + " " + programName;
}

std::string CAboutDialog::VersionText() const {
  uint32_t ms = 0;
  char letter = ' ';
  GetProgramVersion(ms, letter);
  return FormatAboutVersion(Host().ProgramName(), ms, letter);
}

std::string CAboutDialog::DescriptionText() const {
  return Format(LoadString(IDS_ABOUT_DESCRIPTION).c_str(), productName_.c_str());
}

bool CAboutDialog::OnInitDialog() {
  SetWindowText(MakeCaption(LoadString(IDS_SHEET_ABOUT_ITEM), Host().ProgramName()));
  SetDlgItemText(IDC_ABOUT_VERSION, VersionText());
  SetDlgItemText(IDC_ABOUT_DESCRIPTION, DescriptionText());
  if (auto* icon = qobject_cast<QLabel*>(GetDlgItem(IDC_ABOUT_ICON))) icon->setPixmap(ProgramIconPixmap());
  CenterWindow();
  return true;
}

}  // namespace k470
