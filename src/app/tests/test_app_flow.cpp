// The main window driving the real core: start-up choices, mode changes, drops, saving and
// responsiveness while a conversion runs.
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QMimeData>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <QWindow>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <sys/resource.h>
#include <thread>

#include "VeAppSettings.h"
#include "VeBitmap.h"
#include "VeDest.h"
#include "VeDestEngineList.h"
#include "VeFlickBox.h"
#include "VeImageView.h"
#include "VeMainForm.h"
#include "VeOptionPanel.h"
#include "VeOutputSet.h"
#include "VeSaveResult.h"
#include "VeSource.h"
#include "VeStream.h"
#include "test_app.h"

namespace {

class TTestPanel : public TVeDestEngineUIEx {
public:
  explicit TTestPanel(TVeDestEngineOptions& o) : TVeDestEngineUIEx(o) {
    AddDimension(false);
    AddPositionBorder();
    AddDithering(false);
  }
};

class TTestOptions : public TVeDestFixedSizeEngineOptions {
public:
  TVeSize GetDefaultSize() const override { return {64, 48}; }
};

// A 64 x 48 two-colour mode with two frames and native files EVE (with ODD) and PAL.
class TTestEngine : public TVeDestEngine {
public:
  static std::string PlatformName() { return "App Test"; }
  static std::string ModeName() { return "Files"; }
  std::unique_ptr<TVeDestEngineUI> CreateUI(TVeDestEngineOptions& o) const override {
    return std::make_unique<TTestPanel>(o);
  }
  std::unique_ptr<TVeDestEngineOptions> CreateOptions() const override {
    return VeNewOptions<TTestOptions>();
  }
  static std::unique_ptr<TVeBitmap> Convert(const TVeCancelFlag*, const TVeBitmap32& source,
                                            std::unique_ptr<TVeStreamList>& files, TVeDestProgress&,
                                            TVeDestEngineOptions&, const TVePalette256*,
                                            const TVePalette256*) {
    TVePalette256 palette;
    palette.AddRGB(0, 0, 0);
    palette.AddRGB(255, 255, 255);
    auto bitmap = VeCreateResultBitmap(source.Width(), &palette, source.Height(), true);
    for (int y = 0; y < source.Height(); ++y)
      for (int x = 0; x < source.Width(); ++x)
        bitmap->SetPixel(x, y, (source.Pixel(x, y) & 0xFF) > 127);
    for (int k = 0; k < 2; ++k)
      bitmap->AddFrame(&palette);
    files = std::make_unique<TVeStreamList>();
    files->AddNew("eve", 10, 1)->AddNewSub("odd", 5, 2);
    files->AddNew("pal", 3, 3);
    ++Conversions;
    return bitmap;
  }
  static inline std::atomic<int> Conversions{0};
};

// Takes its time, but stops as soon as the run is stale.
class TSlowEngine : public TTestEngine {
public:
  static std::string ModeName() { return "Slow"; }
  static std::unique_ptr<TVeBitmap> Convert(const TVeCancelFlag* cancel, const TVeBitmap32& source,
                                            std::unique_ptr<TVeStreamList>& files,
                                            TVeDestProgress& progress, TVeDestEngineOptions& o,
                                            const TVePalette256* u, const TVePalette256* s) {
    progress.SetProgress(100, 0);
    for (int i = 0; i < 100; ++i) {
      if (cancel && cancel->load()) VeAbort();
      std::this_thread::sleep_for(std::chrono::milliseconds(15));
      progress.Step();
    }
    return TTestEngine::Convert(cancel, source, files, progress, o, u, s);
  }
};

void RegisterTestEngines() {
  static bool done = false;
  if (done) return;
  done = true;
  RegisterDestEngine<TTestEngine>();
  RegisterDestEngine<TSlowEngine>();
}

QString Sample(const char* name) {
  return QStringLiteral(VELMORA_SAMPLES_DIR "/") + QString::fromLatin1(name);
}

bool WaitIdle(TVeMainForm& form, int ms = 30000) {
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < ms) {
    QTest::qWait(20);
    if (!form.Working()) return true;
  }
  return false;
}

