// The batch dialog over the core's batch thread.
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include "VeAppSettings.h"
#include "VeBatchConvertForm.h"
#include "VeDest.h"
#include "VeDestEngineList.h"
#include "test_app.h"

namespace {
void Shoot(QWidget& w, const char* name) {
  const QByteArray dir = qgetenv("VELMORA_SCREENSHOT_DIR");
  if (!dir.isEmpty()) w.grab().save(QString::fromLocal8Bit(dir) + "/" + name);
}

bool WaitFinished(TVeBatchConvertForm& form, int ms = 120000) {
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < ms) {
    QTest::qWait(50);
    if (form.Finished()) return true;
  }
  return false;
}
} // namespace

class TestBatch : public QObject {
  Q_OBJECT
  QTemporaryDir FDir;
private slots:
  void initTestCase() {
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, FDir.path());
  }

  void convertsAFolderAndLogsEachFile() {
    QTemporaryDir src, dst;
    QFile::copy(QStringLiteral(VELMORA_SAMPLES_DIR "/coffee.png"), src.filePath("a.PNG"));
    QFile bad(src.filePath("b.gif"));
    QVERIFY(bad.open(QIODevice::WriteOnly));
    bad.write("not a picture at all");
    bad.close();
    QFile::copy(QStringLiteral(VELMORA_SAMPLES_DIR "/coffee.png"), src.filePath("c.txt"));
    TVeAppSettings::Write(TVeAppSettings::Path, src.path());
    TVeAppSettings::Write(TVeAppSettings::BatchPath, QString());

    TVeDest dest;
    dest.SetEngine(DestEngineList().Find("Common", "B/W"));
    TVeBatchConvertForm form(&dest, {});
    form.show();
    QCOMPARE(form.windowTitle(), QStringLiteral("Batch convert"));
    QVERIFY(form.SourceEdit());
    QCOMPARE(form.SourceEdit()->text(), src.path());
    QCOMPARE(form.DestEdit()->text(), src.path()); // no "BatchPath" yet: "Path"
    QCOMPARE(form.FormatBox()->currentText(), QStringLiteral("Native"));
    QVERIFY(form.ConvertButton()->isDefault());
    form.DestEdit()->setText(QStringLiteral("  ") + dst.path() + QStringLiteral(" "));
    form.FormatBox()->setCurrentIndex(1); // PNG
    form.ConvertButton()->click();
    QVERIFY(!form.ConvertButton()->isEnabled());
    QVERIFY(!form.SourceEdit()->isEnabled());
    QVERIFY(WaitFinished(form));
    QCOMPARE(form.CancelButton()->text(), QStringLiteral("Close"));
    QCOMPARE(form.Progress()->value(), form.Progress()->maximum());
    QVERIFY(form.StatusLabel()->text().isEmpty());
    const QString log = form.Log()->toPlainText();
    QVERIFY2(log.contains(QStringLiteral("a.PNG: OK")), qPrintable(log));
    QVERIFY2(log.contains(QStringLiteral(": Unknown image type")), qPrintable(log));
    QVERIFY(!log.contains(QStringLiteral("c.txt")));
    QVERIFY(QFile::exists(dst.filePath("a.png")));
    QCOMPARE(TVeAppSettings::Read(TVeAppSettings::BatchPath), dst.path());
    Shoot(form, "batch.png");
    form.CancelButton()->click();
    QVERIFY(!form.isVisible());
  }

  void aSecondRunInTheSameDialog() {
    QTemporaryDir src, dst1, dst2;
    QFile::copy(QStringLiteral(VELMORA_SAMPLES_DIR "/coffee.png"), src.filePath("a.png"));
    TVeAppSettings::Write(TVeAppSettings::Path, QStringLiteral("/nowhere"));
    TVeAppSettings::Write(TVeAppSettings::BatchPath, dst1.path());
    TVeDest dest;
    dest.SetEngine(DestEngineList().Find("Common", "B/W"));
    // The open picture's folder comes before "Path"; the last destination is kept.
    TVeBatchConvertForm form(&dest, {}, nullptr, src.path());
    QCOMPARE(form.SourceEdit()->text(), QDir::toNativeSeparators(src.path()));
    QCOMPARE(form.DestEdit()->text(), dst1.path());
    QCOMPARE(form.ProgressLabel()->text(), QStringLiteral("Progress:"));
    QCOMPARE(form.ProgressLabel()->buddy(), form.Progress());
    QVERIFY(form.Progress()->isTextVisible());
    form.show();
    form.ConvertButton()->click();
    QVERIFY(WaitFinished(form));
    QVERIFY(QFile::exists(dst1.filePath("a.bmp")));
    // Finished: everything may be changed and run again.
    for (QWidget* w : std::initializer_list<QWidget*>{form.SourceEdit(), form.DestEdit(),
                                                      form.FormatBox(), form.ConvertButton()})
      QVERIFY(w->isEnabled());
    QCOMPARE(form.CancelButton()->text(), QStringLiteral("Close"));
    form.DestEdit()->setText(dst2.path());
    form.FormatBox()->setCurrentIndex(1);
    form.ConvertButton()->click();
    QVERIFY(form.Running());
    QCOMPARE(form.CancelButton()->text(), QStringLiteral("Cancel"));
    QVERIFY(!form.DestEdit()->isEnabled());
    QVERIFY(WaitFinished(form));
    QVERIFY(QFile::exists(dst2.filePath("a.png")));
    QCOMPARE(TVeAppSettings::Read(TVeAppSettings::BatchPath), dst2.path());
    QCOMPARE(form.Log()->toPlainText().count(QStringLiteral("a.png: OK")), 2);
    Shoot(form, "batch-again.png");
  }

  void withTheWindowsFileListThereIsNoSourceFolder() {
    QTemporaryDir dst;
    TVeAppSettings::Write(TVeAppSettings::BatchPath, dst.path());
    TVeDest dest;
    dest.SetEngine(DestEngineList().Find("Common", "B/W"));
    TVeBatchConvertForm form(&dest, {QStringLiteral(VELMORA_SAMPLES_DIR "/coffee.png")});
    QVERIFY(!form.SourceEdit());
    QCOMPARE(form.DestEdit()->text(), dst.path());
    form.FormatBox()->setCurrentIndex(0);
    form.ConvertButton()->click();
    // Closing at once waits for the running step and then ends the batch.
    form.CancelButton()->click();
    QVERIFY(!form.Running());
  }
};
VE_APP_TEST_SUITE(TestBatch)

#include "test_app_batch.moc"
