#include "VeCustomForm.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "VeAppSettings.h"
#include "VePalette.h"
#include "VePaletteFiles.h"
#include "VePaletteView.h"

TVeCustomForm::TVeCustomForm(const TVePalette256& hardware, const TVeAllowedColors& allowed,
                             QWidget* parent)
    : QDialog(parent), FAllowed(allowed) {
  setWindowTitle(QStringLiteral("Custom palette"));
  const int count = std::min(hardware.Count(), VeAllowedColorCount);
  for (int i = 0; i < count; ++i)
    FColors.append(hardware.GetRGBQuad(i) | 0xFF000000u);
  const int columns = count <= 16 ? std::max(count, 1) : 16;
  auto* layout = new QVBoxLayout(this);
  auto* label = new QLabel(QStringLiteral("Palette:"), this);
  FGrid = new TVePaletteView(columns, std::max(1, (count + columns - 1) / columns), this);
  FGrid->setMinimumSize(columns * 22, FGrid->Rows() * 22);
  FGrid->SetColors(FColors);
  label->setBuddy(FGrid);
  layout->addWidget(label);
  layout->addWidget(FGrid, 1);
  connect(FGrid, &TVePaletteView::CellClicked, this, &TVeCustomForm::Toggle);

  auto* buttons = new QHBoxLayout;
  auto* load = new QPushButton(QStringLiteral("&Load..."), this);
  auto* save = new QPushButton(QStringLiteral("&Save..."), this);
  auto* reset = new QPushButton(QStringLiteral("&Reset"), this);
  auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->addWidget(load);
  buttons->addWidget(save);
  buttons->addWidget(reset);
  buttons->addStretch(1);
  buttons->addWidget(box);
  layout->addLayout(buttons);
  connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(reset, &QPushButton::clicked, this, &TVeCustomForm::Reset);
  connect(load, &QPushButton::clicked, this, [this] {
    const QString path = QFileDialog::getOpenFileName(
        this, QString(), TVeAppSettings::Read(TVeAppSettings::PalettePath),
        QStringLiteral("Palettes (*.pal *.act *.gpl *.png *.bmp *.gif)"));
    if (path.isEmpty()) return;
    TVeAppSettings::Write(TVeAppSettings::PalettePath, QFileInfo(path).absolutePath());
    try {
      LoadFrom(path);
    } catch (const std::exception& e) {
      QMessageBox::critical(this, windowTitle(), QString::fromUtf8(e.what()));
    }
  });
  connect(save, &QPushButton::clicked, this, [this] {
    const QString path = QFileDialog::getSaveFileName(
        this, QString(), TVeAppSettings::Read(TVeAppSettings::PalettePath),
        QStringLiteral("*.pal (*.pal)"));
    if (path.isEmpty()) return;
    TVeAppSettings::Write(TVeAppSettings::PalettePath, QFileInfo(path).absolutePath());
    try {
      SaveTo(path);
    } catch (const std::exception& e) {
      QMessageBox::critical(this, windowTitle(), QString::fromUtf8(e.what()));
    }
  });
  ShowMarks();
}

void TVeCustomForm::ShowMarks() {
  QList<bool> marks;
  for (int i = 0; i < FColors.size(); ++i)
    marks.append(FAllowed[size_t(i)] != 0);
  FGrid->SetMarks(marks);
}

void TVeCustomForm::Toggle(int index) {
  if (index < 0 || index >= FColors.size()) return;
  FAllowed[size_t(index)] = FAllowed[size_t(index)] ? 0 : 1;
  ShowMarks();
}

void TVeCustomForm::Reset() {
  FAllowed.fill(0);
  ShowMarks();
}

void TVeCustomForm::LoadFrom(const QString& path) {
  TVePalette256 palette;
  VeLoadPaletteFromFile(palette, path.toStdString());
  TVeAllowedColors allowed{};
  for (int i = 0; i < FColors.size(); ++i)
    allowed[size_t(i)] = palette.FindExact(FColors[i] & 0xFFFFFF) >= 0 ? 1 : 0;
  FAllowed = allowed;
  ShowMarks();
}

void TVeCustomForm::SaveTo(const QString& path) const {
  TVePalette256 palette;
  for (int i = 0; i < FColors.size(); ++i)
    if (FAllowed[size_t(i)]) {
      const QRgb c = FColors[i];
      palette.AddRGB(uint8_t(qRed(c)), uint8_t(qGreen(c)), uint8_t(qBlue(c)));
    }
  VeSavePaletteJASC(palette, path.toStdString());
}
