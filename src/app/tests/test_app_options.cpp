// The option panel renderer over the core's panel model.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QSpinBox>
#include <QTest>
#include <set>

#include "VeColorChoiceDialog.h"
#include "VeDestEngine.h"
#include "VeDestEngineList.h"
#include "VeDestEngineUI.h"
#include "VeOptionPanel.h"
#include "VePalette.h"
#include "VePaletteList.h"
#include "VePaletteView.h"
#include "VeSeparator.h"
#include "test_app.h"

namespace {

class TPanelOptions : public TVeDestEngineOptions {
public:
  TVeSize GetDefaultSize() const override { return {256, 192}; }
};

class TPanel : public TVeDestEngineUIEx {
public:
  explicit TPanel(TVeDestEngineOptions& o) : TVeDestEngineUIEx(o) {
    AddDimension();
    AddPositionBorder({1, 17});
    AddPaletteSeparator();
    AddPaletteList();
    AddPaletteView(16, 16, true);
    AddMaxColorCount();
    AddMaxFlickering();
    AddDithering(false);
    AddComment();
  }
};

class THost : public IVeOptionsHost {
public:
  int Changes = 0;
  int Border = -1;
  void OptionsChanged() override { ++Changes; }
  void SetBorderColor(int rgb) override { Border = rgb; }
};

} // namespace

class TestOptionPanel : public QObject {
  Q_OBJECT
private slots:
  void rendersEveryGroupInOrder() {
    auto options = VeNewOptions<TPanelOptions>();
    TVeOptionPanel panel(std::make_unique<TPanel>(*options));
    panel.show();
    QStringList separators;
    for (TVeSeparator* s : panel.findChildren<TVeSeparator*>())
      separators << s->Caption();
    QCOMPARE(separators, (QStringList{"Palette", "Dithering", "Comment"}));
    // Captions with their mnemonics, as labels with buddies.
    auto* position = qobject_cast<QLabel*>(panel.ControlLabel(ciPosition));
    QVERIFY(position);
    QCOMPARE(position->text(), QStringLiteral("P&osition:"));
    QCOMPARE(position->buddy(), panel.ControlWidget(ciPosition));
    auto* aspect = qobject_cast<QComboBox*>(panel.ControlWidget(ciAspect));
    QVERIFY(aspect);
    QStringList aspects;
    for (int i = 0; i < aspect->count(); ++i)
      aspects << aspect->itemText(i);
    QCOMPARE(aspects, (QStringList{"1:2", "1:1", "2:1"}));
    auto* width = qobject_cast<QSpinBox*>(panel.ControlWidget(ciWidth));
    QCOMPARE(width->value(), 256);
    QCOMPARE(width->minimum(), 8);
    QCOMPARE(width->maximum(), 2048);
    auto* dimension = qobject_cast<QLabel*>(panel.ControlWidget(ciDimensionLabel));
    QCOMPARE(dimension->text(), QStringLiteral("&Dimension:"));
    QCOMPARE(dimension->buddy(), panel.ControlWidget(ciWidth));
    auto* method = qobject_cast<QComboBox*>(panel.ControlWidget(ciDitherMethod));
    QCOMPARE(method->count(), 11);
    QCOMPARE(method->currentIndex(), 1);
    auto* flicker = qobject_cast<QSlider*>(panel.ControlWidget(ciMaxFlickering));
    QCOMPARE(flicker->maximum(), 100);
    auto* lightness = qobject_cast<QSlider*>(panel.ControlWidget(ciLightnessFix));
    QCOMPARE(lightness->minimum(), -90);
    QVERIFY(panel.PaletteView());
    QVERIFY(panel.PaletteView()->Original());
    QCOMPARE(panel.PaletteView()->Columns(), 16);
  }

  void inputReachesTheOptionsOnlyOnRealChange() {
    auto options = VeNewOptions<TPanelOptions>();
    auto model = std::make_unique<TPanel>(*options);
    THost host;
    model->SetDest(&host);
    TVeOptionPanel panel(std::move(model));
    auto* method = qobject_cast<QComboBox*>(panel.ControlWidget(ciDitherMethod));
    method->setCurrentIndex(3);
    QCOMPARE(int(options->DitherMethod()), 3);
    QCOMPARE(host.Changes, 1);
    auto* serpentine = qobject_cast<QCheckBox*>(panel.ControlWidget(ciSerpentine));
    serpentine->setChecked(false);
    QCOMPARE(options->Serpentine(), false);
    QCOMPARE(host.Changes, 2);
    auto* diffusion = qobject_cast<QSlider*>(panel.ControlWidget(ciErrorDiffusion));
    diffusion->setValue(40);
    QCOMPARE(options->ErrorDiffusion(), 40);
    auto* count = qobject_cast<QSpinBox*>(panel.ControlWidget(ciMaxColorCount));
    count->setValue(16);
    QCOMPARE(options->MaxColorCount(), 16);
    QCOMPARE(host.Changes, 4);
    // Showing the model's state again does not feed back into it.
    panel.Sync();
    QCOMPARE(host.Changes, 4);
  }

