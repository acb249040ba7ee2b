// The dialogs: region selection.
#include <QTest>

#include "VeRegionForm.h"
#include "test_app.h"

class TestDialogs : public QObject {
  Q_OBJECT
private slots:
  void regionDragsHandlesAndShowsSize() {
    QImage picture(200, 160, QImage::Format_RGB32);
    picture.fill(Qt::darkGreen);
    TVeRegionForm form(picture, TVeRect{10, 10, 110, 110});
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QCOMPARE(form.windowTitle(), QStringLiteral("Region 100x100"));
    TVeRegionCanvas* canvas = form.Canvas();
    // Bottom-right corner dragged outwards, past the picture: clamped to it.
    QTest::mousePress(canvas, Qt::LeftButton, {}, QPoint(110, 110));
    QTest::mouseMove(canvas, QPoint(150, 140));
    QTest::mouseMove(canvas, QPoint(300, 300));
    QTest::mouseRelease(canvas, Qt::LeftButton, {}, QPoint(300, 300));
    QCOMPARE(form.Region(), (TVeRect{10, 10, 200, 160}));
    QCOMPARE(form.windowTitle(), QStringLiteral("Region 190x150"));
    // The centre handle moves the region without resizing it.
    QTest::mousePress(canvas, Qt::LeftButton, {}, QPoint(105, 85));
    QTest::mouseMove(canvas, QPoint(95, 80));
    QTest::mouseRelease(canvas, Qt::LeftButton, {}, QPoint(95, 80));
    QCOMPARE(form.Region().Width(), 190);
    QCOMPARE(form.Region().Height(), 150);
    QCOMPARE(form.Region().Left, 0);
    // A click away from every handle changes nothing.
    const TVeRect before = form.Region();
    QTest::mouseClick(canvas, Qt::LeftButton, {}, QPoint(40, 40));
    QCOMPARE(form.Region(), before);
    // Escape closes and keeps the region, as Enter does.
    QTest::keyClick(&form, Qt::Key_Escape);
    QCOMPARE(form.result(), int(QDialog::Accepted));
  }
};
VE_APP_TEST_SUITE(TestDialogs)

#include "test_app_dialogs.moc"
