#pragma once
// The two picture views of the main window. Both sit inside scroll areas that share one
// scroll position; the controller feeds them through the main window.
#include <QImage>
#include <QList>
#include <QPointer>
#include <QWidget>

class QMenu;
#include "VeFlickBox.h"

class TVeImageView : public QWidget {
  Q_OBJECT
public:
  explicit TVeImageView(QWidget* parent = nullptr);
  // The picture exactly as shown (already zoomed).
  const QImage& Shown() const { return FShown; }
  // The zoom the picture came with, and its size at zoom 1.
  int ShownZoom() const { return FZoom; }
  QSize UnitSize() const;
  // Where the picture's top-left corner sits: centred while the view is larger.
  QPoint Origin() const;
  void SetContextMenu(QMenu* menu) { FMenu = menu; }
  QSize sizeHint() const override;

signals:
  void DoubleClicked();

protected:
  void SetShown(const QImage& image, int zoom = 1);
  void paintEvent(QPaintEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
  QImage FShown;
  int FZoom = 1;
  QMenu* FMenu = nullptr;
};

// Shows the prepared source: the picture the engine gets, fitted and bordered.
class TVeDestOriginalImage : public TVeImageView {
  Q_OBJECT
public:
  using TVeImageView::TVeImageView;
  void SetSource(int zoom, const QImage& image, bool busy);
  bool Busy() const { return FBusy; }

private:
  bool FBusy = false;
};

// Shows the result, or a "Please, wait..." box with progress while a conversion runs, or the
// result's frames alternating when flicker display is on.
class TVeDestImage : public TVeImageView {
  Q_OBJECT
public:
  using TVeImageView::TVeImageView;
  ~TVeDestImage() override;
  // preview null: no result yet (busy keeps the previous picture under the wait box).
  void SetResult(int aspectX, int aspectY, int zoom, bool busy, const QList<QImage>& frames,
                 const QImage& preview);
  void SetProgress(unsigned total, unsigned done);
  bool Busy() const { return FBusy; }
  unsigned ProgressTotal() const { return FTotal; }
  unsigned ProgressDone() const { return FDone; }
  TVeFlickBox* FlickBox() const { return FFlick; }
  // The wait box, in widget coordinates; empty when not busy.
  QRect WaitBox() const;
  static QString WaitText() { return QStringLiteral("Please, wait..."); }

protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

private:
  void DropFlicker();
  bool FBusy = false;
  unsigned FTotal = 0, FDone = 0;
  QPointer<TVeFlickBox> FFlick;
};
