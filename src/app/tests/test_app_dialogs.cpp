// The dialogs: region selection.
#include <QTest>

#include <QTemporaryDir>

#include "VeBitmap32.h"
#include "VeCustomForm.h"
#include "VePalette.h"
#include "VePaletteView.h"
#include "VeQtImage.h"
#include "VeRegionForm.h"
#include "test_app.h"

class TestDialogs : public QObject {
  Q_OBJECT
private slots:
  void regionDragsHandlesAndShowsSize() {
    const TVeBitmap32 picture(200, 160, 0xFF2080C0u);
    // A 100 x 100 destination with 8 x 8 cells, stretched over the region.
    TVeRegionTarget target;
    target.Width = target.Height = 100;
    target.Mode = 2;
    target.CellWidth = target.CellHeight = 8;
    TVeRegionForm form(picture, TVeRect{10, 10, 110, 110}, target);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QCOMPARE(form.windowTitle(), QStringLiteral("Region 100x100"));
    TVeRegionCanvas* canvas = form.Canvas();
    const QPoint m(TVeRegionCanvas::Margin, TVeRegionCanvas::Margin);
    // The source view: gray outside the used area, the picture itself in the first cell, the
    // next cell along dimmed.
    auto isGray = [](QColor c) { return c.red() == c.green() && c.green() == c.blue(); };
    const QColor original(0x20, 0x80, 0xC0);
    QVERIFY(isGray(canvas->Shown().pixelColor(5, 5)));
    QCOMPARE(canvas->Shown().pixelColor(12, 12), original);
    const QColor dim = canvas->Shown().pixelColor(20, 12);
    QVERIFY(!isGray(dim) && dim != original && dim.lightness() < original.lightness());
    QCOMPARE(canvas->Shown().pixelColor(20, 20), original); // the checkerboard's next row
    // Bottom-right corner dragged outwards, past the picture: clamped to it.
    QTest::mousePress(canvas, Qt::LeftButton, {}, QPoint(110, 110) + m);
    QTest::mouseMove(canvas, QPoint(150, 140) + m);
    QTest::mouseMove(canvas, QPoint(300, 300) + m);
    QTest::mouseRelease(canvas, Qt::LeftButton, {}, QPoint(300, 300) + m);
    QCOMPARE(form.Region(), (TVeRect{10, 10, 200, 160}));
    QCOMPARE(form.windowTitle(), QStringLiteral("Region 190x150"));
    // The view follows the region: the old outside is now used.
    QVERIFY(!isGray(canvas->Shown().pixelColor(150, 150)));
    QVERIFY(isGray(canvas->Shown().pixelColor(5, 5)));
    if (const QByteArray dir = qgetenv("VELMORA_SCREENSHOT_DIR"); !dir.isEmpty())
      form.grab().save(QString::fromLocal8Bit(dir) + "/region.png");
    // The centre handle moves the region without resizing it.
    QTest::mousePress(canvas, Qt::LeftButton, {}, QPoint(105, 85) + m);
    QTest::mouseMove(canvas, QPoint(95, 80) + m);
    QTest::mouseRelease(canvas, Qt::LeftButton, {}, QPoint(95, 80) + m);
    QCOMPARE(form.Region().Width(), 190);
    QCOMPARE(form.Region().Height(), 150);
    QCOMPARE(form.Region().Left, 0);
    // A click away from every handle changes nothing.
    const TVeRect before = form.Region();
    QTest::mouseClick(canvas, Qt::LeftButton, {}, QPoint(40, 40) + m);
    QCOMPARE(form.Region(), before);
    // Escape closes and keeps the region, as Enter does.
    QTest::keyClick(&form, Qt::Key_Escape);
    QCOMPARE(form.result(), int(QDialog::Accepted));
  }

  void regionOnAPhotographMarksTheScreensCells() {
    const QImage photo(QStringLiteral(VELMORA_SAMPLES_DIR "/astronaut.png"));
    QVERIFY(!photo.isNull());
    const TVeBitmap32 picture = VeFromQImage(photo);
    // A 256 x 192 screen of 8 x 8 cells fitted in a square region: the used area is the
    // region's middle band, 4:3.
    TVeRegionTarget target;
    target.Width = 256;
    target.Height = 192;
    target.Mode = 1;
    target.CellWidth = target.CellHeight = 8;
    const TVeRect region{64, 64, 448, 448};
    TVeRegionForm form(picture, region, target);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    const QImage& shown = form.Canvas()->Shown();
    auto isGray = [](QColor c) { return c.red() == c.green() && c.green() == c.blue(); };
    QVERIFY(isGray(shown.pixelColor(256, 80))); // in the region, above the used band
    QVERIFY(isGray(shown.pixelColor(20, 256))); // outside the region
    QCOMPARE(shown.pixelColor(66, 114), photo.pixelColor(66, 114));  // first cell: as it is
    QVERIFY(shown.pixelColor(80, 114) != photo.pixelColor(80, 114)); // second cell: dimmed
    if (const QByteArray dir = qgetenv("VELMORA_SCREENSHOT_DIR"); !dir.isEmpty())
      form.grab().save(QString::fromLocal8Bit(dir) + "/region-photo.png");
  }

  void customPaletteMarksLoadAndSave() {
    TVePalette256 hardware;
    for (int i = 0; i < 4; ++i)
      hardware.AddRGB(uint8_t(60 * i), 10, uint8_t(200 - 50 * i));
    TVeAllowedColors allowed{};
    allowed[0] = 1;
    TVeCustomForm form(hardware, allowed);
    QCOMPARE(form.windowTitle(), QStringLiteral("Custom palette"));
    QCOMPARE(form.Grid()->Colors().size(), 4);
    QCOMPARE(form.Grid()->Marks(), (QList<bool>{true, false, false, false}));
    form.Toggle(2);
    QCOMPARE(form.Allowed()[2], 1);
    QTemporaryDir dir;
    const QString file = dir.filePath("marks.pal");
    form.SaveTo(file);
    form.Reset();
    QCOMPARE(form.Grid()->Marks(), (QList<bool>{false, false, false, false}));
    form.LoadFrom(file);
    QCOMPARE(form.Grid()->Marks(), (QList<bool>{true, false, true, false}));
    // Out-of-range cells are ignored.
    form.Toggle(7);
    QCOMPARE(form.Allowed()[7], 0);
  }
};
VE_APP_TEST_SUITE(TestDialogs)

#include "test_app_dialogs.moc"
