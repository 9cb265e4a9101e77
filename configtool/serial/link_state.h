#pragma once

#include <cstdint>

namespace k470 {

// State of the serial link, kept by the port and also written by the session.
enum LinkState : int32_t {
  LINK_IDLE = 0,        // nothing open, or reset
  LINK_NO_PORT = 1,     // the port could not be opened
  LINK_NO_STATION = 2,  // no station answers the line signals
  LINK_OPEN = 3,        // port open, reader running, station not identified yet
  LINK_NO_ANSWER = 4,   // the station does not answer commands
  LINK_CONFIG = 5,      // the station is in its configuration state
};

}  // namespace k470
