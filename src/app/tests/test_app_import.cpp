// The import dialog over the core's import model, reached by opening a native file.
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "VeLoadScrForm.h"
#include "VeMainForm.h"
#include "VePaletteList.h"
#include "VeSource.h"
#include "VeSourceEngines.h"
#include "test_app.h"

namespace {

// A 32 x 16 four-colour screen in any ".tst" file.
class TTestLoader : public TVeSourceEngine {
public:
  explicit TTestLoader(TVeLoadSource* s, const char* name = "TTestLoader")
      : TVeSourceEngine(s, name) {
    Width = 32;
    Height = 16;
    BitsPerPixel = 2;
    for (int i = 0; i < 4; ++i)
      Palette->AddRGB(uint8_t(i * 85), uint8_t(255 - i * 85), 40);
    Description = "Test" + SizeText() + " image";
  }
  static TVeSourceMatch Check(TVeLoadSource* s) {
    return s && s->Ext == ".tst" ? TVeSourceMatch(smExtension | smExactSize) : 0;
  }
  std::unique_ptr<TVeBitmap> CreateBitmap() override {
    auto bitmap = VeCreateResultBitmap(Width, Palette.get(), Height, false);
    for (int y = 0; y < Height; ++y)
      for (int x = 0; x < Width; ++x)
        bitmap->SetPixel(x, y, (x / 8 + y / 4) % 4);
    return bitmap;
  }
};

// The same screen read with tall pixels ("1:2"), ranked lower.
class TTallLoader : public TTestLoader {
public:
  explicit TTallLoader(TVeLoadSource* s) : TTestLoader(s, "TTallLoader") {
    PixelAspect = 1;
    Description = "Tall" + SizeText() + " image";
    SetDefaultZxPaletteTypes();
  }
  static TVeSourceMatch Check(TVeLoadSource* s) {
    return s && s->Ext == ".tst" ? TVeSourceMatch(smExtension) : 0;
  }
};

// Runs f on the import dialog once it shows; a dialog f left open (a failed check) is
// closed so the test cannot hang.
template <class F> void WhenImportShows(F f) {
  QTimer::singleShot(50, [f] {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* form = qobject_cast<TVeLoadScrForm*>(w); form && form->isVisible()) {
        f(*form);
        if (form->isVisible()) form->reject();
        return;
      }
    WhenImportShows(f);
  });
}

void Shoot(QWidget& w, const char* name) {
  const QByteArray dir = qgetenv("VELMORA_SCREENSHOT_DIR");
  if (!dir.isEmpty()) w.grab().save(QString::fromLocal8Bit(dir) + "/" + name);
}

} // namespace

class TestImport : public QObject {
  Q_OBJECT
  QTemporaryDir FDir;
  QString FFile;
private slots:
  void initTestCase() {
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, FDir.path());
    RegisterSourceEngine(VeSourceEngineClass<TTestLoader>("TTestLoader"));
    RegisterSourceEngine(VeSourceEngineClass<TTallLoader>("TTallLoader"));
    FFile = FDir.filePath("screen.tst");
    QFile f(FFile);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(256, 7));
  }

  void importsThePictureTheUserConfirms() {
    TVeMainForm form;
    bool seen = false;
    WhenImportShows([&seen](TVeLoadScrForm& dialog) {
      seen = true;
      QCOMPARE(dialog.windowTitle(), QStringLiteral("Import"));
      QVERIFY(dialog.TypeBox());
      QCOMPARE(dialog.TypeBox()->count(), 2);
      QCOMPARE(dialog.TypeBox()->itemText(0), QStringLiteral("Test 32x16x2 image"));
      QCOMPARE(dialog.SizeLabel()->text(), QStringLiteral("32x16x2"));
      // The tall reading doubles the height of the preview.
      dialog.TypeBox()->setCurrentIndex(1);
      QCOMPARE(dialog.SizeLabel()->text(), QStringLiteral("32x32x2"));
      QCOMPARE(dialog.PreviewLabel()->pixmap().size(), QSize(32, 32));
      // Its palette types by name, the default chosen.
      QComboBox* types = dialog.PaletteTypeBox();
      QVERIFY(types->isEnabled());
      QCOMPARE(types->count(), 3);
      QCOMPARE(types->itemText(0), QStringLiteral("Pulsar (205)"));
      QCOMPARE(types->currentText(), QStringLiteral("Linear"));
      QCOMPARE(types->itemText(2), QStringLiteral("Vardel (160)"));
      QVERIFY(dialog.ImportBothButton()->isEnabled());
      Shoot(dialog, "import.png");
      dialog.ImportButton()->click();
    });
    form.OpenFile(FFile);
    QVERIFY(seen);
    QCOMPARE(QString::fromStdString(form.Source().Name()), QStringLiteral("screen.tst"));
    QCOMPARE(form.Source().Image()->Width(), 32);
    QCOMPARE(form.Source().Image()->Height(), 32);
  }

  void importingOnlyThePaletteKeepsThePicture() {
    TVeMainForm form;
    form.OpenFile(QStringLiteral(VELMORA_SAMPLES_DIR "/coffee.png"));
    const int before = TVePaletteList::Shared().Count();
    WhenImportShows([](TVeLoadScrForm& dialog) { dialog.ImportPaletteButton()->click(); });
    form.OpenFile(FFile);
    QCOMPARE(QString::fromStdString(form.Source().Name()), QStringLiteral("coffee.png"));
    QCOMPARE(TVePaletteList::Shared().Count(), before + 1);
  }

  void closingTheDialogChangesNothing() {
    TVeMainForm form;
    form.OpenFile(QStringLiteral(VELMORA_SAMPLES_DIR "/coffee.png"));
    WhenImportShows([](TVeLoadScrForm& dialog) { dialog.reject(); });
    form.OpenFile(FFile);
    QCOMPARE(QString::fromStdString(form.Source().Name()), QStringLiteral("coffee.png"));
  }
};
VE_APP_TEST_SUITE(TestImport)

#include "test_app_import.moc"
