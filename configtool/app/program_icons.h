// The program's own artwork, drawn at start with QPainter: no image files,
// nothing borrowed.
#pragma once

#include <QIcon>
#include <QPixmap>

namespace k470 {

// Resource number of the program icon.
constexpr int IDR_PROGRAM_ICON = 31234;
// Side of a standard icon in pixels.
constexpr int kIconPixels = 32;

// The program icon: a small radio adapter with its antenna and waves, in
// the sizes a window manager asks for.
QIcon ProgramIcon();
QPixmap ProgramIconPixmap(int size = kIconPixels);
// The system's information icon, as message boxes show it.
QPixmap InformationIconPixmap(int size = kIconPixels);

}  // namespace k470