void Choose(TVeMainForm& form, const QString& platform, const QString& mode) {
  form.PlatformBox()->setCurrentIndex(form.PlatformBox()->findText(platform));
  form.ScreenBox()->setCurrentIndex(form.ScreenBox()->findText(mode));
}

int PanelCount(TVeMainForm& form) {
  return int(form.PlatformBox()->parentWidget()->findChildren<TVeOptionPanel*>().size());
}

class TPaletteCounter : public IVeDestClient {
public:
  int Palettes = 0;
  void DestSourceView(int, const TVeBitmap32*, bool) override {}
  void DestResultView(TVeAspectPair, int, bool, const TVeBitmapList*, const TVeBitmap32*) override {
  }
  void DestPalette(const TVePalette256&, int, int) override { ++Palettes; }
};

} // namespace

class TestFlow : public QObject {
  Q_OBJECT
  QTemporaryDir FDir;
private slots:
  void initTestCase() {
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, FDir.path());
    RegisterTestEngines();
  }
  void init() { QSettings(QStringLiteral("Ostrel Software"), QStringLiteral("Velmora")).clear(); }

  void startsWithRememberedChoice() {
    TVeAppSettings::Write(TVeAppSettings::LastPlatform, QStringLiteral("zx SPECTRUM"));
    TVeAppSettings::Write(TVeAppSettings::LastMode, QStringLiteral("256x192x4 giga"));
    TVeMainForm form;
    QCOMPARE(form.PlatformBox()->currentText(), QStringLiteral("ZX Spectrum"));
    QCOMPARE(form.ScreenBox()->currentText(), QStringLiteral("256x192x4 Giga"));
    QCOMPARE(QString::fromStdString(form.Dest().EngineClass()->GetModeName()),
             QStringLiteral("256x192x4 Giga"));
    QCOMPARE(PanelCount(form), 1);
  }

  void unknownPlatformFallsBackToCommon() {
    TVeAppSettings::Write(TVeAppSettings::LastPlatform, QStringLiteral("Nowhere 2000"));
    TVeAppSettings::Write(TVeAppSettings::LastMode, QStringLiteral("256x192x4"));
    TVeMainForm form;
    QCOMPARE(form.PlatformBox()->currentIndex(), 0);
    QCOMPARE(form.PlatformBox()->currentText(), QStringLiteral("Common"));
    QCOMPARE(form.ScreenBox()->currentText(), QStringLiteral("B/W"));
    QVERIFY(form.PlatformBox()->maxVisibleItems() >= form.PlatformBox()->count());
  }

  void singleModePlatformDisablesScreenList() {
    TVeMainForm form;
    QVERIFY(form.ScreenBox()->isEnabled());
    form.PlatformBox()->setCurrentIndex(form.PlatformBox()->findText(QStringLiteral("Corvette")));
    QCOMPARE(form.ScreenBox()->count(), 1);
    QVERIFY(!form.ScreenBox()->isEnabled());
    QCOMPARE(TVeAppSettings::Read(TVeAppSettings::LastPlatform), QStringLiteral("Corvette"));
    QCOMPARE(TVeAppSettings::Read(TVeAppSettings::LastMode), QStringLiteral("512x256x3"));
    form.PlatformBox()->setCurrentIndex(form.PlatformBox()->findText(QStringLiteral("MSX")));
    QVERIFY(form.ScreenBox()->isEnabled());
    QCOMPARE(form.ScreenBox()->currentIndex(), 0);
  }

  void twoQuickModeChangesLeaveOnePanelAndOneConversion() {
    TVeMainForm form;
    form.OpenFile(Sample("coffee.png"));
    TPaletteCounter counter;
    form.Dest().AddClient(&counter);
    Choose(form, QStringLiteral("App Test"), QStringLiteral("Slow"));
    form.ScreenBox()->setCurrentIndex(form.ScreenBox()->findText(QStringLiteral("Files")));
    QCOMPARE(PanelCount(form), 1);
    QVERIFY(WaitIdle(form));
    QCOMPARE(counter.Palettes, 1);
    QCOMPARE(QString::fromStdString(form.Dest().EngineClass()->GetModeName()),
             QStringLiteral("Files"));
    QVERIFY(form.Dest().ResultPreview());
    form.Dest().RemoveClient(&counter);
  }

  void droppingAFolderFillsTheListOnly() {
    QTemporaryDir dir;
    QFile::copy(Sample("coffee.png"), dir.filePath("b.png"));
    QFile::copy(Sample("astronaut.png"), dir.filePath("a.PNG"));
    QFile text(dir.filePath("notes.txt"));
    QVERIFY(text.open(QIODevice::WriteOnly));
    text.write("hello");
    text.close();
    QDir(dir.path()).mkdir("sub.png");
    TVeMainForm form;
    form.show();
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(dir.path())});
    QVERIFY(form.DropData(&data));
    QCOMPARE(form.FileList()->count(), 2);
    QCOMPARE(form.FileList()->item(0)->text(), QStringLiteral("a.PNG"));
    QVERIFY(form.FileList()->isVisible());
    QVERIFY(form.FilesLabel()->isVisible());
    QVERIFY(form.Source().Empty());
    QCOMPARE(form.windowTitle(), QStringLiteral("Velmora"));
    QVERIFY(form.Actions().Close->isEnabled());
    // Picking an entry opens it.
    form.FileList()->setCurrentRow(1);
    QCOMPARE(QString::fromStdString(form.Source().Name()), QStringLiteral("b.png"));
    QCOMPARE(form.windowTitle(), QStringLiteral("b.png - Velmora"));
    // Dropping files empties the list and opens the first of them.
    QMimeData files;
    files.setUrls(
        {QUrl::fromLocalFile(Sample("astronaut.png")), QUrl::fromLocalFile(Sample("coffee.png"))});
    QVERIFY(form.DropData(&files));
    QCOMPARE(QString::fromStdString(form.Source().Name()), QStringLiteral("astronaut.png"));
    QCOMPARE(form.FileList()->count(), 0);
    QVERIFY(!form.FileList()->isVisible());
    QCOMPARE(form.windowTitle(), QStringLiteral("astronaut.png - Velmora"));
    form.Actions().Close->trigger();
    QVERIFY(form.Source().Empty());
    QCOMPARE(form.windowTitle(), QStringLiteral("Velmora"));
  }

  void aBadFileKeepsThePreviousPicture() {
    QTemporaryDir dir;
    QFile bad(dir.filePath("bad.png"));
    QVERIFY(bad.open(QIODevice::WriteOnly));
    bad.write("\\x89PNG but nothing else");
    bad.close();
    TVeMainForm form;
    form.OpenFile(Sample("coffee.png"));
    // The error box is closed by the test as soon as it shows.
    QTimer::singleShot(200, [] {
      if (QWidget* box = QApplication::activeModalWidget()) box->close();
    });
    form.OpenFile(dir.filePath("bad.png"));
    QCOMPARE(QString::fromStdString(form.Source().Name()), QStringLiteral("coffee.png"));
  }

  // The player draws in a window of its own: the main window keeps its native window, and
  // playing costs little CPU (no busy loop, no recomposing the whole window per frame).
  void flickerPlayerKeepsTheWindowAndIdles() {
    if (!TVeFlickBox::Available()) QSKIP("no OpenGL display with swap intervals");
    TVeMainForm form;
    form.resize(1280, 720);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.OpenFile(Sample("coffee.png"));
    Choose(form, QStringLiteral("App Test"), QStringLiteral("Files"));
    QVERIFY(WaitIdle(form));
    const WId id = form.winId();
    QWindow* const handle = form.windowHandle();
    TVeMainActions& a = form.Actions();
    a.ShowFlicker->trigger();
    TVeFlickBox* box = form.ResultView()->FlickBox();
    QVERIFY(box);
    QTest::qWait(500); // past the pacing probe
    QCOMPARE(form.winId(), id);
    QCOMPARE(form.windowHandle(), handle);
    const auto cpu = [] {
      rusage u{};
      getrusage(RUSAGE_SELF, &u);
      return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
             double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
    };
    const qint64 shown = box->FramesShown();
    QElapsedTimer wall;
    wall.start();
    const double before = cpu();
    QTest::qWait(2000);
    const double load = (cpu() - before) / (double(wall.elapsed()) / 1000.0);
    qInfo("flicker player: %.0f %% of one core, %lld frames in %lld ms", load * 100,
          box->FramesShown() - shown, wall.elapsed());
    QVERIFY(box->FramesShown() > shown + 10);
    // A busy loop would hold a whole core or more.
    QVERIFY2(load < 0.6, qPrintable(QString::number(load)));
    a.ShowFlicker->trigger();
    QVERIFY(!form.ResultView()->FlickBox());
    QCOMPARE(form.winId(), id);
  }

  void saveCommandsFollowTheResult() {
    TVeMainForm form;
    TVeMainActions& a = form.Actions();
    QVERIFY(!a.SaveBMP->isEnabled());
    QVERIFY(!a.Copy->isEnabled());
    QVERIFY(!a.SelectRegion->isEnabled());
    QVERIFY(!a.SaveNative[0]->isVisible());
    form.OpenFile(Sample("coffee.png"));
    QVERIFY(a.SelectRegion->isEnabled());
    Choose(form, QStringLiteral("App Test"), QStringLiteral("Files"));
    QVERIFY(WaitIdle(form));
    QVERIFY(a.SaveBMP->isEnabled());
    QVERIFY(a.SavePNG->isEnabled());
    QVERIFY(a.SaveGIF->isEnabled()); // one bit per pixel
    QVERIFY(a.Copy->isEnabled());
    QCOMPARE(a.SaveNative[0]->text(), QStringLiteral("Save as &EVE/ODD..."));
    QCOMPARE(a.SaveNative[0]->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_S));
    QCOMPARE(a.SaveNative[1]->text(), QStringLiteral("Save as &PAL..."));
    QVERIFY(a.SaveNative[1]->isVisible() && a.SaveNative[1]->isEnabled());
    QVERIFY(!a.SaveNative[2]->isVisible());
    QVERIFY(form.Dest().HasFrames());
    // The flicker player: offered only where the display can pace it.
    QCOMPARE(a.ShowFlicker->isEnabled(), TVeFlickBox::Available());
    if (a.ShowFlicker->isEnabled()) {
      a.ShowFlicker->trigger();
      QVERIFY(a.ShowFlicker->isChecked());
      QVERIFY(form.ResultView()->FlickBox());
      QCOMPARE(form.ResultView()->FlickBox()->FrameCount(), 2);
      a.ShowFlicker->trigger();
      QVERIFY(!form.ResultView()->FlickBox());
    }
    // A new run clears the result, and the commands with it.
    form.Dest().SetBorderColor(0x00FF00);
    form.Dest().OptionsChanged();
    QVERIFY(!a.SaveBMP->isEnabled() || form.Dest().ResultPreview());
  }

  void openConvertSaveRoundTrip() {
    QTemporaryDir out;
    TVeMainForm form;
    form.OpenFile(Sample("astronaut.png"));
    Choose(form, QStringLiteral("App Test"), QStringLiteral("Files"));
    QVERIFY(WaitIdle(form));
    QVERIFY(!form.ResultView()->Shown().isNull());
    QCOMPARE(form.ResultView()->Shown().size(), QSize(64, 48));
    form.SavePictureTo(out.filePath("photo.png"));
    QVERIFY(form.StatusMessage().startsWith(QStringLiteral("Saved photo.png (")));
    QVERIFY(form.StatusMessage().contains(QStringLiteral(", photo.1.png (")));
    QVERIFY(QFile::exists(out.filePath("photo.png")));
    QVERIFY(QFile::exists(out.filePath("photo.0.png")));
    QVERIFY(QFile::exists(out.filePath("photo.1.png")));
    QImage saved(out.filePath("photo.png"));
    QCOMPARE(saved.size(), QSize(64, 48));
    form.SaveNativeTo(0, out.filePath("photo.eve"));
    QFile eve(out.filePath("photo.eve")), odd(out.filePath("photo.odd"));
    QVERIFY(eve.open(QIODevice::ReadOnly));
    QCOMPARE(eve.readAll(), QByteArray(10, 1));
    QVERIFY(odd.open(QIODevice::ReadOnly));
    QCOMPARE(odd.readAll(), QByteArray(5, 2));
    // The status bar says what was written, how long the run took and what the mode is.
    QCOMPARE(form.StatusMessage(),
             QStringLiteral("Saved photo.eve (10 bytes), photo.odd (5 bytes)"));
    QVERIFY2(form.TimeLabel()->text().startsWith(QStringLiteral("Converted in ")),
             qPrintable(form.TimeLabel()->text()));
    QCOMPARE(form.ModeLabel()->text(), QStringLiteral("64 × 48, 2 colours"));
    // Result > Export: the raw data of each native file, named after them.
    QAction* raw = nullptr;
    for (QAction* e : form.Actions().Export)
      if (e->data().toString() == QStringLiteral("raw")) raw = e;
    QVERIFY(raw && raw->isEnabled());
    form.ExportTo(QStringLiteral("raw"), out.filePath("photo.bin"));
    QFile rawEve(out.filePath("photo_eve.bin"));
    QVERIFY(rawEve.open(QIODevice::ReadOnly));
    QCOMPARE(rawEve.readAll(), QByteArray(10, 1));
    QVERIFY(QFile::exists(out.filePath("photo_odd.bin")));
    // Saving over the open source picture is refused until the user agrees (the command
    // asks); a forgotten prompt never replaces it.
    const QString source = out.filePath("source.png");
    QVERIFY(QFile::copy(Sample("astronaut.png"), source));
    form.OpenFile(source);
    QVERIFY(WaitIdle(form));
    QFile before(source);
    QVERIFY(before.open(QIODevice::ReadOnly));
    const QByteArray original = before.readAll();
    before.close();
    bool refused = false;
    try {
      form.SavePictureTo(out.filePath("./source.png"), sfPNG);
    } catch (const EVeOutputRefused& e) {
      refused = e.Kind == TVeOutputRefusal::InputFile;
    }
    QVERIFY(refused);
    QVERIFY(before.open(QIODevice::ReadOnly));
    QCOMPARE(before.readAll(), original);
    before.close();
    form.SavePictureTo(source, sfPNG, true);
    QVERIFY(before.open(QIODevice::ReadOnly));
    QVERIFY(before.readAll() != original);
    // Zoom doubles the shown result; the zoom commands tick the current one.
    form.Actions().Zoom[1]->trigger();
    QCOMPARE(form.ResultView()->Shown().size(), QSize(128, 96));
    QVERIFY(form.Actions().Zoom[1]->isChecked());
    QVERIFY(!form.Actions().Zoom[0]->isChecked());
  }

  void clipboardCopyPasteAndPasteIntoResult() {
    TVeMainForm form;
    TVeMainActions& a = form.Actions();
    QClipboard* clipboard = QApplication::clipboard();
    // A picture on the clipboard opens as the source "Unnamed".
    QImage picture(80, 60, QImage::Format_RGB32);
    picture.fill(QColor(200, 200, 200));
    clipboard->setImage(picture);
    QVERIFY(a.Paste->isEnabled());
    QVERIFY(a.PasteResult->isEnabled());
    a.Paste->trigger();
    QCOMPARE(QString::fromStdString(form.Source().Name()), QStringLiteral("Unnamed"));
    QCOMPARE(form.windowTitle(), QStringLiteral("Unnamed - Velmora"));
    Choose(form, QStringLiteral("App Test"), QStringLiteral("Files"));
    QVERIFY(WaitIdle(form));
    QCOMPARE(form.ResultView()->Shown().pixelColor(0, 0), QColor(Qt::white));
    // The result goes to the clipboard as it is.
    a.Copy->trigger();
    QImage copied = clipboard->image();
    QCOMPARE(copied.size(), QSize(64, 48));
    QCOMPARE(copied.pixelColor(10, 10), QColor(Qt::white));
    // Pasted back with a black block drawn in, the result takes the pasted pixels; a
    // picture of twice the prepared size is halved first.
    for (const int scale : {1, 2}) {
      QImage edited = copied.scaled(copied.size() * scale).convertToFormat(QImage::Format_RGB32);
      for (int y = 0; y < 8 * scale; ++y)
        for (int x = 0; x < 8 * scale; ++x)
          edited.setPixelColor(x, y, Qt::black);
      clipboard->setImage(edited);
      QVERIFY(a.PasteResult->isEnabled());
      a.PasteResult->trigger();
      QVERIFY(WaitIdle(form));
      const QImage shown = form.ResultView()->Shown();
      QCOMPARE(shown.pixelColor(2, 2), QColor(Qt::black));
      QCOMPARE(shown.pixelColor(20, 20), QColor(Qt::white));
    }
    // A picture of any other size leaves the result alone.
    QImage odd(30, 30, QImage::Format_RGB32);
    odd.fill(Qt::black);
    clipboard->setImage(odd);
    a.PasteResult->trigger();
    QVERIFY(WaitIdle(form));
    QCOMPARE(form.ResultView()->Shown().pixelColor(20, 20), QColor(Qt::white));
    clipboard->clear();
    QVERIFY(!a.PasteResult->isEnabled());
  }

  void sourceViewMarksTheCellsOfCellModes() {
    TVeMainForm form;
    QImage picture(256, 192, QImage::Format_RGB32);
    picture.fill(QColor(180, 150, 120));
    QApplication::clipboard()->setImage(picture);
    form.Actions().Paste->trigger();
    Choose(form, QStringLiteral("ZX Spectrum"), QStringLiteral("256x192x4"));
    QVERIFY(WaitIdle(form));
    const QImage zx = form.SourceView()->Shown();
    const int cell = 8 * zx.width() / 256; // the view may be zoomed by the mode's scale
    QCOMPARE(zx.pixelColor(0, 0), QColor(180, 150, 120));
    QVERIFY(zx.pixelColor(cell, 0).lightness() < 150);
    QCOMPARE(zx.pixelColor(cell, cell), QColor(180, 150, 120));
    // Multicolor cells are 8 x 1 and 8 x 2: the grid shows them, not stripes of columns.
    for (int h : {1, 2}) {
      Choose(form, QStringLiteral("ZX Spectrum"),
             QStringLiteral("256x192x4 Multicolor 8x%1").arg(h));
      QVERIFY(WaitIdle(form));
      const QImage mc = form.SourceView()->Shown();
      const int px = mc.width() / 256, row = h * mc.height() / 192;
      QCOMPARE(mc.pixelColor(0, 0), QColor(180, 150, 120));
      QCOMPARE(mc.pixelColor(0, row - 1), QColor(180, 150, 120));
      QVERIFY(mc.pixelColor(0, row).lightness() < 150);
      QVERIFY(mc.pixelColor(8 * px, 0).lightness() < 150);
      QCOMPARE(mc.pixelColor(8 * px, row), QColor(180, 150, 120));
    }
    // A mode without cells shows the picture plainly.
    Choose(form, QStringLiteral("App Test"), QStringLiteral("Files"));
    QVERIFY(WaitIdle(form));
    const QImage plain = form.SourceView()->Shown();
    QCOMPARE(plain.pixelColor(8, 0), plain.pixelColor(0, 0));
    QApplication::clipboard()->clear();
  }

  void windowStaysResponsiveDuringASlowConversion() {
    TVeMainForm form;
    form.show();
    form.OpenFile(Sample("coffee.png"));
    Choose(form, QStringLiteral("App Test"), QStringLiteral("Slow"));
    QTest::qWait(150);
    QVERIFY(form.Working());
    QVERIFY(form.ResultView()->Busy());
    // Options change while the conversion runs; events keep flowing meanwhile.
    auto* method = qobject_cast<QComboBox*>(form.Panel()->ControlWidget(ciDitherMethod));
    QVERIFY(method);
    QElapsedTimer clock;
    clock.start();
    method->setCurrentIndex(0);
    bool fired = false;
    QTimer::singleShot(10, [&] { fired = true; });
    QTest::qWait(100);
    QVERIFY(fired);
    QVERIFY(clock.elapsed() < 1000);
    QVERIFY(form.Working());
    QCOMPARE(int(form.Dest().Options()->DitherMethod()), 0);
    QTest::qWait(300);
    QVERIFY(form.ResultView()->ProgressDone() > 0);
    QVERIFY(WaitIdle(form));
    QVERIFY(form.Dest().ResultPreview());
  }

  // A paint program saves the open picture again: it is read again, the region kept while the
  // size stays; a file that cannot be read keeps the picture; the View option stops it.
  void aChangedSourceFileIsReadAgain() {
    QTemporaryDir dir;
    const QString path = dir.filePath("drawn.png"), next = dir.filePath("drawn.tmp.png");
    QImage picture(40, 30, QImage::Format_RGB32);
    picture.fill(QColor(200, 10, 10));
    QVERIFY(picture.save(path, "PNG"));
    TVeMainForm form;
    form.OpenFile(path);
    TVeSource& source = form.Source();
    QVERIFY(source.Image());
    const TVeRect region{5, 4, 25, 20};
    source.SetRegion(region);
    const auto red = [&] { return (source.Image()->Pixel(0, 0) >> 16 & 0xFF) > 150; };
    QVERIFY(red());

    // Written beside it and renamed over it, as many programs save.
    picture.fill(QColor(10, 10, 200));
    QVERIFY(picture.save(next, "PNG"));
    QVERIFY(std::rename(next.toLocal8Bit().constData(), path.toLocal8Bit().constData()) == 0);
    QVERIFY(QTest::qWaitFor([&] { return source.Image() && !red(); }, 5000));
    QVERIFY(source.Region() == region);

    // Half written: the picture stays, and the next complete save is read.
    {
      QFile broken(path);
      QVERIFY(broken.open(QIODevice::WriteOnly | QIODevice::Truncate));
      broken.write("\x89PNG");
    }
    QTest::qWait(800);
    QVERIFY(source.Image());
    QCOMPARE(QString::fromStdString(source.Name()), QStringLiteral("drawn.png"));
    picture = QImage(50, 30, QImage::Format_RGB32);
    picture.fill(QColor(200, 10, 10));
    QVERIFY(picture.save(path, "PNG"));
    QVERIFY(QTest::qWaitFor([&] { return source.Image() && red(); }, 5000));
    // Another size: the whole picture.
    QCOMPARE(source.Region().Width(), 50);

    form.Actions().WatchSource->setChecked(false);
    picture.fill(QColor(10, 10, 200));
    QVERIFY(picture.save(path, "PNG"));
    QTest::qWait(800);
    QVERIFY(red());
  }
};
VE_APP_TEST_SUITE(TestFlow)

#include "test_app_flow.moc"
