// Dialog templates as data: the layout of every page and dialog of the
// program in dialog units, with the control ids the code refers to. One
// builder in the Qt layer turns a template into widgets; nothing here knows
// about Qt.
#pragma once

#include <cstdint>
#include <vector>

namespace k470 {

enum class ControlKind : uint8_t {
  GroupBox,
  Static,         // text; wraps at word boundaries unless CTL_NOWRAP
  Icon,           // a static that shows an icon (its size comes from the icon)
  PushButton,
  DefPushButton,  // the dialog's default button
  CheckBox,       // automatic check box
  ComboBox,       // drop-down list; the height is that of the opened list
  Edit,
  ListBox,
  ListView,       // report view
  ProgressBar,
};

// Style bits of a control.
constexpr uint32_t CTL_DISABLED = 0x0001;    // created disabled
constexpr uint32_t CTL_HIDDEN = 0x0002;      // created hidden
constexpr uint32_t CTL_VSCROLL = 0x0004;     // vertical scroll bar
constexpr uint32_t CTL_BORDER = 0x0008;      // thin border
constexpr uint32_t CTL_NOWRAP = 0x0010;      // static: one line, cut at the right edge
constexpr uint32_t CTL_LEFTTEXT = 0x0020;    // check box: text left, box right
constexpr uint32_t CTL_NOTIFY = 0x0040;      // list box: tells its parent about selection changes
constexpr uint32_t CTL_NOPREFIX = 0x0080;    // static: '&' is shown as it is
constexpr uint32_t CTL_SINGLESEL = 0x0100;   // list view: one selected item at most
constexpr uint32_t CTL_NOSORTHDR = 0x0200;   // list view: headers are not buttons
constexpr uint32_t CTL_MULTILINE = 0x0400;   // edit: several lines

struct ControlTemplate {
  uint32_t id;
  ControlKind kind;
  const char* text;  // UTF-8; may hold one '&' accelerator
  int x, y, w, h;    // dialog units
  uint32_t style;
};

enum class DialogKind : uint8_t {
  Page,         // child window with caption: a property page
  Popup,        // popup with caption and modal frame, no system menu
  PopupSysMenu, // popup with caption, system menu and modal frame
};

struct DialogTemplate {
  uint32_t id;
  const char* caption;
  int w, h;  // dialog units
  DialogKind kind;
  const char* fontFace;
  int fontPoints;
  std::vector<ControlTemplate> controls;  // in tab order

