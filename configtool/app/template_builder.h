// Turns a dialog template into Qt widgets. Positions and sizes come from the
// template's dialog units, converted as the window system the templates were
// drawn for converts them: the base units are the average width of the
// letters A-Z and a-z and the height of the dialog font, a horizontal unit is
// a quarter of the base width and a vertical unit an eighth of the base
// height. The template fonts map to pinned families, so layouts and
// screenshots are the same on every machine.
#pragma once

#include <QFont>
#include <QRect>
#include <QSize>
#include <functional>
#include <map>

#include "configtool/res/dialogs.h"

class QWidget;

namespace k470 {

struct DialogUnits {
  int baseX = 0;
  int baseY = 0;
  // Rounded to the nearest pixel, halves away from zero.
  int X(int dlu) const;
  int Y(int dlu) const;
  QRect Rect(int x, int y, int w, int h) const;
};

// The family that stands in for a template font ("MS Sans Serif" and
// "Courier New" are not on a Linux machine).
const char* MapTemplateFontFamily(const char* face);
// The template font: the mapped family at the pixel height the point size
// has at 96 dots per inch (8 points: 11 pixels).
QFont TemplateFont(const char* face, int points);
DialogUnits BaseUnitsOf(const QFont& font);

// Widgets of one built template, by control id.
using ControlMap = std::map<uint32_t, QWidget*>;

// Makes a widget for a control in place of the standard one (for example a
// custom-drawn list); returns null to get the standard widget.
using ControlFactory = std::function<QWidget*(const ControlTemplate& control, QWidget* parent)>;

// Creates the template's controls as children of parent, in template order
// (which is the tab order), gives parent the template font and returns the
// template's size in pixels. A static whose text holds an accelerator gets
// the next control that can take the focus as its buddy, so Alt+letter moves
// the focus there.
QSize BuildTemplate(const DialogTemplate& dialog, QWidget* parent, ControlMap& controls,
                    const ControlFactory& factory = {});

// The pixel size of a template, without building it.
QSize TemplatePixelSize(const DialogTemplate& dialog);

}  // namespace k470
