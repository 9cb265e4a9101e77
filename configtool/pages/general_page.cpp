#include "configtool/pages/general_page.h"

#include "configtool/app/radyn_prop_sheet.h"
#include "configtool/platform/app_settings.h"
#include "configtool/platform/settings_store.h"
#include "configtool/protocol/station_session.h"
#include "configtool/res/dialogs.h"

namespace k470 {

CGeneralPage::CGeneralPage(CRadynPropSheet& sheet, CComPort& port, CStationSession& session)
    : CPropertyPage(sheet.Host(), IDD_GENERAL_PAGE), sheet_(sheet), port_(port), session_(session) {}

bool CGeneralPage::OnInitDialog() {
  SettingsStore store = SettingsStore::AtDefaultPath();
  const DefaultNames names = CAppSettings(store).LoadDefaultNames();
  session_.SetDefaultNames(names.productName, names.vendorName, names.deviceName, names.deviceNameUsb);
  return true;
}

}  // namespace k470
