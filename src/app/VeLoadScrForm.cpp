#include "VeLoadScrForm.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QSlider>
#include <QVBoxLayout>

#include "VeAppSettings.h"
#include "VeMainActions.h"
#include "VeOutputSet.h"
#include "VePaletteList.h"
#include "VePaletteType.h"
#include "VePaletteView.h"
#include "VeQtImage.h"
#include "VeSaveResult.h"
#include "VeSourceEngines.h"

static QString Q(const std::string& s) {
  return QString::fromStdString(s);
}

static QString PaletteTypeName(TVePaletteType type) {
  return QString::fromLatin1(VePaletteTypeName(type));
}

TVeLoadScrForm::TVeLoadScrForm(TVeSourceEngineList& engines, QWidget* parent)
    : QDialog(parent), FModel(std::make_unique<TVeImportModel>(engines)) {
  setWindowTitle(QStringLiteral("Import"));
  auto* layout = new QVBoxLayout(this);
  auto* grid = new QGridLayout;
  int row = 0;
  if (FModel->ShowsChooser()) {
    auto* label = new QLabel(QStringLiteral("Image &type:"), this);
    FType = new QComboBox(this);
    for (const std::string& d : FModel->Descriptions())
      FType->addItem(Q(d));
    label->setBuddy(FType);
    grid->addWidget(label, row, 0);
    grid->addWidget(FType, row++, 1);
    connect(FType, &QComboBox::currentIndexChanged, this, [this](int index) {
      if (FSyncing || index < 0) return;
      FModel->SelectEngine(index);
      Sync();
    });
  } else {
    auto* label = new QLabel(Q(FModel->Descriptions().front()), this);
    label->setAlignment(Qt::AlignCenter);
    grid->addWidget(label, row++, 0, 1, 2);
  }
  auto addSlider = [&](const QString& caption, QSlider*& slider, QLabel*& value) {
    auto* label = new QLabel(caption, this);
    slider = new QSlider(Qt::Horizontal, this);
    slider->setRange(1, 16);
    slider->setPageStep(1);
    value = new QLabel(this);
    value->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("00")));
    label->setBuddy(slider);
    auto* line = new QHBoxLayout;
    line->addWidget(slider, 1);
    line->addWidget(value);
    grid->addWidget(label, row, 0);
    grid->addLayout(line, row++, 1);
  };
  addSlider(QStringLiteral("Pixel &width:"), FPixelWidth, FPixelWidthValue);
  addSlider(QStringLiteral("Pixel &height:"), FPixelHeight, FPixelHeightValue);
  connect(FPixelWidth, &QSlider::valueChanged, this, [this](int v) {
    if (FSyncing) return;
    FModel->SetPixelWidth(v);
    Sync();
  });
  connect(FPixelHeight, &QSlider::valueChanged, this, [this](int v) {
    if (FSyncing) return;
    FModel->SetPixelHeight(v);
    Sync();
  });
  auto addList = [&](const QString& caption, QComboBox*& box) {
    auto* label = new QLabel(caption, this);
    box = new QComboBox(this);
    label->setBuddy(box);
    grid->addWidget(label, row, 0);
    grid->addWidget(box, row++, 1);
    return label;
  };
  addList(QStringLiteral("P&alette:"), FPaletteType);
  addList(QStringLiteral("&Variant:"), FVariant);
  FCalculationLabel = addList(QStringLiteral("&Calculation:"), FCalculation);
  FCalculation->addItems({QStringLiteral("Standard"), QStringLiteral("Linear")});
  connect(FPaletteType, &QComboBox::currentIndexChanged, this, [this](int index) {
    if (FSyncing || index < 0) return;
    FModel->SetPaletteType(FModel->Engine()->PaletteTypes.at(size_t(index)));
    Sync();
  });
  connect(FVariant, &QComboBox::currentIndexChanged, this, [this](int index) {
    if (FSyncing || index < 0) return;
    FModel->SetPaletteVariant(FVariant->itemText(index).toStdString());
    Sync();
  });
  connect(FCalculation, &QComboBox::currentIndexChanged, this, [this](int index) {
    if (FSyncing || index < 0) return;
    FModel->SetCalculation(uint8_t(index));
    Sync();
  });
  grid->setColumnStretch(1, 1);
  layout->addLayout(grid);

  FPreview = new QLabel(this);
  FPreview->setAlignment(Qt::AlignCenter);
  auto* scroll = new QScrollArea(this);
  scroll->setWidget(FPreview);
  scroll->setWidgetResizable(true);
  scroll->setMinimumSize(320, 240);
  layout->addWidget(scroll, 1);
  FSize = new QLabel(this);
  FSize->setAlignment(Qt::AlignCenter);
  layout->addWidget(FSize);
  FPalette = new TVePaletteView(16, 1, this);
  layout->addWidget(FPalette);

  auto* buttons = new QHBoxLayout;
  auto* copy = new QPushButton(QStringLiteral("&Copy image"), this);
  auto* save = new QPushButton(QStringLiteral("&Save image"), this);
  auto* saveMenu = new QMenu(save);
  for (const char* format : {"BMP", "PNG", "GIF"}) {
    const QString f = QString::fromLatin1(format);
    QAction* a = saveMenu->addAction(TVeMainActions::SaveCaption(f));
    connect(a, &QAction::triggered, this, [this, f] { SaveImage(f); });
    if (f == QLatin1String("GIF")) FSaveGif = a;
  }
  save->setMenu(saveMenu);
  FImport = new QPushButton(QStringLiteral("&Import image"), this);
  FImport->setDefault(true);
  FImportBoth = new QPushButton(QStringLiteral("Import image and palette"), this);
  FImportPalette = new QPushButton(QStringLiteral("Import &palette"), this);
  auto* close = new QPushButton(QStringLiteral("Close"), this);
  for (QPushButton* b : {copy, save, FImport, FImportBoth, FImportPalette})
    buttons->addWidget(b);
  buttons->addStretch(1);
  buttons->addWidget(close);
  layout->addLayout(buttons);
  connect(copy, &QPushButton::clicked, this,
          [this] { QApplication::clipboard()->setImage(VeToQImage(FModel->Preview())); });
  connect(FImport, &QPushButton::clicked, this, [this] { Import(true, false); });
  connect(FImportBoth, &QPushButton::clicked, this, [this] { Import(true, true); });
  connect(FImportPalette, &QPushButton::clicked, this, [this] { Import(false, true); });
  connect(close, &QPushButton::clicked, this, &QDialog::reject);

  FModel->SelectEngine(0);
  Sync();
}

