#include "configtool/app/program_icons.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QStyle>

namespace k470 {

QPixmap ProgramIconPixmap(int size) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / 32.0, size / 32.0);

  // The adapter's case, with its serial plug on the left.
  QLinearGradient body(0, 14, 0, 30);
  body.setColorAt(0, QColor(0x3a, 0x78, 0xc8));
  body.setColorAt(1, QColor(0x1c, 0x48, 0x8a));
  p.setPen(QPen(QColor(0x10, 0x2c, 0x58), 1));
  p.setBrush(body);
  p.drawRoundedRect(QRectF(5.5, 15.5, 22, 13), 2.5, 2.5);
  p.setBrush(QColor(0x9a, 0xa4, 0xb0));
  p.setPen(QPen(QColor(0x50, 0x58, 0x60), 1));
  p.drawRect(QRectF(1.5, 19.5, 4, 6));
  // Status light and a label strip.
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0x6c, 0xe0, 0x5a));
  p.drawEllipse(QPointF(23, 24.5), 1.8, 1.8);
  p.setBrush(QColor(255, 255, 255, 170));
  p.drawRoundedRect(QRectF(9, 19, 10, 2), 1, 1);
  p.drawRoundedRect(QRectF(9, 23, 7, 2), 1, 1);

  // The antenna and its waves.
  p.setPen(QPen(QColor(0x30, 0x30, 0x30), 2, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(21, 15), QPointF(21, 6));
  p.setBrush(QColor(0x30, 0x30, 0x30));
  p.drawEllipse(QPointF(21, 5.5), 1.5, 1.5);
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(QColor(0xf0, 0x90, 0x20), 1.6, Qt::SolidLine, Qt::RoundCap));
  for (int i = 0; i < 2; ++i) {
    double r = 4.0 + i * 3.5;
    QRectF arc(21 - r, 5.5 - r, 2 * r, 2 * r);
    p.drawArc(arc, -40 * 16, 80 * 16);
    p.drawArc(arc, 140 * 16, 80 * 16);
  }
  p.end();
  return QPixmap::fromImage(image);
}

QIcon ProgramIcon() {
  QIcon icon;
  for (int size : {16, 24, 32, 48, 64}) icon.addPixmap(ProgramIconPixmap(size));
  return icon;
}

QPixmap InformationIconPixmap(int size) {
  return QApplication::style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(size, size);
}

}  // namespace k470
