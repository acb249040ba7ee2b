// The main window: commands, menus, layout rules.
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QMimeData>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <QActionGroup>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QScreen>

#include "VeAppSettings.h"
#include "VeDest.h"
#include "VeImageView.h"
#include "VeMainForm.h"
#include "VeQtImage.h"
#include "test_app.h"

static QStringList MenuCaptions(QMenu* menu) {
  QStringList captions;
  for (QAction* a : menu->actions())
    if (!a->isSeparator()) captions << a->text();
  return captions;
}

static QMenu* TopMenu(QMainWindow& w, const QString& title) {
  for (QAction* a : w.menuBar()->actions())
    if (a->text() == title) return a->menu();
  return nullptr;
}

class TestWindow : public QObject {
  Q_OBJECT
  QTemporaryDir FDir;
private slots:
  void initTestCase() {
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, FDir.path());
  }

  void captionsAndShortcuts() {
    TVeMainForm form;
    QCOMPARE(form.windowTitle(), QStringLiteral("Velmora"));
    TVeMainActions& a = form.Actions();
    struct {
      QAction* action;
      const char* caption;
      const char* keys;
    } expected[] = {
        {a.Open, "&Open...", "Ctrl+O"},
        {a.OpenFolder, "Open &folder...", ""},
        {a.Paste, "&Paste", "Ctrl+V"},
        {a.Close, "&Close", ""},
        {a.BatchConvert, "&Batch convert...", ""},
        {a.SelectRegion, "&Select region...", "Ctrl+R"},
        {a.OpenPalette, "&Open palette...", ""},
        {a.SavePalette, "&Save palette as...", ""},
        {a.Copy, "&Copy", "Ctrl+C"},
        {a.PasteResult, "&Paste", "Ctrl+Shift+V"},
        {a.SaveBMP, "Save as &BMP...", "Ctrl+Shift+S"},
        {a.SavePNG, "Save as &PNG...", ""},
        {a.SaveGIF, "Save as &GIF...", ""},
        {a.SaveNative[0], nullptr, "Ctrl+S"},
        {a.HideSource, "&Hide source", ""},
        {a.Zoom[0], "Zoom x&1", "Ctrl+1"},
        {a.Zoom[4], "Zoom x&5", "Ctrl+5"},
        {a.NativeAspect, "&Native pixel aspect ratio", "Ctrl+P"},
        {a.ShowFlicker, "&Show flickering images", "Ctrl+F"},
        {a.MarkRuleBreaks, "&Mark rule breaks", ""},
        {a.About, "&About", ""},
        {a.ZoomFit, "Zoom to &fit", "Ctrl+0"},
    };
    for (const auto& e : expected) {
      if (e.caption) QCOMPARE(e.action->text(), QString::fromUtf8(e.caption));
      QCOMPARE(e.action->shortcut().toString(), QString::fromUtf8(e.keys));
    }
    // No shortcut is taken twice.
    QSet<QString> keys;
    for (QAction* action : a.All()) {
      const QString k = action->shortcut().toString();
      if (k.isEmpty()) continue;
      QVERIFY2(!keys.contains(k), qPrintable(k));
      keys.insert(k);
    }
  }

  void aboutNamesVersionLicenceAndLibraries() {
    const QString text = TVeMainForm::AboutText();
    if (!QApplication::applicationVersion().isEmpty())
      QVERIFY(text.contains(QApplication::applicationVersion()));
    QVERIFY(text.contains(QStringLiteral("licence")));
    for (const char* library : {"Qt ", "zlib", "libpng", "giflib"})
      QVERIFY2(text.contains(QLatin1String(library)), library);
  }

  void menusHoldTheirCommands() {
    TVeMainForm form;
    QStringList titles;
    for (QAction* m : form.menuBar()->actions())
      titles << m->text();
    QCOMPARE(titles, (QStringList{"File", "Result", "View", "Help"}));
    QCOMPARE(MenuCaptions(TopMenu(form, "File")),
             (QStringList{"&Open...", "Open &folder...", "&Paste", "&Close", "&Batch convert..."}));
    QMenu* view = TopMenu(form, "View");
    QCOMPARE(MenuCaptions(view).first(), QStringLiteral("&Hide source"));
    QCOMPARE(MenuCaptions(view).size(), 11);
    QCOMPARE(MenuCaptions(view).last(), QStringLiteral("&Reload source when its file changes"));
    QCOMPARE(MenuCaptions(form.SourceMenu()),
             (QStringList{"&Open...", "&Paste", "&Select region...", "&Close"}));
    QVERIFY(form.ResultMenu()->actions().contains(form.Actions().Copy));
    QVERIFY(form.ResultMenu()->actions().contains(form.Actions().SavePalette));
    QCOMPARE(MenuCaptions(form.PaletteMenu(false)),
             (QStringList{"&Open palette...", "&Save palette as..."}));
    QCOMPARE(MenuCaptions(form.PaletteMenu(true)), (QStringList{"&Save palette as..."}));
    // The menus and the shortcuts share one action object per command.
    QVERIFY(TopMenu(form, "Result")->actions().contains(form.Actions().Copy));
  }

  void layoutRules() {
    TVeMainForm form;
    form.resize(1200, 800);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QCOMPARE(form.PlatformBox()->parentWidget()->findChildren<QLabel*>().first()->text(),
             QStringLiteral("Parameters"));
    // Files hidden while the list is empty.
    QVERIFY(!form.FileList()->isVisible());
    QVERIFY(!form.FilesLabel()->isVisible());
    QVERIFY(form.PlatformBox()->parentWidget()->width() >= TVeMainForm::ParamsWidth);
    // Source and result share the height, and one scroll position.
    QVERIFY(qAbs(form.SourceScroll()->height() - form.ResultScroll()->height()) <= 2);
    form.SetHideSource(true);
    QTest::qWait(10);
    QVERIFY(!form.SourceScroll()->isVisible());
    QVERIFY(!form.SourceLabel()->isVisible());
    QVERIFY(form.Actions().HideSource->isChecked());
    QVERIFY(form.ResultScroll()->height() > 600);
    // A double click on the result view toggles it back.
    QTest::mouseDClick(form.ResultView(), Qt::LeftButton);
    QVERIFY(form.SourceScroll()->isVisible());
    QVERIFY(!form.Actions().HideSource->isChecked());
  }

  void sharedScrollPosition() {
    TVeMainForm form;
    form.resize(900, 700);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QImage big(2000, 2000, QImage::Format_RGB32);
    big.fill(Qt::gray);
    form.SourceView()->SetSource(1, big, false);
    form.ResultView()->SetResult(1, 1, 1, false, {}, big);
    QTest::qWait(10);
    form.ResultScroll()->verticalScrollBar()->setValue(300);
    QCOMPARE(form.SourceScroll()->verticalScrollBar()->value(), 300);
    form.SourceScroll()->horizontalScrollBar()->setValue(120);
    QCOMPARE(form.ResultScroll()->horizontalScrollBar()->value(), 120);
  }

  void zoomIsOneExclusiveGroupAndRemembered() {
    QSettings(QStringLiteral("Ostrel Software"), QStringLiteral("Velmora")).clear();
    {
      TVeMainForm form;
      TVeMainActions& a = form.Actions();
      QVERIFY(a.ZoomGroup->isExclusive());
      QCOMPARE(a.ZoomGroup->actions().size(), 1 + TVeMainActions::ZoomCount);
      QVERIFY(form.ZoomFit());
      QVERIFY(a.ZoomFit->isChecked());
      QCOMPARE(MenuCaptions(TopMenu(form, "View")).at(1), QStringLiteral("Zoom to &fit"));
      a.Zoom[2]->trigger();
      QVERIFY(!form.ZoomFit());
      QVERIFY(!a.ZoomFit->isChecked());
      QVERIFY(a.Zoom[2]->isChecked());
      QCOMPARE(form.Dest().ViewZoom(), 3);
      QCOMPARE(TVeAppSettings::Read(TVeAppSettings::Zoom), QStringLiteral("3"));
    }
    {
      TVeMainForm form;
      QVERIFY(!form.ZoomFit());
      QCOMPARE(form.Dest().ViewZoom(), 3);
      QVERIFY(form.Actions().Zoom[2]->isChecked());
      form.Actions().ZoomFit->trigger();
      QCOMPARE(TVeAppSettings::Read(TVeAppSettings::Zoom), QStringLiteral("0"));
    }
    // Anything else read back means fit.
    TVeAppSettings::Write(TVeAppSettings::Zoom, QStringLiteral("9"));
    TVeMainForm form;
    QVERIFY(form.ZoomFit());
  }

  void fitZoomArithmetic() {
    const QSize zx(256, 192);
    QCOMPARE(VeFitZoom({{zx, QSize(1030, 400)}}, 16), 2);
    QCOMPARE(VeFitZoom({{zx, QSize(1030, 400)}, {zx, QSize(1030, 600)}}, 16), 2);
    // The tighter view decides; a picture larger than its room stays at 1.
    QCOMPARE(VeFitZoom({{zx, QSize(1030, 800)}, {QSize(512, 512), QSize(1030, 400)}}, 16), 1);
    QCOMPARE(VeFitZoom({{QSize(8, 8), QSize(1000, 1000)}}, 16), 16);
    // Views without a picture do not count; with none there is nothing to fit.
    QCOMPARE(VeFitZoom({{QSize(), QSize(10, 10)}, {zx, QSize(800, 600)}}, 16), 3);
    QCOMPARE(VeFitZoom({{QSize(), QSize(10, 10)}}, 16), 0);
  }

  void picturesFitAndSitCentred() {
    QSettings(QStringLiteral("Ostrel Software"), QStringLiteral("Velmora")).clear();
    TVeAppSettings::Write(TVeAppSettings::LastPlatform, QStringLiteral("ZX Spectrum"));
    TVeAppSettings::Write(TVeAppSettings::LastMode, QStringLiteral("256x192x4"));
    TVeMainForm form;
    form.resize(1600, 1000);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.OpenFile(QStringLiteral(VELMORA_SAMPLES_DIR "/astronaut.png"));
    QElapsedTimer clock;
    clock.start();
    while ((form.Working() || form.ResultView()->Shown().isNull()) && clock.elapsed() < 60000)
      QTest::qWait(20);
    QTest::qWait(50);
    const int zoom = form.Dest().ViewZoom();
    QVERIFY2(zoom >= 2, qPrintable(QString::number(zoom)));
    for (QScrollArea* area : {form.SourceScroll(), form.ResultScroll()}) {
      auto* view = qobject_cast<TVeImageView*>(area->widget());
      const QSize shown = view->Shown().size(), room = area->maximumViewportSize();
      QVERIFY(shown.width() <= room.width() && shown.height() <= room.height());
      // One step more would not fit.
      const QSize next = view->UnitSize() * (zoom + 1);
      QVERIFY(next.width() > room.width() || next.height() > room.height());
      QCOMPARE(view->Origin(),
               QPoint((view->width() - shown.width()) / 2, (view->height() - shown.height()) / 2));
    }
    // Hiding the source gives the result the whole height, and a larger zoom.
    form.SetHideSource(true);
    QTest::qWait(50);
    QVERIFY(form.Dest().ViewZoom() > zoom);
    // A fixed zoom stays as chosen, at the top left of a large picture.
    form.Actions().Zoom[0]->trigger();
    QTest::qWait(20);
    QCOMPARE(form.ResultView()->Shown().size(), QSize(256, 192));
  }

  void openOffersScreenFiles() {
    const QStringList filters = TVeMainForm::OpenFilters().split(QStringLiteral(";;"));
    QCOMPARE(filters.size(), 7);
    QCOMPARE(filters.first(), QStringLiteral("Images (*.bmp *.png *.jpg *.jpeg *.gif)"));
    QVERIFY(filters.at(1).startsWith(QStringLiteral("Screen files (")));
    QCOMPARE(filters.last(), QStringLiteral("Any file (*)"));
    // The dialog shows native files in either case, and no pictures among them.
    QTemporaryDir dir;
    for (const char* name : {"coffee.scr", "GAME.TAP", "snap.z80", "pic.png", "notes.txt"}) {
      QFile f(dir.filePath(QString::fromLatin1(name)));
      QVERIFY(f.open(QIODevice::WriteOnly));
    }
    TVeMainForm form;
    TVeAppSettings::Write(TVeAppSettings::Path, dir.path());
    std::unique_ptr<QFileDialog> dialog =
        form.CreateFileDialog(TVeMainForm::OpenFilters(), TVeAppSettings::Path);
    QCOMPARE(dialog->nameFilters(), filters);
    QCOMPARE(QDir(dialog->directory()).absolutePath(), QDir(dir.path()).absolutePath());
    const QString screens = filters.at(1);
    const QStringList patterns =
        screens.mid(screens.indexOf('(') + 1).chopped(1).split(' ', Qt::SkipEmptyParts);
    QCOMPARE(QDir(dir.path()).entryList(patterns, QDir::Files | QDir::CaseSensitive, QDir::Name),
             (QStringList{"GAME.TAP", "coffee.scr", "snap.z80"}));
    // Large enough for its columns, within the screen.
    const QSize room = form.screen()->availableSize() * 9 / 10;
    QCOMPARE(dialog->size(), QSize(960, 600).boundedTo(room));
  }

  void dropAcceptance() {
    QMimeData files;
    files.setUrls({QUrl::fromLocalFile("/tmp/a.png")});
    QVERIFY(TVeMainForm::CanDrop(&files));
    QMimeData image;
    image.setImageData(QImage(2, 2, QImage::Format_RGB32));
    QVERIFY(TVeMainForm::CanDrop(&image));
    QMimeData text;
    text.setText("hello");
    QVERIFY(!TVeMainForm::CanDrop(&text));
    QMimeData remote;
    remote.setUrls({QUrl("http://example.org/a.png")});
    QVERIFY(!TVeMainForm::CanDrop(&remote));
  }
};
VE_APP_TEST_SUITE(TestWindow)

#include "test_app_window.moc"
