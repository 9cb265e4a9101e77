// COperationModePage: the operating-mode page ("Betriebsart", template 101)
// - the adapter's operating mode and its own line settings.
#pragma once

#include "configtool/app/property_page.h"

namespace k470 {

class CRadynPropSheet;
class CComPort;
class CStationSession;

class COperationModePage : public CPropertyPage {
 public:
  // None of the references is owned.
  COperationModePage(CRadynPropSheet& sheet, CComPort& port, CStationSession& session);

 protected:
  CRadynPropSheet& sheet_;
  CComPort& port_;
  CStationSession& session_;
};

}  // namespace k470
