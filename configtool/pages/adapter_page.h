// CAdapterPage: one station's identity and registrations (template 102). The
// sheet makes two: "Lokale Station" for the adapter at the PC and
// "Partnerstation" for its radio partner; the caption decides the role.
#pragma once

#include <cstdint>

#include "configtool/app/property_page.h"

namespace k470 {

class CRadynPropSheet;
class CComPort;
class CStationSession;

class CAdapterPage : public CPropertyPage {
 public:
  // captionId: IDS_PAGE_LOCAL makes the local-station page, any other id the
  // partner-station page. None of the references is owned.
  CAdapterPage(CRadynPropSheet& sheet, CComPort& port, CStationSession& session, uint32_t captionId);

  bool IsLocal() const { return isLocal_ != 0; }

 protected:
  CRadynPropSheet& sheet_;
  CComPort& port_;
  CStationSession& session_;
  int isLocal_;
};

}  // namespace k470
