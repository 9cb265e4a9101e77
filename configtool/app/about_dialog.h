// CAboutDialog: the About box - program icon, name and version, and what
// the program is for with the product name of the attached station.
#pragma once

#include <string>

#include "configtool/app/dialog.h"

namespace k470 {

class CAboutDialog : public CDialog {
 public:
  // productName: the local station's product name.
  CAboutDialog(IHost& host, CWindow* parent, std::string productName);

  // "Info über K470prop": the menu text without its trailing periods and
  // blanks and without '&', a blank and the program name.
  static std::string MakeCaption(const std::string& menuText, const std::string& programName);
  std::string VersionText() const;
  std::string DescriptionText() const;

 protected:
  bool OnInitDialog() override;

 private:
  std::string productName_;
};

}  // namespace k470
