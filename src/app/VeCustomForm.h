#pragma once
// "Custom palette": the mode's hardware colours in a grid in which the user marks the
// colours a conversion may use. The marks are the options' allowed-colour table.
#include <QDialog>
#include <QList>

#include "VeDestEngineOptions.h"

class TVePalette256;
class TVePaletteView;

class TVeCustomForm : public QDialog {
  Q_OBJECT
public:
  TVeCustomForm(const TVePalette256& hardware, const TVeAllowedColors& allowed,
                QWidget* parent = nullptr);

  const TVeAllowedColors& Allowed() const { return FAllowed; }
  TVePaletteView* Grid() const { return FGrid; }
  void Toggle(int index);
  void Reset();
  // Marks exactly the hardware colours that the palette file holds.
  void LoadFrom(const QString& path);
  // Writes the marked colours as a JASC palette.
  void SaveTo(const QString& path) const;

private:
  void ShowMarks();
  QList<QRgb> FColors;
  TVeAllowedColors FAllowed;
  TVePaletteView* FGrid;
};
