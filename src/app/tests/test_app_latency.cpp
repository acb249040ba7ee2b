// An option changed with a large photograph open: the new result must arrive without the
// progress poll, from the kept preparation. The times are printed for comparison only; no
// case passes or fails on them.
#include <QElapsedTimer>
#include <QImage>
#include <QLabel>
#include <QMimeData>
#include <QPainter>
#include <QSettings>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <algorithm>

#include "VeAppSettings.h"
#include "VeDest.h"
#include "VeDestEngineUI.h"
#include "VeImageView.h"
#include "VeMainForm.h"
#include "VeOptionPanel.h"
#include "test_app.h"

namespace {

// A 4000 x 3000 photograph: a sample scaled up, with a fine pattern so it is not smooth.
QImage LargePhotograph() {
  QImage picture = QImage(QStringLiteral(VELMORA_SAMPLES_DIR "/astronaut.png"))
                       .scaled(4000, 3000, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                       .convertToFormat(QImage::Format_RGB32);
  QPainter painter(&picture);
  painter.setPen(QColor(255, 255, 255, 40));
  for (int x = 0; x < picture.width(); x += 7)
    painter.drawLine(x, 0, x + 300, picture.height());
  return picture;
}

bool WaitResult(TVeMainForm& form) {
  QElapsedTimer guard; // against a hang only
  guard.start();
  while ((form.Working() || !form.Dest().ResultPreview()) && guard.elapsed() < 60000)
    QTest::qWait(1);
  return !form.Working() && form.Dest().ResultPreview();
}

} // namespace

class TestLatency : public QObject {
  Q_OBJECT
private slots:
  void optionChangeShowsTheResultWithoutThePoll() {
    QSettings(QStringLiteral("Ostrel Software"), QStringLiteral("Velmora")).clear();
    TVeAppSettings::Write(TVeAppSettings::LastPlatform, QStringLiteral("ZX Spectrum"));
    TVeAppSettings::Write(TVeAppSettings::LastMode, QStringLiteral("256x192x4"));
    TVeMainForm form;
    form.show();
    QMimeData drop;
    drop.setImageData(LargePhotograph());
    QVERIFY(form.DropData(&drop));
    QVERIFY(WaitResult(form));
    qInfo("first conversion: %s", qPrintable(form.TimeLabel()->text()));
    TVeOptionPanel* panel = form.Panel();
    QVERIFY(panel);
    auto* lightness = qobject_cast<QSlider*>(panel->ControlWidget(ciLightnessFix));
    QVERIFY(lightness);

    // Each change as the user makes it, until its result is in the view; pollOnly stands for
    // the window without the wake-up, on its 100 ms timer alone.
    auto measure = [&](bool pollOnly) {
      QList<qint64> times;
      QStringList labels;
      for (int i = 0; i < 6; ++i) {
        const QImage before = form.ResultView()->Shown();
        QElapsedTimer clock;
        clock.start();
        lightness->setValue(i % 2 ? 0 : 10);
        // The prepared picture is kept: no resize of the photograph again.
        if (form.Dest().HasResizeThread()) return QStringLiteral("resized again");
        if (!WaitResult(form)) return QStringLiteral("no result");
        times << clock.elapsed();
        labels << form.TimeLabel()->text();
        if (form.ResultView()->Shown() == before) return QStringLiteral("result not shown");
        if (!labels.last().startsWith(QStringLiteral("Converted in ")))
          return QStringLiteral("status: ") + labels.last();
      }
      std::sort(times.begin(), times.end());
      qInfo("%s: median %lld ms (%lld to %lld); %s", pollOnly ? "poll only" : "woken",
            times[times.size() / 2], times.first(), times.last(),
            qPrintable(labels.join(QStringLiteral(", "))));
      return QString();
    };

    // With every 100 ms timer stopped, the wake-up alone must deliver.
    QList<QTimer*> stopped;
    for (QTimer* timer : form.findChildren<QTimer*>())
      if (timer->interval() == 100 && timer->isActive()) {
        timer->stop();
        stopped << timer;
      }
    QVERIFY(!stopped.isEmpty());
    QString failed = measure(false);
    QVERIFY2(failed.isEmpty(), qPrintable(failed));
    // The window as it was: the poll timer alone delivers.
    form.Dest().SetWakeUp(nullptr);
    for (QTimer* timer : stopped)
      timer->start();
    failed = measure(true);
    QVERIFY2(failed.isEmpty(), qPrintable(failed));
  }
};

VE_APP_TEST_SUITE(TestLatency)

#include "test_app_latency.moc"
