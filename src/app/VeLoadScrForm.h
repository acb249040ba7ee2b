#pragma once
// "Import": lets the user confirm how a native screen file is read. The core's import model
// decides everything (candidates, multipliers, palettes); this dialog shows it.
#include <QDialog>
#include <memory>

#include "VeBitmap.h"

class QComboBox;
class QLabel;
class QPushButton;
class QSlider;
class TVeImportModel;
class TVePaletteView;
class TVeSourceEngineList;

class TVeLoadScrForm : public QDialog {
  Q_OBJECT
public:
  TVeLoadScrForm(TVeSourceEngineList& engines, QWidget* parent = nullptr);
  ~TVeLoadScrForm() override;

  TVeImportModel& Model() const { return *FModel; }
  // The picture "&Import image" or "Import image and palette" chose, once.
  std::unique_ptr<TVeBitmap32> TakePicture() { return std::move(FPicture); }
  // The frames of a flickering file, taken with the picture.
  std::unique_ptr<TVeBitmapList> TakeFrames() { return std::move(FFrames); }
  QComboBox* TypeBox() const { return FType; }
  QComboBox* PaletteTypeBox() const { return FPaletteType; }
  QLabel* PreviewLabel() const { return FPreview; }
  QLabel* SizeLabel() const { return FSize; }
  QPushButton* ImportButton() const { return FImport; }
  QPushButton* ImportBothButton() const { return FImportBoth; }
  QPushButton* ImportPaletteButton() const { return FImportPalette; }

private:
  void Sync();
  void Import(bool picture, bool palette);
  void SaveImage(const QString& format);

  std::unique_ptr<TVeImportModel> FModel;
  std::unique_ptr<TVeBitmap32> FPicture;
  std::unique_ptr<TVeBitmapList> FFrames;
  QComboBox* FType = nullptr;
  QSlider* FPixelWidth = nullptr;
  QSlider* FPixelHeight = nullptr;
  QLabel* FPixelWidthValue = nullptr;
  QLabel* FPixelHeightValue = nullptr;
  QComboBox* FPaletteType = nullptr;
  QComboBox* FVariant = nullptr;
  QComboBox* FCalculation = nullptr;
  QLabel* FCalculationLabel = nullptr;
  QLabel* FPreview = nullptr;
  QLabel* FSize = nullptr;
  TVePaletteView* FPalette = nullptr;
  QPushButton* FImport = nullptr;
  QPushButton* FImportBoth = nullptr;
  QPushButton* FImportPalette = nullptr;
  QAction* FSaveGif = nullptr;
  bool FSyncing = false;
};
