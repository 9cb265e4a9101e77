// Work that must happen even when the process ends with _exit (the close
// watchdog, the shutdown after a fatal adapter answer): removing the lock
// files of held serial ports, above all.
#pragma once

#include <functional>

namespace k470 {

// Returns a handle for RemoveExitHook.
int AddExitHook(std::function<void()> hook);
void RemoveExitHook(int handle);
// Runs every hook once, newest first; later calls do nothing more.
void RunExitHooks();

}  // namespace k470