TVeLoadScrForm::~TVeLoadScrForm() = default;

void TVeLoadScrForm::Sync() {
  FSyncing = true;
  TVeSourceEngine* engine = FModel->Engine();
  if (FType) FType->setCurrentIndex(FModel->EngineIndex());
  FPixelWidth->setValue(FModel->PixelWidth());
  FPixelHeight->setValue(FModel->PixelHeight());
  FPixelWidthValue->setNum(FModel->PixelWidth());
  FPixelHeightValue->setNum(FModel->PixelHeight());
  FPaletteType->clear();
  for (TVePaletteType t : engine->PaletteTypes)
    FPaletteType->addItem(PaletteTypeName(t));
  const auto& types = engine->PaletteTypes;
  const auto it = std::find(types.begin(), types.end(), engine->PaletteType);
  FPaletteType->setCurrentIndex(it == types.end() ? -1 : int(it - types.begin()));
  FPaletteType->setEnabled(FModel->PaletteTypeEnabled());
  FVariant->clear();
  for (const std::string& v : engine->PaletteVariants)
    FVariant->addItem(Q(v));
  FVariant->setCurrentIndex(FVariant->findText(Q(engine->PaletteVariant)));
  FVariant->setEnabled(FModel->VariantEnabled());
  FCalculation->setVisible(FModel->CalculationShown());
  FCalculationLabel->setVisible(FModel->CalculationShown());
  FCalculation->setCurrentIndex(engine->Calculation == vcStandard ? 0 : 1);
  FPreview->setPixmap(QPixmap::fromImage(VeToQImage(FModel->Preview())));
  FSize->setText(Q(FModel->SizeLabel()));
  QList<QRgb> colors;
  if (engine->Palette)
    for (int i = 0; i < engine->Palette->Count(); ++i)
      colors.append(engine->Palette->GetRGBQuad(i) | 0xFF000000u);
  const int columns = std::max(1, FModel->PaletteDisplayColumns());
  auto* view =
      new TVePaletteView(columns, std::max(1, int((colors.size() + columns - 1) / columns)), this);
  view->SetColors(colors);
  delete layout()->replaceWidget(FPalette, view); // the old layout item is ours to free
  delete FPalette;
  FPalette = view;
  FPalette->show();
  const bool palette = FModel->CanImportPalette();
  FImportBoth->setEnabled(palette);
  FImportPalette->setEnabled(palette);
  const std::vector<std::string> formats = FModel->SaveFormats();
  FSaveGif->setEnabled(std::find(formats.begin(), formats.end(), "GIF") != formats.end());
  FSyncing = false;
}

void TVeLoadScrForm::Import(bool picture, bool palette) {
  try {
    if (palette)
      for (std::unique_ptr<TVePalette256>& p : FModel->ImportPalettes())
        TVePaletteList::Shared().Add(std::move(p));
    if (picture) {
      FPicture = FModel->ImportImage();
      FFrames = FModel->ImportFrames();
      accept();
    } else {
      reject(); // only the palette: the source picture stays as it was
    }
  } catch (const std::exception& e) {
    QMessageBox::critical(this, windowTitle(), QString::fromUtf8(e.what()));
  }
}

void TVeLoadScrForm::SaveImage(const QString& format) {
  const QString ext = format.toLower();
  QFileDialog dialog(this);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setNameFilter(QStringLiteral("*.%1 (*.%1)").arg(ext));
  dialog.setDefaultSuffix(ext);
  dialog.setDirectory(TVeAppSettings::Read(TVeAppSettings::Path));
  dialog.selectFile(QFileInfo(Q(FModel->Engine()->FileName)).completeBaseName() + '.' + ext);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  QString path = dialog.selectedFiles().first();
  // The picture's format decides the extension.
  path = QString::fromStdString(VeNameWithExtension(path.toStdString(), ext.toStdString()));
  try {
    TVeOutputSet set;
    set.Add(path.toStdString(), FModel->SaveImage(format.toStdString()));
    set.Commit(true);
  } catch (const std::exception& e) {
    QMessageBox::critical(this, windowTitle(), QString::fromUtf8(e.what()));
  }
}
