// The picture views and the settings store.
#include <QElapsedTimer>
#include <QSet>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include "VeAppSettings.h"
#include "VeFlickBox.h"
#include "VeImageView.h"
#include "VeQtImage.h"
#include "test_app.h"

std::vector<TVeAppSuiteMaker>& VeAppTestSuites() {
  static std::vector<TVeAppSuiteMaker> suites;
  return suites;
}

class TestViews : public QObject {
  Q_OBJECT
  QTemporaryDir FDir;
private slots:
  void initTestCase() {
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, FDir.path());
  }

  void settingsMissingReadEmpty() {
    QCOMPARE(TVeAppSettings::Read(QStringLiteral("NoSuchValue")), QString());
    TVeAppSettings::Write(TVeAppSettings::BatchPath, QStringLiteral("/tmp/x"));
    QCOMPARE(TVeAppSettings::Read(TVeAppSettings::BatchPath), QStringLiteral("/tmp/x"));
    QSettings raw(QStringLiteral("Ostrel Software"), QStringLiteral("Velmora"));
    QCOMPARE(raw.value(QStringLiteral("BatchPath")).toString(), QStringLiteral("/tmp/x"));
  }

  void bitmapRoundTrip() {
    TVeBitmap32 b(3, 2, VeRGBQuad(1, 2, 3));
    b.Pixel(2, 1) = VeRGBQuad(200, 100, 50);
    QImage q = VeToQImage(b);
    QCOMPARE(q.size(), QSize(3, 2));
    QCOMPARE(q.pixel(2, 1), qRgb(200, 100, 50));
    QCOMPARE(VeFromQImage(q), b);
    // Transparent pixels come in as they look on white.
    QImage t(1, 1, QImage::Format_ARGB32);
    t.fill(Qt::transparent);
    QCOMPARE(VeFromQImage(t).Pixel(0, 0), VeRGBQuad(255, 255, 255));
  }

  void aspectAndZoomScaling() {
    QImage img(4, 3, QImage::Format_RGB32);
    img.fill(Qt::red);
    img.setPixel(0, 0, qRgb(0, 0, 255));
    // pair (2, 1): twice as high; zoom 2 on top.
    QImage s = VeScaleForView(img, 2, 1, 2);
    QCOMPARE(s.size(), QSize(8, 12));
    // nearest neighbour: the corner pixel covers exactly 2 x 4 pixels.
    QCOMPARE(s.pixel(1, 3), qRgb(0, 0, 255));
    QCOMPARE(s.pixel(2, 3), qRgb(255, 0, 0));
    QCOMPARE(s.pixel(1, 4), qRgb(255, 0, 0));
    // pair (5, 7): width scaled by 7/5, rounded half to even (4 * 1.4 = 5.6 -> 6).
    QCOMPARE(VeScaleForView(img, 5, 7, 1).size(), QSize(6, 3));
    QCOMPARE(VeScaleForView(img, 1, 1, 0).size(), QSize(4, 3));
  }

  void resultViewWaitBoxAndProgress() {
    TVeDestImage view;
    view.resize(400, 300);
    QImage preview(10, 10, QImage::Format_RGB32);
    preview.fill(Qt::green);
    view.SetResult(1, 1, 3, false, {}, preview);
    QCOMPARE(view.Shown().size(), QSize(30, 30));
    QVERIFY(view.WaitBox().isEmpty());
    // Busy without a preview keeps the picture and shows the wait box.
    view.SetResult(1, 1, 3, true, {}, QImage());
    QCOMPARE(view.Shown().size(), QSize(30, 30));
    const QRect box = view.WaitBox();
    const QFontMetrics m = view.fontMetrics();
    QCOMPARE(box.width(), m.horizontalAdvance(TVeDestImage::WaitText()) + 100);
    QCOMPARE(box.height(), m.height() * 2 + 8);
    view.SetProgress(10, 5);
    QCOMPARE(view.ProgressDone(), 5u);
    QImage shot = view.grab().toImage();
    QCOMPARE(shot.pixelColor(box.center().x(), box.top() + 2), QColor(Qt::white));
    // Not busy, no preview: the picture is cleared.
    view.SetResult(1, 1, 1, false, {}, QImage());
    QVERIFY(view.Shown().isNull());
  }

  void swapPacingDecision() {
    const double period = 1000.0 / 60;
    // A 60 Hz display holding every swap, with one late swap and one early one.
    QVERIFY(TVeFlickBox::SwapsLookPaced({16.6, 16.7, 33.4, 16.6, 2.0, 16.7, 16.6}, period));
    // A virtual display returning at once, with the odd slow swap.
    QVERIFY(!TVeFlickBox::SwapsLookPaced({0.6, 0.5, 40.0, 0.7, 0.6, 0.5, 0.6}, period));
    // A 144 Hz display is paced too when the screen says 144 Hz, not when it says 60.
    QVERIFY(TVeFlickBox::SwapsLookPaced({6.9, 7.0, 6.9, 7.0}, 1000.0 / 144));
    QVERIFY(!TVeFlickBox::SwapsLookPaced({6.9, 7.0, 6.9, 7.0}, period));
    QVERIFY(!TVeFlickBox::SwapsLookPaced({}, period));
  }

  void flickerBoxAlternatesFrames() {
    if (!TVeFlickBox::Available()) QSKIP("no OpenGL display with swap intervals");
    QImage a(8, 8, QImage::Format_RGB32), b(8, 8, QImage::Format_RGB32);
    a.fill(Qt::black);
    b.fill(Qt::white);
    TVeFlickBox box({a, b});
    QCOMPARE(box.size(), QSize(8, 8));
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    // Whichever pacing the display turns out to give, both frames keep showing in turn.
    QSet<int> seen;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 10000 &&
           (box.Pacing() == TVeFlickBox::TPacing::Probing || seen.size() < 2)) {
      seen.insert(box.CurrentFrame());
      QTest::qWait(5);
    }
    QVERIFY(box.Pacing() != TVeFlickBox::TPacing::Probing);
    QCOMPARE(seen.size(), 2);
    const qint64 shown = box.FramesShown();
    QTest::qWait(200);
    QVERIFY(box.FramesShown() > shown);
  }
};
VE_APP_TEST_SUITE(TestViews)

#include "test_app_views.moc"
