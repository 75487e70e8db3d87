// SPDX-License-Identifier: GPL-3.0-or-later
// Bitmaps 138 (the program title), 143 (the logo) and icon 144, drawn at
// run time so that they follow the dialog font and need no binary files.
#include <QIcon>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include "toolkit_qt.h"

namespace tk {
namespace {

// The register mark: a receipt leaving a printer slot.
void DrawMark(QPainter& p, const QRectF& r) {
  p.setRenderHint(QPainter::Antialiasing);
  const double u = r.height() / 16.0;
  QRectF body(r.left() + u, r.top() + 7 * u, r.width() - 2 * u, 8 * u);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0x1f, 0x4e, 0x8c));
  p.drawRoundedRect(body, 1.5 * u, 1.5 * u);
  QRectF paper(r.left() + 4 * u, r.top() + u, r.width() - 8 * u, 8 * u);
  p.setBrush(Qt::white);
  p.setPen(QPen(QColor(0x1f, 0x4e, 0x8c), qMax(1.0, 0.6 * u)));
  p.drawRect(paper);
  for (int i = 0; i < 3; ++i)
    p.drawLine(QPointF(paper.left() + 1.5 * u, paper.top() + (2 + 1.8 * i) * u),
               QPointF(paper.right() - 1.5 * u, paper.top() + (2 + 1.8 * i) * u));
  p.setBrush(QColor(0xf2, 0xa9, 0x00));
  p.setPen(Qt::NoPen);
  p.drawEllipse(QPointF(body.right() - 2.5 * u, body.bottom() - 2.5 * u), 1.2 * u, 1.2 * u);
}

QPixmap TitleBitmap() {
  QPixmap pm(280, 42);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::TextAntialiasing);
  QFont f = DialogFont();
  f.setBold(true);
  f.setPixelSize(15);
  p.setFont(f);
  p.setPen(QColor(0x1f, 0x4e, 0x8c));
  p.drawText(QRect(4, 1, 272, 20), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("ПРОГРАММА УПРАВЛЕНИЯ"));
  p.drawText(QRect(4, 20, 272, 20), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("ФИСКАЛЬНЫМ РЕГИСТРАТОРОМ"));
  return pm;
}

QPixmap LogoBitmap() {
  QPixmap pm(106, 31);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  DrawMark(p, QRectF(1, 4, 26, 23));
  QFont f = DialogFont();
  f.setBold(true);
  f.setPixelSize(12);
  p.setFont(f);
  p.setPen(QColor(0x1f, 0x4e, 0x8c));
  p.drawText(QRect(30, 0, 76, 31), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("ТЕРМИНА"));
  return pm;
}

}  // namespace

QPixmap LoadBitmap(int id) {
  switch (id) {
    case 138: return TitleBitmap();
    case 143: return LogoBitmap();
    default: return QPixmap();
  }
}

QIcon LoadIcon(int id) {
  QIcon icon;
  if (id != 144) return icon;
  for (int size : {16, 32, 48}) {
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    DrawMark(p, QRectF(0, 0, size, size));
    p.end();
    icon.addPixmap(pm);
  }
  return icon;
}

}  // namespace tk
