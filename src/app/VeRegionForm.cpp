#include "VeRegionForm.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>
#include <QScrollArea>
#include <QVBoxLayout>

#include "VeBitmap32.h"
#include "VeQtImage.h"

TVeRegionCanvas::TVeRegionCanvas(const TVeBitmap32& picture, const TVeRect& region,
                                 const TVeRegionTarget& target, QWidget* parent)
    : QWidget(parent), FPicture(picture), FTarget(target), FRegion(region) {
  setMouseTracking(true);
  FViews = VeMakeSourceViewPictures(FPicture);
  Render();
  setFixedSize(sizeHint());
}

const QImage& TVeRegionCanvas::Shown() const {
  if (FDirty) Render();
  return FShown;
}

void TVeRegionCanvas::Render() const {
  FDirty = false;
  FShown = VeToQImage(VeSourceView(FPicture, FViews, FRegion, FTarget.Width, FTarget.Height,
                                   FTarget.AspectX, FTarget.AspectY, FTarget.Mode,
                                   FTarget.CellWidth, FTarget.CellHeight));
}

TVeRegionCanvas::~TVeRegionCanvas() = default;

static QRect HandleRect(int x, int y) {
  return QRect(x - 4, y - 4, 9, 9);
}

void TVeRegionCanvas::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.translate(Margin, Margin);
  painter.drawImage(0, 0, Shown());
  const QRect r(FRegion.Left, FRegion.Top, FRegion.Width(), FRegion.Height());
  painter.setPen(QPen(Qt::white, 1, Qt::DashLine));
  painter.drawRect(r.adjusted(0, 0, -1, -1));
  const int xs[3] = {FRegion.Left, (FRegion.Left + FRegion.Right) / 2, FRegion.Right};
  const int ys[3] = {FRegion.Top, (FRegion.Top + FRegion.Bottom) / 2, FRegion.Bottom};
  painter.setPen(Qt::black);
  for (int y : ys)
    for (int x : xs) {
      painter.fillRect(HandleRect(x, y), Qt::white);
      painter.drawRect(HandleRect(x, y).adjusted(0, 0, -1, -1));
    }
}

void TVeRegionCanvas::SetCursorFor(int handle) {
  switch (handle) {
  case vrhTopLeft:
  case vrhBottomRight:
    setCursor(Qt::SizeFDiagCursor);
    break;
  case vrhTopRight:
  case vrhBottomLeft:
    setCursor(Qt::SizeBDiagCursor);
    break;
  case vrhTop:
  case vrhBottom:
    setCursor(Qt::SizeVerCursor);
    break;
  case vrhLeft:
  case vrhRight:
    setCursor(Qt::SizeHorCursor);
    break;
  case vrhCentre:
    setCursor(Qt::SizeAllCursor);
    break;
  default:
    unsetCursor();
  }
}

void TVeRegionCanvas::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  const QPoint p = event->position().toPoint() - QPoint(Margin, Margin);
  const int handle = VeRegionHandleAt(FRegion, p.x(), p.y());
  if (handle == vrhNone) return;
  FDrag = std::make_unique<TVeRegionDrag>(FRegion, handle, p.x(), p.y(), FPicture.Width(),
                                          FPicture.Height());
}

void TVeRegionCanvas::mouseMoveEvent(QMouseEvent* event) {
  const QPoint p = event->position().toPoint() - QPoint(Margin, Margin);
  if (FDrag) {
    const TVeRect region = FDrag->Move(p.x(), p.y());
    SetCursorFor(FDrag->Handle());
    if (!(region == FRegion)) {
      FRegion = region;
      FDirty = true;
      update();
      emit RegionChanged();
    }
  } else {
    SetCursorFor(VeRegionHandleAt(FRegion, p.x(), p.y()));
  }
}

void TVeRegionCanvas::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) FDrag.reset();
}

TVeRegionForm::TVeRegionForm(const TVeBitmap32& picture, const TVeRect& region,
                             const TVeRegionTarget& target, QWidget* parent)
    : QDialog(parent) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  auto* scroll = new QScrollArea(this);
  scroll->setFrameShape(QFrame::NoFrame);
  scroll->setAlignment(Qt::AlignCenter);
  FCanvas = new TVeRegionCanvas(picture, region, target);
  scroll->setWidget(FCanvas);
  layout->addWidget(scroll);
  connect(FCanvas, &TVeRegionCanvas::RegionChanged, this, &TVeRegionForm::UpdateCaption);
  UpdateCaption();
  // As large as the picture, but never larger than the screen.
  QSize size = FCanvas->sizeHint() + QSize(2, 2);
  if (QScreen* screen = QGuiApplication::primaryScreen())
    size = size.boundedTo(screen->availableSize() * 9 / 10);
  resize(size.expandedTo(QSize(160, 120)));
}

void TVeRegionForm::UpdateCaption() {
  setWindowTitle(QString::fromStdString(VeRegionCaption(FCanvas->Region())));
}

void TVeRegionForm::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter ||
      event->key() == Qt::Key_Escape) {
    accept();
    return;
  }
  QDialog::keyPressEvent(event);
}
