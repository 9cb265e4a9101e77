// COperationModePage: the operating-mode page ("Betriebsart", template 101)
// - the adapter's operating mode and, for the direct mode, the settings of
// the adapter's own serial line.
//
// The lists are filled from the option tables in row order; the page works
// with row numbers only and leaves the values the adapter expects to the
// session's setting operations. Edits are collected on the page and sent
// when the sheet applies its pages; only what is set is sent (the session
// skips a row of -1). The page works only while the adapter is in its
// configuration state; otherwise everything on it is disabled and unapplied
// edits are dropped.
#pragma once

#include <cstdint>
#include <string>

#include "configtool/app/property_page.h"

namespace k470 {

class CRadynPropSheet;
class CComPort;
class CStationSession;

// Rows of the option tables the page's rules speak of.
constexpr int kModeDirect = 0;
constexpr int kDataBits7 = 0;
constexpr int kDataBits8 = 1;
constexpr int kParityNone = 0;
constexpr int kStopBits1 = 0;
constexpr int kStopBits2 = 1;
constexpr int kBitRate38400 = 8;
constexpr int kFlowRtsCts = 2;

// Only with these protocols can local flow control be chosen in the direct
// mode: RTS/CTS, DTR/DSR, XON/XOFF with RTS/CTS.
bool IsHardwareHandshakeRow(int flowControlRow);

// The character format as list positions; -1 = nothing selected.
struct CharacterFormat {
  int dataBits = -1;
  int parity = -1;
  int stopBits = -1;
  bool operator==(const CharacterFormat&) const = default;
};

// Which list of the character format the user changed.
enum class FormatList { DataBits, Parity, StopBits };

// The format after the user set one list: the other two are corrected so
// the combination stays one the adapter takes - 7E1, 7O1, 7E2, 7O2, 8N1,
// 8N2, 8E1 or 8O1: seven data bits always with a parity, eight with a
// parity only with one stop bit.
CharacterFormat CorrectCharacterFormat(CharacterFormat format, FormatList changed);

class COperationModePage : public CPropertyPage {
 public:
  // None of the references is owned.
  COperationModePage(CRadynPropSheet& sheet, CComPort& port, CStationSession& session);

  int IsModified() const override { return modified_; }
  // Also tells the sheet, which enables or disables its Apply button.
  void SetModifiedFlag(int flag) override;
  bool OnApply() override;

  // ---- what the page shows (for the sheet's hooks and for tests) ----
  int ModeIndex() const { return modeIndex_; }
  int BitRateIndex() const { return bitRateIndex_; }
  CharacterFormat CharFormat() const { return {dataBitsIndex_, parityIndex_, stopBitsIndex_}; }
  int FlowControlIndex() const { return flowControlIndex_; }
  int LocalFlowControl() const { return localFlowControl_; }
  const std::string& Explanation() const { return explanation_; }
  // The text of the selected mode; without a window, the text the page
  // would show for the adapter's mode (empty when none).
  std::string ModeText() const;

 protected:
  bool OnInitDialog() override;
  intptr_t OnRefreshViews(uintptr_t wParam, intptr_t lParam) override;
  intptr_t OnOperationDone(uintptr_t wParam, intptr_t lParam) override;
  bool OnCommand(uint32_t controlId, uint32_t code, intptr_t lParam) override;

 private:
  void DoDataExchange(bool save);
  // Enables the controls by the link and the mode, and loads the line
  // settings (or their defaults) for the direct mode.
  void EnableAndLoad(bool loadValues);
  void BuildExplanation();
  void OnModeSelected();
  void OnFormatSelected(FormatList list);
  void OnFlowControlSelected();

  CComPort& port_;
  CStationSession& session_;

  int bitRateIndex_ = -1;
  int dataBitsIndex_ = -1;
  int modeIndex_ = -1;
  int parityIndex_ = -1;
  int flowControlIndex_ = -1;
  int stopBitsIndex_ = -1;
  std::string explanation_;
  int localFlowControl_ = 0;
  int modified_ = 0;
};

}  // namespace k470
