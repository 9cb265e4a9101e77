#include "configtool/pages/mode_page.h"

#include "configtool/app/radyn_prop_sheet.h"
#include "configtool/res/dialogs.h"

namespace k470 {

COperationModePage::COperationModePage(CRadynPropSheet& sheet, CComPort& port, CStationSession& session)
    : CPropertyPage(sheet.Host(), IDD_MODE_PAGE), sheet_(sheet), port_(port), session_(session) {}

}  // namespace k470
