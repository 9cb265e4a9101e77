// Hooks of the real program for demonstrations, scripts and end-to-end
// tests. None of them changes what the user sees.
//
// - K470_SCREENSHOT=<file.png>: the first time an adapter found by the
//   detection or a port change has been read, the sheet is grabbed into
//   that PNG, and <file.png>.txt gets what the pages show (one "key=value"
//   line each), so a script can check the result without a display. The
//   text file is written last and renamed into place: once it exists, both
//   files are complete.
// - SIGTERM, SIGINT, SIGHUP: the sheet's close path (as the close box), so
//   an adapter in its configuration state is returned to its operating
//   state before the program ends, and the close watchdog still ends it
//   within two seconds.
#pragma once

#include <string>

namespace k470 {

class CConfigApp;
class CRadynPropSheet;

// What the pages show, one "key=value" line each: port, port_state,
// radio_state, data_connection, partner, product, station_name, mode,
// title. Values are UTF-8; line breaks inside a value become blanks.
std::string DescribeSheet(CRadynPropSheet& sheet);

// Writes the PNG and the text file; false when either could not be written.
bool WriteSheetSnapshot(CRadynPropSheet& sheet, const std::string& pngPath);

// Arms the snapshot on the sheet's connection page (before the sheet runs).
void InstallScreenshotHook(CRadynPropSheet& sheet, const std::string& pngPath);

// Routes the termination signals to the main sheet's close path. Call once,
// after the QApplication exists.
void CloseOnTerminationSignals(CConfigApp& app);

}  // namespace k470
