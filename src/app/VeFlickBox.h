#pragma once
// Shows the frames of a flickering result one after another, one frame per refresh of the
// display. Pacing comes from the buffer swap of an OpenGL surface that waits for the
// vertical refresh; where no such surface exists the box cannot be made (see Available).
#include <QImage>
#include <QList>
#include <QWidget>

#ifdef VELMORA_HAVE_GL
#include <QOpenGLWidget>
using TVeFlickBoxBase = QOpenGLWidget;
#else
using TVeFlickBoxBase = QWidget;
#endif

class TVeFlickBox : public TVeFlickBoxBase {
  Q_OBJECT
public:
  // frames: already scaled to the size the box shows.
  TVeFlickBox(const QList<QImage>& frames, QWidget* parent = nullptr);

  // True when the display can pace frames by its vertical refresh.
  static bool Available();

  int FrameCount() const { return int(FFrames.size()); }
  int CurrentFrame() const { return FCurrent; }
  QSize sizeHint() const override;

protected:
#ifdef VELMORA_HAVE_GL
  void paintGL() override;
#else
  void paintEvent(QPaintEvent*) override;
#endif

private slots:
  void NextFrame();

private:
  QList<QImage> FFrames;
  int FCurrent = 0;
};
