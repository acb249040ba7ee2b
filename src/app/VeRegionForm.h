#pragma once
// "Region": the whole source picture with the region's outline and nine grab handles. The
// geometry (hit test, dragging, the minimum size, swapping edges) is the core's.
#include <QDialog>
#include <QImage>
#include <memory>

#include "VeSourcePrepare.h"

class TVeRegionDrag;

class TVeRegionCanvas : public QWidget {
  Q_OBJECT
public:
  TVeRegionCanvas(const QImage& picture, const TVeRect& region, QWidget* parent = nullptr);
  ~TVeRegionCanvas() override;
  const TVeRect& Region() const { return FRegion; }
  // Room around the picture so handles on its edges show whole.
  static constexpr int Margin = 5;
  QSize sizeHint() const override { return FPicture.size() + QSize(2 * Margin, 2 * Margin); }

signals:
  void RegionChanged();

protected:
  void paintEvent(QPaintEvent*) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

private:
  void SetCursorFor(int handle);
  QImage FPicture;
  TVeRect FRegion;
  std::unique_ptr<TVeRegionDrag> FDrag;
};

class TVeRegionForm : public QDialog {
  Q_OBJECT
public:
  TVeRegionForm(const QImage& picture, const TVeRect& region, QWidget* parent = nullptr);
  const TVeRect& Region() const { return FCanvas->Region(); }
  TVeRegionCanvas* Canvas() const { return FCanvas; }

protected:
  void keyPressEvent(QKeyEvent* event) override;
  void reject() override { accept(); } // Escape keeps the region, as Enter does

private:
  void UpdateCaption();
  TVeRegionCanvas* FCanvas;
};
