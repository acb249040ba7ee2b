#include "VePaletteView.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QPainter>

TVePaletteView::TVePaletteView(int columns, int rows, QWidget* parent)
    : QWidget(parent), FColumns(std::max(columns, 1)), FRows(std::max(rows, 1)) {
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void TVePaletteView::SetColors(const QList<QRgb>& colors) {
  FColors = colors;
  update();
}

void TVePaletteView::SetMarks(const QList<bool>& marks) {
  FMarks = marks;
  update();
}

QSize TVePaletteView::sizeHint() const {
  return QSize(FColumns * 14 + 1, FRows * 14 + 1);
}

QRect TVePaletteView::CellRect(int index) const {
  const int w = std::max(1, (width() - 1) / FColumns);
  const int h = std::max(1, (height() - 1) / FRows);
  return QRect(index % FColumns * w, index / FColumns * h, w, h);
}

int TVePaletteView::CellAt(const QPoint& pos) const {
  for (int i = 0; i < std::min<int>(FColors.size(), FColumns * FRows); ++i)
    if (CellRect(i).contains(pos)) return i;
  return -1;
}

void TVePaletteView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), palette().base());
  const int count = std::min<int>(FColors.size(), FColumns * FRows);
  for (int i = 0; i < count; ++i) {
    const QRect r = CellRect(i);
    if (qAlpha(FColors[i]) != 0) painter.fillRect(r, QColor(FColors[i]));
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(r);
    if (i < FMarks.size() && FMarks[i]) {
      const QColor c(FColors[i]);
      painter.setPen(QPen(qGray(c.rgb()) > 128 ? Qt::black : Qt::white, 2));
      painter.drawLine(r.topLeft() + QPoint(3, 3), r.bottomRight() - QPoint(3, 3));
      painter.drawLine(r.topRight() + QPoint(-3, 3), r.bottomLeft() + QPoint(3, -3));
    }
  }
  painter.setPen(palette().color(QPalette::Mid));
  painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

void TVePaletteView::contextMenuEvent(QContextMenuEvent* event) {
  if (FMenu) FMenu->exec(event->globalPos());
}

void TVePaletteView::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  const int cell = CellAt(event->position().toPoint());
  if (cell >= 0) emit CellClicked(cell);
}
