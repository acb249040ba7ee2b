#include "VeFlickBox.h"

#include <QGuiApplication>
#include <QPainter>

#ifdef VELMORA_HAVE_GL
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QSurfaceFormat>
#endif

TVeFlickBox::TVeFlickBox(const QList<QImage>& frames, QWidget* parent)
    : TVeFlickBoxBase(parent), FFrames(frames) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  if (!FFrames.isEmpty()) setFixedSize(FFrames.first().size());
#ifdef VELMORA_HAVE_GL
  QSurfaceFormat format = QSurfaceFormat::defaultFormat();
  format.setSwapInterval(1);
  setFormat(format);
  // Each completed swap (one vertical refresh) shows the next frame.
  connect(this, &QOpenGLWidget::frameSwapped, this, &TVeFlickBox::NextFrame);
#endif
}

QSize TVeFlickBox::sizeHint() const {
  return FFrames.isEmpty() ? QSize(0, 0) : FFrames.first().size();
}

bool TVeFlickBox::Available() {
#ifdef VELMORA_HAVE_GL
  static const bool available = [] {
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal") ||
        platform == QLatin1String("vnc"))
      return false;
    QOpenGLContext context;
    if (!context.create()) return false;
    QOffscreenSurface surface;
    surface.setFormat(context.format());
    surface.create();
    return surface.isValid() && context.format().swapInterval() != 0;
  }();
  return available;
#else
  return false;
#endif
}

void TVeFlickBox::NextFrame() {
  if (FFrames.isEmpty()) return;
  FCurrent = (FCurrent + 1) % int(FFrames.size());
  update();
}

#ifdef VELMORA_HAVE_GL
void TVeFlickBox::paintGL() {
  QPainter painter(this);
  if (FFrames.isEmpty())
    painter.fillRect(rect(), palette().window());
  else
    painter.drawImage(0, 0, FFrames[FCurrent]);
}
#else
void TVeFlickBox::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), palette().window());
}
#endif
