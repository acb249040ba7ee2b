#include "VeFlickBox.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QVBoxLayout>
#include <algorithm>

#ifdef VELMORA_HAVE_GL
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLWindow>
#include <QSurfaceFormat>

class TVeFlickWindow : public QOpenGLWindow {
public:
  explicit TVeFlickWindow(TVeFlickBox* box) : FBox(box) {
    QSurfaceFormat format = QSurfaceFormat::defaultFormat();
    format.setSwapInterval(1);
    setFormat(format);
    connect(this, &QOpenGLWindow::frameSwapped, this, [this] { FBox->Swapped(); });
  }

protected:
  void paintGL() override {
    QPainter painter(this);
    if (FBox->FFrames.isEmpty()) {
      painter.fillRect(QRect(QPoint(0, 0), size()), Qt::black);
      return;
    }
    painter.drawImage(0, 0, FBox->FFrames[FBox->FCurrent]);
    FBox->Painted();
  }

private:
  TVeFlickBox* FBox;
};
#else
class TVeFlickWindow {};
#endif

TVeFlickBox::TVeFlickBox(const QList<QImage>& frames, QWidget* parent)
    : QWidget(parent), FFrames(frames) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  if (!FFrames.isEmpty()) setFixedSize(FFrames.first().size());
  FClock.start();
  FTimer.setTimerType(Qt::PreciseTimer);
  connect(&FTimer, &QTimer::timeout, this, &TVeFlickBox::NextFrame);
#ifdef VELMORA_HAVE_GL
  if (Available()) {
    FWindow = new TVeFlickWindow(this);
    // The container owns the window from here on.
    FContainer = QWidget::createWindowContainer(FWindow, this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(FContainer);
  }
#endif
}

TVeFlickBox::~TVeFlickBox() {
  FTimer.stop();
  // The window reports swaps to this box: it goes first.
  delete FContainer.data();
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
    QSurfaceFormat format = QSurfaceFormat::defaultFormat();
    format.setSwapInterval(1);
    QOpenGLContext context;
    context.setFormat(format);
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

bool TVeFlickBox::SwapsLookPaced(std::vector<double> intervalsMs, double periodMs) {
  if (intervalsMs.empty() || periodMs <= 0) return false;
  // The median ignores the odd swap delayed by other work.
  auto middle = intervalsMs.begin() + std::ptrdiff_t(intervalsMs.size() / 2);
  std::nth_element(intervalsMs.begin(), middle, intervalsMs.end());
  return *middle >= 0.75 * periodMs;
}

double TVeFlickBox::RefreshPeriodMs() const {
  const QScreen* s = screen();
  const double rate = s && s->refreshRate() >= 20 ? s->refreshRate() : 60.0;
  return 1000.0 / rate;
}

void TVeFlickBox::Swapped() {
  if (FPacing == TPacing::Timer) return;
  const qint64 now = FClock.nsecsElapsed();
  if (FPacing == TPacing::Probing) {
    if (FLastSwapNs >= 0) FIntervals.push_back(double(now - FLastSwapNs) / 1e6);
    FLastSwapNs = now;
    if (int(FIntervals.size()) >= ProbeSwaps) {
      if (SwapsLookPaced(FIntervals, RefreshPeriodMs())) {
        FPacing = TPacing::Swaps;
      } else {
        FPacing = TPacing::Timer;
        FTimer.start(int(RefreshPeriodMs() + 0.5));
        return;
      }
    }
  }
  // Each completed swap (one vertical refresh) shows the next frame.
  NextFrame();
}

void TVeFlickBox::NextFrame() {
  if (FFrames.isEmpty()) return;
  FCurrent = (FCurrent + 1) % int(FFrames.size());
#ifdef VELMORA_HAVE_GL
  if (FWindow) FWindow->update();
#endif
}

void TVeFlickBox::paintEvent(QPaintEvent*) {
  // Seen only where there is no OpenGL window, or before it is exposed.
  QPainter painter(this);
  if (FFrames.isEmpty())
    painter.fillRect(rect(), palette().window());
  else
    painter.drawImage(0, 0, FFrames[FCurrent]);
}