  const ControlTemplate* Find(uint32_t controlId) const;
};

// The template with this id, or null.
const DialogTemplate* FindDialogTemplate(uint32_t id);

// ---- template ids -------------------------------------------------------------
constexpr uint32_t IDD_GENERAL_PAGE = 100;
constexpr uint32_t IDD_MODE_PAGE = 101;
constexpr uint32_t IDD_ADAPTER_PAGE = 102;
constexpr uint32_t IDD_ABOUT = 105;
constexpr uint32_t IDD_WAIT = 108;

// ---- control ids --------------------------------------------------------------
// Buttons shared by every dialog.
constexpr uint32_t IDC_OK = 1;
constexpr uint32_t IDC_CANCEL = 2;

// Connection page (template 100).
constexpr uint32_t IDC_GEN_PORT_GROUP = 1008;
constexpr uint32_t IDC_GEN_PORT_LABEL = 1003;
constexpr uint32_t IDC_GEN_PORT_LIST = 1004;
constexpr uint32_t IDC_GEN_STATE_LABEL = 1005;
constexpr uint32_t IDC_GEN_PORT_STATE = 1009;
constexpr uint32_t IDC_GEN_NO_DETECTION = 1077;
constexpr uint32_t IDC_GEN_RADIO_GROUP = 1011;
constexpr uint32_t IDC_GEN_PARTNER_LABEL = 1050;
constexpr uint32_t IDC_GEN_PARTNER_LIST = 1067;
constexpr uint32_t IDC_GEN_FIELD_LABEL = 1032;
constexpr uint32_t IDC_GEN_FIELD_BAR = 1035;
constexpr uint32_t IDC_GEN_QUALITY_LABEL = 1033;
constexpr uint32_t IDC_GEN_QUALITY_BAR = 1031;
constexpr uint32_t IDC_GEN_RADIO_LABEL = 1006;
constexpr uint32_t IDC_GEN_RADIO_STATE = 1013;
constexpr uint32_t IDC_GEN_DATA_LABEL = 1007;
constexpr uint32_t IDC_GEN_DATA_STATE = 1014;
constexpr uint32_t IDC_GEN_DATA_BUTTON = 1096;

// Operating-mode page (template 101).
constexpr uint32_t IDC_MODE_MODE_LABEL = 1015;
constexpr uint32_t IDC_MODE_MODE_LIST = 1014;
constexpr uint32_t IDC_MODE_EXPLANATION = 1074;
constexpr uint32_t IDC_MODE_LINE_GROUP = 1016;
constexpr uint32_t IDC_MODE_BIT_RATE_LABEL = 1039;
constexpr uint32_t IDC_MODE_BIT_RATE_LIST = 1017;
constexpr uint32_t IDC_MODE_DATA_BITS_LABEL = 1040;
constexpr uint32_t IDC_MODE_DATA_BITS_LIST = 1018;
constexpr uint32_t IDC_MODE_PARITY_LABEL = 1041;
constexpr uint32_t IDC_MODE_PARITY_LIST = 1019;
constexpr uint32_t IDC_MODE_STOP_BITS_LABEL = 1042;
constexpr uint32_t IDC_MODE_STOP_BITS_LIST = 1020;
constexpr uint32_t IDC_MODE_PROTOCOL_LABEL = 1043;
constexpr uint32_t IDC_MODE_PROTOCOL_LIST = 1021;
constexpr uint32_t IDC_MODE_LOCAL_FLOW = 1095;

// Adapter page (template 102).
constexpr uint32_t IDC_ADP_IDENT_GROUP = 1045;
constexpr uint32_t IDC_ADP_NAME_LABEL = 1060;
constexpr uint32_t IDC_ADP_NAME = 1070;
constexpr uint32_t IDC_ADP_TYPE_LABEL = 1075;
constexpr uint32_t IDC_ADP_TYPE = 1046;
constexpr uint32_t IDC_ADP_HARDWARE_LABEL = 1058;
constexpr uint32_t IDC_ADP_HARDWARE = 1059;
constexpr uint32_t IDC_ADP_FIRMWARE_LABEL = 1047;
constexpr uint32_t IDC_ADP_FIRMWARE = 1076;
constexpr uint32_t IDC_ADP_CHANGE_PIN = 1074;
constexpr uint32_t IDC_ADP_CHANGE_TYPE = 1073;
constexpr uint32_t IDC_ADP_RESET = 1077;
constexpr uint32_t IDC_ADP_LIST_GROUP = 1049;
constexpr uint32_t IDC_ADP_REGISTRATIONS = 1068;
constexpr uint32_t IDC_ADP_PARTNER_LIST = 1105;
constexpr uint32_t IDC_ADP_REGISTER = 1052;
constexpr uint32_t IDC_ADP_DEREGISTER = 1072;
constexpr uint32_t IDC_ADP_CONNECT = 1078;
constexpr uint32_t IDC_ADP_AUTO_RELEASE = 1097;
constexpr uint32_t IDC_ADP_RELEASE_LABEL = 1050;
constexpr uint32_t IDC_ADP_RELEASE_TIME = 1098;
constexpr uint32_t IDC_ADP_MINUTES_LABEL = 1061;

// About box (template 105).
constexpr uint32_t IDC_ABOUT_VERSION = 1048;
constexpr uint32_t IDC_ABOUT_DESCRIPTION = 1055;
constexpr uint32_t IDC_ABOUT_ICON = 1083;

// Wait dialog (template 108).
constexpr uint32_t IDC_WAIT_TEXT = 1081;
constexpr uint32_t IDC_WAIT_ICON = 1082;

}  // namespace k470