  void openedPalettesAppearInThePanelAtOnce() {
    auto options = VeNewOptions<TPanelOptions>();
    auto model = std::make_unique<TPanel>(*options);
    THost host;
    model->SetDest(&host);
    TVeOptionPanel panel(std::move(model));
    auto* list = qobject_cast<QComboBox*>(panel.ControlWidget(ciPaletteList));
    QVERIFY(list);
    const int before = list->count();
    list->setCurrentIndex(6); // "RGB333"
    QCOMPARE(int(options->PaletteType()), int(ptRGB333));
    const int changes = host.Changes;
    auto add = [](const char* name, uint8_t level) {
      auto p = std::make_unique<TVePalette256>();
      p->Name = name;
      p->Temporary = true; // removed again below
      p->AddRGB(level, level, level);
      p->AddRGB(255, 0, 0);
      TVePaletteList::Shared().Add(std::move(p));
    };
    add("Panel test one", 10);
    QCOMPARE(list->count(), before + 1);
    QCOMPARE(list->itemText(before), QStringLiteral("Panel test one"));
    QCOMPARE(list->currentText(), QStringLiteral("RGB333"));
    QCOMPARE(host.Changes, changes); // nothing the conversion uses changed
    // A chosen library palette stays chosen when another one arrives.
    list->setCurrentIndex(before);
    QCOMPARE(int(options->PaletteType()), int(ptColored));
    QCOMPARE(options->Palette().GetCount(), 2);
    add("Panel test two", 20);
    QCOMPARE(list->count(), before + 2);
    QCOMPARE(list->currentText(), QStringLiteral("Panel test one"));
    TVePaletteList::Shared().RemoveTemporary();
    QCOMPARE(list->count(), before);
  }

  void borderColorAndNativeButton() {
    auto options = VeNewOptions<TPanelOptions>();
    auto model = std::make_unique<TPanel>(*options);
    THost host;
    model->SetDest(&host);
    TVeOptionPanel panel(std::move(model));
    panel.ChooseColor = [](int current, const std::vector<int>& allowed) {
      return current == 0 && allowed.empty() ? 0x123456 : -1;
    };
    qobject_cast<QPushButton*>(panel.ControlWidget(ciBorderSelect))->click();
    QCOMPARE(host.Border, 0x123456);
    QCOMPARE(options->BorderColor(), 0x123456);
    QCOMPARE(panel.ControlWidget(ciBorderColor)->palette().color(QPalette::Window),
             QColor(0x12, 0x34, 0x56));
    // "&Native dimension" turns into "&Image dimension" once a source exists; the widgets
    // are rebuilt afterwards and show the new caption.
    panel.ModelEx()->SetSourcePictureSize(640, 400);
    QSignalSpy relaid(&panel, &TVeOptionPanel::LayoutChanged);
    qobject_cast<QPushButton*>(panel.ControlWidget(ciNativeDimension))->click();
    QVERIFY(relaid.wait(1000));
    QCOMPARE(qobject_cast<QPushButton*>(panel.ControlWidget(ciNativeDimension))->text(),
             QStringLiteral("&Image dimension"));
  }

  // "Select..." offers only the colours the machine's border can show: eight on a ZX
  // Spectrum (following the palette type), fifteen on an MSX screen 2, any colour in Common.
  void borderColorsOfTheMode() {
    struct TCase {
      const char* Platform;
      const char* Mode;
      int Count;
    };
    for (const TCase& c :
         {TCase{"ZX Spectrum", "256x192x4", 8}, TCase{"MSX", "2 256x192x4", 15},
          TCase{"Amstrad CPC", "1 320x200x2", 27}, TCase{"TI-99/4A", "9918A 256x192x4", 15},
          TCase{"Common", "Palette", 0}}) {
      const TVeDestEngineClass* cls = DestEngineList().Find(c.Platform, c.Mode);
      QVERIFY2(cls, c.Mode);
      std::unique_ptr<TVeDestEngine> engine = cls->Create();
      std::unique_ptr<TVeDestEngineOptions> options = engine->CreateOptions();
      std::unique_ptr<TVeDestEngineUI> model = engine->CreateUI(*options);
      THost host;
      static_cast<TVeSourceDestUI*>(model.get())->SetDest(&host);
      TVeOptionPanel panel(std::move(model));
      std::vector<int> offered;
      panel.ChooseColor = [&offered](int, const std::vector<int>& allowed) {
        offered = allowed;
        return allowed.empty() ? 0x123456 : allowed.back();
      };
      qobject_cast<QPushButton*>(panel.ControlWidget(ciBorderSelect))->click();
      QCOMPARE(int(offered.size()), c.Count);
      QCOMPARE(host.Border, offered.empty() ? 0x123456 : offered.back());
      if (c.Count == 8) {
        // Black first, white (no bright) last, and no two alike.
        QCOMPARE(offered.front(), 0);
        QVERIFY(offered.back() != 0xFFFFFF && (offered.back() & 0xFF) == (offered.back() >> 16));
        QCOMPARE(int(std::set<int>(offered.begin(), offered.end()).size()), 8);
      }
    }
  }

  void colorChoiceDialogPicksOneOfItsColors() {
    const QList<int> colors = {0x000000, 0x0000C0, 0xC00000, 0xC0C0C0};
    QCOMPARE(TVeColorChoiceDialog::Nearest(colors, 0x101010), 0);
    QCOMPARE(TVeColorChoiceDialog::Nearest(colors, 0xF00010), 2);
    QCOMPARE(TVeColorChoiceDialog::Nearest({}, 0), -1);
    // A border carried over from a free-colour mode starts on its nearest machine colour.
    TVeColorChoiceDialog dialog(colors, 0xB0B0B0);
    QCOMPARE(dialog.Chosen(), 0xC0C0C0);
    dialog.show();
    QTest::mouseClick(dialog.Swatch(1), Qt::LeftButton);
    QCOMPARE(dialog.Chosen(), 0x0000C0);
    QVERIFY(dialog.Swatch(1)->toolTip().contains(QStringLiteral("0000C0")));
  }
};
VE_APP_TEST_SUITE(TestOptionPanel)

#include "test_app_options.moc"
