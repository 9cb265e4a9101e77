#include "configtool/res/dialogs.h"

#include <algorithm>

namespace k470 {
namespace {

constexpr const char* kDialogFont = "MS Sans Serif";
constexpr int kDialogPoints = 8;

using K = ControlKind;

const std::vector<DialogTemplate>& Templates() {
  static const std::vector<DialogTemplate> templates = {
      {IDD_GENERAL_PAGE,
       "Verbindung",
       247,
       226,
       DialogKind::Page,
       kDialogFont,
       kDialogPoints,
       {
           {IDC_GEN_PORT_GROUP, K::GroupBox, "Anschluß des %s an den PC", 5, 10, 235, 70, 0},
           {IDC_GEN_PORT_LABEL, K::Static, "COM-&Anschluß:", 20, 27, 50, 8, 0},
           {IDC_GEN_PORT_LIST, K::ComboBox, "", 110, 25, 120, 59, CTL_VSCROLL},
           {IDC_GEN_STATE_LABEL, K::Static, "Zustand:", 20, 45, 29, 8, 0},
           {IDC_GEN_PORT_STATE, K::Static, "Station nicht angeschlossen", 110, 45, 120, 8, 0},
           {IDC_GEN_NO_DETECTION, K::CheckBox, "&Keine automatische Erkennung beim Programmstart", 18, 60, 207, 10,
            CTL_LEFTTEXT},
           {IDC_GEN_RADIO_GROUP, K::GroupBox, "Daten-/Funkverbindung", 5, 85, 235, 135, 0},
           {IDC_GEN_PARTNER_LABEL, K::Static, "&Verbindungspartner:", 20, 102, 64, 8, 0},
           {IDC_GEN_PARTNER_LIST, K::ComboBox, "", 110, 100, 120, 75, CTL_VSCROLL},
           {IDC_GEN_FIELD_LABEL, K::Static, "Feldstärke:", 20, 120, 36, 8, 0},
           {IDC_GEN_FIELD_BAR, K::ProgressBar, "", 110, 118, 120, 13, CTL_BORDER},
           {IDC_GEN_QUALITY_LABEL, K::Static, "Qualität:", 20, 139, 27, 8, 0},
           {IDC_GEN_QUALITY_BAR, K::ProgressBar, "", 110, 137, 120, 13, CTL_BORDER},
           {IDC_GEN_RADIO_LABEL, K::Static, "Zustand Funkverbindung:", 20, 156, 82, 8, 0},
           {IDC_GEN_RADIO_STATE, K::Static, "unbekannt", 110, 156, 120, 8, 0},
           {IDC_GEN_DATA_LABEL, K::Static, "Zustand Datenverbindung:", 20, 170, 86, 8, CTL_NOWRAP},
           {IDC_GEN_DATA_STATE, K::Static, "unbekannt", 110, 170, 120, 16, 0},
           {IDC_GEN_DATA_BUTTON, K::PushButton, "Datenverbindung &freigeben", 120, 195, 100, 15, CTL_DISABLED},
       }},
      {IDD_MODE_PAGE,
       "Betriebsart",
       247,
       226,
       DialogKind::Page,
       kDialogFont,
       kDialogPoints,
       {
           {IDC_MODE_MODE_LABEL, K::Static, "Betriebs&art:", 20, 17, 65, 8, 0},
           {IDC_MODE_MODE_LIST, K::ComboBox, "", 110, 15, 120, 60, CTL_VSCROLL},
           {IDC_MODE_EXPLANATION, K::Static, "", 20, 35, 210, 25, 0},
           {IDC_MODE_LINE_GROUP, K::GroupBox, "Verbindungseinstellungen", 5, 65, 235, 155, 0},
           {IDC_MODE_BIT_RATE_LABEL, K::Static, "&Bits pro Sekunde:", 20, 87, 57, 8, 0},
           {IDC_MODE_BIT_RATE_LIST, K::ComboBox, "", 110, 85, 120, 60, CTL_VSCROLL},
           {IDC_MODE_DATA_BITS_LABEL, K::Static, "&Datenbits:", 20, 110, 33, 8, 0},
           {IDC_MODE_DATA_BITS_LIST, K::ComboBox, "", 110, 108, 120, 55, CTL_VSCROLL},
           {IDC_MODE_PARITY_LABEL, K::Static, "&Parität:", 20, 133, 23, 8, 0},
           {IDC_MODE_PARITY_LIST, K::ComboBox, "", 110, 131, 120, 55, CTL_VSCROLL},
           {IDC_MODE_STOP_BITS_LABEL, K::Static, "&Stopbits:", 20, 156, 28, 8, 0},
           {IDC_MODE_STOP_BITS_LIST, K::ComboBox, "", 110, 154, 120, 40, CTL_VSCROLL},
           {IDC_MODE_PROTOCOL_LABEL, K::Static, "Pr&otokoll:", 20, 179, 30, 8, 0},
           {IDC_MODE_PROTOCOL_LIST, K::ComboBox, "", 110, 177, 120, 50, CTL_VSCROLL},
           {IDC_MODE_LOCAL_FLOW, K::CheckBox, "&Lokale Flußkontrolle:", 19, 200, 99, 8, CTL_LEFTTEXT},
       }},
      {IDD_ADAPTER_PAGE,
       "Adapter",
       247,
       226,
       DialogKind::Page,
       kDialogFont,
       kDialogPoints,
       {
           {IDC_ADP_IDENT_GROUP, K::GroupBox, "Identifikation", 5, 10, 235, 95, 0},
           {IDC_ADP_NAME_LABEL, K::Static, "&Name:", 20, 28, 22, 8, 0},
           {IDC_ADP_NAME, K::Edit, "", 110, 25, 120, 14, CTL_BORDER},
           {IDC_ADP_TYPE_LABEL, K::Static, "Stationstyp:", 20, 42, 38, 8, 0},
           {IDC_ADP_TYPE, K::Static, "", 110, 42, 120, 8, 0},
           {IDC_ADP_HARDWARE_LABEL, K::Static, "Hardwareversion:", 20, 53, 56, 8, 0},
           {IDC_ADP_HARDWARE, K::Static, "", 110, 53, 120, 8, 0},
           {IDC_ADP_FIRMWARE_LABEL, K::Static, "Firmwareversion:", 20, 64, 54, 8, 0},
           {IDC_ADP_FIRMWARE, K::Static, "", 110, 64, 120, 8, 0},
           {IDC_ADP_CHANGE_PIN, K::PushButton, "&PIN ändern ...", 20, 80, 65, 14, 0},
           {IDC_ADP_CHANGE_TYPE, K::PushButton, "Stations&typ ändern", 92, 80, 65, 14, 0},
           {IDC_ADP_RESET, K::PushButton, "Zu&rücksetzen", 164, 80, 65, 14, 0},
           {IDC_ADP_LIST_GROUP, K::GroupBox, "Angemeldete %s", 5, 111, 235, 109, 0},
           {IDC_ADP_REGISTRATIONS, K::ListBox, "", 15, 125, 155, 56, CTL_NOTIFY | CTL_VSCROLL | CTL_BORDER},
           {IDC_ADP_PARTNER_LIST, K::ListView, "", 15, 125, 215, 90,
            CTL_SINGLESEL | CTL_NOSORTHDR | CTL_DISABLED | CTL_BORDER},
           {IDC_ADP_REGISTER, K::PushButton, "A&nmelden", 180, 125, 50, 14, 0},
           {IDC_ADP_DEREGISTER, K::PushButton, "Ab&melden", 180, 146, 50, 14, 0},
           {IDC_ADP_CONNECT, K::PushButton, "&Verbinden", 180, 167, 50, 14, 0},
           {IDC_ADP_AUTO_RELEASE, K::CheckBox, "automatische Freigabe &erlauben:", 14, 185, 140, 8,
            CTL_LEFTTEXT | CTL_DISABLED},
           {IDC_ADP_RELEASE_LABEL, K::Static, "&Freigabe nach:", 15, 203, 48, 8, CTL_DISABLED},
           {IDC_ADP_RELEASE_TIME, K::Edit, "", 145, 200, 25, 14, CTL_BORDER | CTL_DISABLED},
           {IDC_ADP_MINUTES_LABEL, K::Static, "Minuten", 175, 203, 26, 8, CTL_DISABLED},
       }},
      // The program's own About box: icon on the left, the version line and
      // what the program is for beside it, OK at the bottom right.
      {IDD_ABOUT,
       "Info",
       235,
       70,
       DialogKind::PopupSysMenu,
       kDialogFont,
       kDialogPoints,
       {
           {IDC_ABOUT_ICON, K::Icon, "", 11, 12, 20, 20, 0},
           {IDC_ABOUT_VERSION, K::Static, "", 42, 12, 186, 8, CTL_NOPREFIX},
           {IDC_ABOUT_DESCRIPTION, K::Static, "", 42, 26, 186, 16, CTL_NOPREFIX},
           {IDC_OK, K::DefPushButton, "OK", 178, 49, 50, 14, 0},
       }},
      {IDD_WAIT,
       "",
       222,
       61,
       DialogKind::Popup,
       kDialogFont,
       kDialogPoints,
       {
           {IDC_CANCEL, K::PushButton, "Abbrechen", 86, 40, 50, 14, 0},
           {IDC_WAIT_TEXT, K::Static, "", 40, 10, 170, 25, CTL_NOPREFIX},
           {IDC_WAIT_ICON, K::Icon, "", 10, 10, 20, 20, 0},
       }},
  };
  return templates;
}

}  // namespace

const ControlTemplate* DialogTemplate::Find(uint32_t controlId) const {
  auto it = std::find_if(controls.begin(), controls.end(),
                         [controlId](const ControlTemplate& c) { return c.id == controlId; });
  return it != controls.end() ? &*it : nullptr;
}

const DialogTemplate* FindDialogTemplate(uint32_t id) {
  for (const DialogTemplate& t : Templates()) {
    if (t.id == id) return &t;
  }
  return nullptr;
}

}  // namespace k470
