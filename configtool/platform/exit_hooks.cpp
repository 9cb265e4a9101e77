#include "configtool/platform/exit_hooks.h"

#include <map>
#include <mutex>

namespace k470 {
namespace {

std::mutex& HookLock() {
  static std::mutex lock;
  return lock;
}

std::map<int, std::function<void()>>& Hooks() {
  static std::map<int, std::function<void()>> hooks;
  return hooks;
}

int g_nextHandle = 1;

}  // namespace

int AddExitHook(std::function<void()> hook) {
  std::lock_guard guard(HookLock());
  int handle = g_nextHandle++;
  Hooks().emplace(handle, std::move(hook));
  return handle;
}

void RemoveExitHook(int handle) {
  std::lock_guard guard(HookLock());
  Hooks().erase(handle);
}

void RunExitHooks() {
  std::map<int, std::function<void()>> hooks;
  {
    std::lock_guard guard(HookLock());
    hooks.swap(Hooks());
  }
  for (auto it = hooks.rbegin(); it != hooks.rend(); ++it) it->second();
}

}  // namespace k470
