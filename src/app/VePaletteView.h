#pragma once
// A grid of colour swatches (16 x 16 for a whole palette, 16 x 1 for a short one). The main
// window attaches its palette menus to it; an original-palette view gets the shorter menu.
#include <QList>
#include <QRgb>
#include <QWidget>

class QMenu;

class TVePaletteView : public QWidget {
  Q_OBJECT
public:
  TVePaletteView(int columns, int rows, QWidget* parent = nullptr);

  void SetColors(const QList<QRgb>& colors);
  const QList<QRgb>& Colors() const { return FColors; }
  int Columns() const { return FColumns; }
  int Rows() const { return FRows; }
  void SetOriginal(bool original) { FOriginal = original; }
  bool Original() const { return FOriginal; }
  void SetContextMenu(QMenu* menu) { FMenu = menu; }
  // Cells with a mark are drawn with a cross (the custom palette grid).
  void SetMarks(const QList<bool>& marks);
  const QList<bool>& Marks() const { return FMarks; }
  int CellAt(const QPoint& pos) const;
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override { return sizeHint(); }

signals:
  void CellClicked(int index);

protected:
  void paintEvent(QPaintEvent*) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

private:
  QRect CellRect(int index) const;
  int FColumns, FRows;
  QList<QRgb> FColors;
  QList<bool> FMarks;
  bool FOriginal = false;
  QMenu* FMenu = nullptr;
};
