// Message values, operation codes, refresh flags and message-box constants
// shared by every layer. The values are those of the Windows program this
// tool grew from; posted-message order and re-entry during message boxes
// are part of the behaviour, so we keep the window-message model.
#pragma once

#include <cstdint>

namespace k470 {

// ---- window messages -------------------------------------------------------
constexpr uint32_t WM_COMMAND = 0x0111;
constexpr uint32_t WM_TIMER = 0x0113;
constexpr uint32_t WM_APP = 0x8000;

// Thread message from the reader: data waiting in the receive queue.
constexpr uint32_t WM_SERIAL_RECEIVED = WM_APP + 0x64;  // 0x8064
// To the sheet with refresh flags; re-posted to the pages with wParam 0.
constexpr uint32_t WM_REFRESH_VIEWS = WM_APP + 0x65;  // 0x8065
// From the session to the window that asked for an operation; wParam = success.
constexpr uint32_t WM_OPERATION_DONE = WM_APP + 0x66;  // 0x8066
// From the wait dialog to the sheet: the user pressed Cancel.
constexpr uint32_t WM_OPERATION_CANCEL = WM_APP + 0x67;  // 0x8067

// Control notification codes carried in the high word of WM_COMMAND's wParam.
constexpr uint32_t BN_CLICKED = 0;
constexpr uint32_t CBN_SELCHANGE = 1;
constexpr uint32_t EN_CHANGE = 0x0300;
constexpr uint32_t EN_UPDATE = 0x0400;
constexpr uint32_t EN_KILLFOCUS = 0x0200;

constexpr uintptr_t MakeWParam(uint32_t low, uint32_t high) {
  return static_cast<uintptr_t>((low & 0xFFFFu) | ((high & 0xFFFFu) << 16));
}
constexpr uint32_t LowWord(uintptr_t value) { return static_cast<uint32_t>(value & 0xFFFFu); }
constexpr uint32_t HighWord(uintptr_t value) { return static_cast<uint32_t>((value >> 16) & 0xFFFFu); }

// ---- user operations (the sheet's busy slot) ----------------------------------
enum OperationCode : int32_t {
  OP_IDLE = 0,
  OP_START = 1,
  OP_REOPEN = 2,
  OP_SWITCH_PORT = 3,
  OP_REGISTER = 4,
  OP_BASE_READY = 5,
  OP_DEREGISTER = 6,
  OP_CHANGE_PIN = 7,
  OP_CHANGE_TYPE = 8,
  OP_CLOSE = 9,
  OP_REGISTER_TYPE = 10,
  OP_CHECK_TYPE = 11,
  OP_FACTORY_RESET = 12,
};

// ---- refresh flags of WM_REFRESH_VIEWS ----------------------------------------
constexpr uint32_t REFRESH_PORT = 0x01;
constexpr uint32_t REFRESH_CONNECTION = 0x02;
constexpr uint32_t REFRESH_MODE = 0x04;
constexpr uint32_t REFRESH_LOCAL = 0x08;
constexpr uint32_t REFRESH_PARTNER = 0x10;

// A 32-bit word whose bits 0 to 4 are the five refresh flags; the higher bits
// are left as the caller had them.
struct RefreshFlags {
  uint32_t bits = 0;
  RefreshFlags() = default;
  RefreshFlags(bool port, bool connection, bool mode, bool local, bool partner, uint32_t high = 0)
      : bits((high & ~0x1Fu) | (port ? REFRESH_PORT : 0) | (connection ? REFRESH_CONNECTION : 0) |
             (mode ? REFRESH_MODE : 0) | (local ? REFRESH_LOCAL : 0) | (partner ? REFRESH_PARTNER : 0)) {}
  operator uint32_t() const { return bits; }
};

// ---- message boxes ----------------------------------------------------------
constexpr unsigned MB_OK = 0x0;
constexpr unsigned MB_OKCANCEL = 0x1;
constexpr unsigned MB_YESNO = 0x4;
constexpr unsigned MB_RETRYCANCEL = 0x5;
constexpr unsigned MB_TYPEMASK = 0xF;
constexpr unsigned MB_ICONSTOP = 0x10;
constexpr unsigned MB_ICONERROR = MB_ICONSTOP;
constexpr unsigned MB_ICONQUESTION = 0x20;
constexpr unsigned MB_ICONWARNING = 0x30;
constexpr unsigned MB_ICONEXCLAMATION = MB_ICONWARNING;
constexpr unsigned MB_ICONINFORMATION = 0x40;
constexpr unsigned MB_ICONASTERISK = MB_ICONINFORMATION;
constexpr unsigned MB_ICONMASK = 0xF0;

constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDRETRY = 4;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

// The default beep (MessageBeep(0)).
constexpr unsigned BEEP_DEFAULT = 0;

}  // namespace k470
