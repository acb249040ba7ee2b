// The main window: commands, menus, layout rules.
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

#include "VeImageView.h"
#include "VeMainForm.h"
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
        {a.About, "About", ""},
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
    QCOMPARE(MenuCaptions(view).size(), 8);
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
