// CGeneralPage: the connection page ("Verbindung", template 100) - the port,
// the link, the radio and the data connection.
#pragma once

#include "configtool/app/property_page.h"

namespace k470 {

class CRadynPropSheet;
class CComPort;
class CStationSession;

class CGeneralPage : public CPropertyPage {
 public:
  // None of the references is owned.
  CGeneralPage(CRadynPropSheet& sheet, CComPort& port, CStationSession& session);

  // When 1, the next refresh that finds the partner's data connection held
  // by another station tells the user so, once.
  void SetReportOccupied(int flag) { reportOccupied_ = flag; }
  int GetReportOccupied() const { return reportOccupied_; }

 protected:
  // Loads the default names of the settings into the session, so the
  // titles carry the product name from the first frame on.
  bool OnInitDialog() override;

  CRadynPropSheet& sheet_;
  CComPort& port_;
  CStationSession& session_;
  int reportOccupied_ = 1;
};

}  // namespace k470
