#pragma once
// "Region": the whole source picture with the region's outline and nine grab handles. The
// picture is drawn as the source view: gray, with the part the destination uses in colour
// and its attribute cells marked, redrawn as the region moves. The geometry (hit test,
// dragging, the minimum size, swapping edges, the used area) is the core's.
#include <QDialog>
#include <QImage>
#include <memory>

#include "VeSourcePrepare.h"

class TVeBitmap32;
class TVeRegionDrag;

// What the destination makes of the region: its size, pixel aspect, position mode and cells.
struct TVeRegionTarget {
  int Width = 0, Height = 0;
  int AspectX = 1, AspectY = 1;
  int Mode = 0;
  int CellWidth = 1, CellHeight = 1;
};

class TVeRegionCanvas : public QWidget {
  Q_OBJECT
public:
  TVeRegionCanvas(const TVeBitmap32& picture, const TVeRect& region, const TVeRegionTarget& target,
                  QWidget* parent = nullptr);
  ~TVeRegionCanvas() override;
  const TVeRect& Region() const { return FRegion; }
  // Room around the picture so handles on its edges show whole.
  static constexpr int Margin = 5;
  QSize sizeHint() const override { return FShown.size() + QSize(2 * Margin, 2 * Margin); }
  // The picture as drawn for the current region.
  const QImage& Shown() const;

signals:
  void RegionChanged();

protected:
  void paintEvent(QPaintEvent*) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

private:
  void SetCursorFor(int handle);
  void Render() const;
  const TVeBitmap32& FPicture;
  TVeRegionTarget FTarget;
  TVeSourceViewPictures FViews;
  // Drawn when painted, so a fast drag on a large picture renders once per frame.
  mutable QImage FShown;
  mutable bool FDirty = true;
  TVeRect FRegion;
  std::unique_ptr<TVeRegionDrag> FDrag;
};

class TVeRegionForm : public QDialog {
  Q_OBJECT
public:
  // The picture must outlive the dialog.
  TVeRegionForm(const TVeBitmap32& picture, const TVeRect& region, const TVeRegionTarget& target,
                QWidget* parent = nullptr);
  const TVeRect& Region() const { return FCanvas->Region(); }
  TVeRegionCanvas* Canvas() const { return FCanvas; }

protected:
  void keyPressEvent(QKeyEvent* event) override;
  void reject() override { accept(); } // Escape keeps the region, as Enter does

private:
  void UpdateCaption();
  TVeRegionCanvas* FCanvas;
};
