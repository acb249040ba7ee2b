// The option panel renderer over the core's panel model.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QSpinBox>
#include <QTest>

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
    QCOMPARE(method->count(), 9);
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
    panel.ChooseColor = [](int current) { return current == 0 ? 0x123456 : -1; };
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
};
VE_APP_TEST_SUITE(TestOptionPanel)

#include "test_app_options.moc"
