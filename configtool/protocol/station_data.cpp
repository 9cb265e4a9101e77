#include "configtool/protocol/station_data.h"

#include "configtool/res/string_table.h"

namespace k470 {
namespace {

// The mode, bit-rate and flow-control values equal their row numbers, so
// the values the adapter reports double as row indexes on the pages.
constexpr OptionRow kModes[] = {
    {0, IDS_OPT_MODE_DIRECT}, {1, IDS_OPT_MODE_AT_PC},      {2, IDS_OPT_MODE_AT_MODEM},
    {3, IDS_OPT_MODE_AVM_PC}, {4, IDS_OPT_MODE_AVM_DEVICE},
};

constexpr OptionRow kBitRates[] = {
    {0, IDS_OPT_RATE_300},    {1, IDS_OPT_RATE_600},   {2, IDS_OPT_RATE_1200},  {3, IDS_OPT_RATE_2400},
    {4, IDS_OPT_RATE_4800},   {5, IDS_OPT_RATE_9600},  {6, IDS_OPT_RATE_14400}, {7, IDS_OPT_RATE_19200},
    {8, IDS_OPT_RATE_38400},  {9, IDS_OPT_RATE_57600}, {10, IDS_OPT_RATE_115200},
};

constexpr OptionRow kDataBits[] = {{7, IDS_OPT_DATA_BITS_7}, {8, IDS_OPT_DATA_BITS_8}};

constexpr OptionRow kParities[] = {
    {'N', IDS_OPT_PARITY_NONE}, {'E', IDS_OPT_PARITY_EVEN}, {'O', IDS_OPT_PARITY_ODD}};

constexpr OptionRow kStopBits[] = {{1, IDS_OPT_STOP_BITS_1}, {2, IDS_OPT_STOP_BITS_2}};

constexpr OptionRow kFlowControls[] = {
    {0, IDS_OPT_FLOW_NONE},       {1, IDS_OPT_FLOW_XON_XOFF},      {2, IDS_OPT_FLOW_RTS_CTS},
    {3, IDS_OPT_FLOW_DTR_DSR},    {4, IDS_OPT_FLOW_UNIDIR_PC},     {5, IDS_OPT_FLOW_UNIDIR_DEVICE},
    {6, IDS_OPT_FLOW_XON_RTS},
};

}  // namespace

constinit const OptionTable OperatingModeTable{kModes};
constinit const OptionTable BitRateTable{kBitRates};
constinit const OptionTable DataBitsTable{kDataBits};
constinit const OptionTable ParityTable{kParities};
constinit const OptionTable StopBitsTable{kStopBits};
constinit const OptionTable FlowControlTable{kFlowControls};

std::string OptionTable::GetText(int row) const { return HasRow(row) ? LoadString(GetTextId(row)) : std::string(); }

}  // namespace k470
