#include "VeImageView.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QPainter>
#include <algorithm>

#include "VeFlickBox.h"
#include "VeQtImage.h"

TVeImageView::TVeImageView(QWidget* parent) : QWidget(parent) {
  setBackgroundRole(QPalette::Dark);
  setAutoFillBackground(true);
}

QSize TVeImageView::sizeHint() const {
  return FShown.isNull() ? QSize(16, 16) : FShown.size();
}

QSize TVeImageView::UnitSize() const {
  if (FShown.isNull()) return QSize();
  return QSize(FShown.width() / FZoom, FShown.height() / FZoom);
}

QPoint TVeImageView::Origin() const {
  // Halvings truncate, as everywhere else a picture is centred.
  return QPoint(std::max(0, (width() - FShown.width()) / 2),
                std::max(0, (height() - FShown.height()) / 2));
}

void TVeImageView::SetShown(const QImage& image, int zoom) {
  FShown = image;
  FZoom = std::max(zoom, 1);
  setMinimumSize(FShown.isNull() ? QSize(0, 0) : FShown.size());
  updateGeometry();
  update();
}

void TVeImageView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (!FShown.isNull()) painter.drawImage(Origin(), FShown);
}

void TVeImageView::contextMenuEvent(QContextMenuEvent* event) {
  if (FMenu) FMenu->exec(event->globalPos());
}

void TVeImageView::mouseDoubleClickEvent(QMouseEvent*) {
  emit DoubleClicked();
}

void TVeDestOriginalImage::SetSource(int zoom, const QImage& image, bool busy) {
  FBusy = busy;
  SetShown(VeScaleForView(image, 1, 1, zoom), zoom);
}

TVeDestImage::~TVeDestImage() {
  DropFlicker();
}

void TVeDestImage::DropFlicker() {
  if (FFlick) delete FFlick.data();
}

void TVeDestImage::SetResult(int aspectX, int aspectY, int zoom, bool busy,
                             const QList<QImage>& frames, const QImage& preview) {
  FBusy = busy;
  DropFlicker();
  if (!preview.isNull()) {
    FBusy = false;
    SetShown(VeScaleForView(preview, aspectX, aspectY, zoom), zoom);
    if (!frames.isEmpty() && TVeFlickBox::Available()) {
      QList<QImage> scaled;
      for (const QImage& frame : frames) {
        // A frame of another size than the preview is stretched to it, pixels kept whole.
        QImage f =
            frame.size() == preview.size()
                ? frame
                : frame.scaled(preview.size(), Qt::IgnoreAspectRatio, Qt::FastTransformation);
        scaled.append(VeScaleForView(f, aspectX, aspectY, zoom));
      }
      FFlick = new TVeFlickBox(scaled, this);
      FFlick->move(Origin());
      FFlick->show();
    }
  } else if (!busy) {
    SetShown(QImage());
  } else {
    update(); // keep the previous picture under the wait box
  }
}

void TVeDestImage::resizeEvent(QResizeEvent* event) {
  TVeImageView::resizeEvent(event);
  if (FFlick) FFlick->move(Origin());
}

void TVeDestImage::SetProgress(unsigned total, unsigned done) {
  FTotal = total;
  FDone = done;
  update();
}

QRect TVeDestImage::WaitBox() const {
  if (!FBusy) return QRect();
  const QFontMetrics metrics = fontMetrics();
  const int w = metrics.horizontalAdvance(WaitText()) + 100;
  const int h = metrics.height() * 2 + 8;
  QRect visible = visibleRegion().boundingRect();
  if (visible.isEmpty()) visible = rect();
  return QRect(visible.center().x() - w / 2, visible.center().y() - h / 2, w, h);
}

void TVeDestImage::paintEvent(QPaintEvent* event) {
  TVeImageView::paintEvent(event);
  if (!FBusy) return;
  QPainter painter(this);
  const QRect box = WaitBox();
  painter.fillRect(box, Qt::white);
  painter.setPen(Qt::black);
  painter.drawRect(box.adjusted(0, 0, -1, -1));
  const int textHeight = fontMetrics().height();
  painter.drawText(QRect(box.left(), box.top() + 4, box.width(), textHeight), Qt::AlignCenter,
                   WaitText());
  if (FDone > 0 && FTotal > 0) {
    const QRect bar(box.left() + 10, box.top() + textHeight + 6, box.width() - 20, textHeight - 4);
    painter.drawRect(bar.adjusted(0, 0, -1, -1));
    const double part = std::min(1.0, double(FDone) / double(FTotal));
    painter.fillRect(
        QRect(bar.left() + 2, bar.top() + 2, int((bar.width() - 4) * part), bar.height() - 4),
        QColor(0, 120, 215));
  }
}
