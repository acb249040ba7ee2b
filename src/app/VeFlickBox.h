#pragma once
// Shows the frames of a flickering result one after another, one frame per refresh of the
// display. Pacing comes from the buffer swap of an OpenGL surface that waits for the
// vertical refresh. The box checks that the swaps really wait: where they do not (a virtual
// display, a driver that ignores the swap interval) it falls back to a timer at the screen's
// refresh rate, so the frames still alternate at the speed the eye expects.
//
// The frames are drawn in a window of their own inside the box: an OpenGL widget would turn
// the whole main window into an OpenGL surface, which recreates its native window and makes
// every frame recompose the whole window (very costly under software OpenGL).
#include <QElapsedTimer>
#include <QImage>
#include <QList>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <vector>

class TVeFlickWindow;

class TVeFlickBox : public QWidget {
  Q_OBJECT
public:
  // frames: already scaled to the size the box shows.
  TVeFlickBox(const QList<QImage>& frames, QWidget* parent = nullptr);
  ~TVeFlickBox() override;

  // True when the platform offers buffer swaps that wait for the vertical refresh.
  static bool Available();
  // Whether swaps measured apart by these intervals (milliseconds) were held to a display
  // refreshing every periodMs: most of them must last at least three quarters of a period.
  static bool SwapsLookPaced(std::vector<double> intervalsMs, double periodMs);
  // Swaps measured before deciding whether they are paced.
  static constexpr int ProbeSwaps = 12;

  int FrameCount() const { return int(FFrames.size()); }
  int CurrentFrame() const { return FCurrent; }
  const QImage& Frame(int index) const { return FFrames[index]; }
  // Frames shown so far.
  qint64 FramesShown() const { return FShown; }
  // Unknown until ProbeSwaps swaps were measured; then whether the swaps set the pace.
  enum class TPacing { Probing, Swaps, Timer };
  TPacing Pacing() const { return FPacing; }
  QSize sizeHint() const override;

protected:
  void paintEvent(QPaintEvent*) override;

private:
  friend class TVeFlickWindow;
  void Swapped();
  void NextFrame();
  void Painted() { ++FShown; }
  double RefreshPeriodMs() const;
  QList<QImage> FFrames;
  int FCurrent = 0;
  qint64 FShown = 0;
  TPacing FPacing = TPacing::Probing;
  QElapsedTimer FClock;
  qint64 FLastSwapNs = -1;
  std::vector<double> FIntervals;
  QTimer FTimer;
  TVeFlickWindow* FWindow = nullptr;
  QPointer<QWidget> FContainer;
};
