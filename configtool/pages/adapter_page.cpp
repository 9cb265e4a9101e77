#include "configtool/pages/adapter_page.h"

#include "configtool/app/radyn_prop_sheet.h"
#include "configtool/res/dialogs.h"
#include "configtool/res/string_table.h"

namespace k470 {

CAdapterPage::CAdapterPage(CRadynPropSheet& sheet, CComPort& port, CStationSession& session, uint32_t captionId)
    : CPropertyPage(sheet.Host(), IDD_ADAPTER_PAGE, captionId),
      sheet_(sheet),
      port_(port),
      session_(session),
      isLocal_(captionId == IDS_PAGE_LOCAL ? 1 : 0) {}

}  // namespace k470
