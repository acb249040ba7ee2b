#pragma once
// Picks one of a machine's fixed colours (the border of a ZX Spectrum can show only eight): a
// free colour picker would offer colours the machine cannot show.
#include <QDialog>
#include <QList>
#include <QRgb>

class QAbstractButton;
class QButtonGroup;

class TVeColorChoiceDialog : public QDialog {
  Q_OBJECT
public:
  // colors: 24-bit RGB; the one nearest to current starts chosen.
  TVeColorChoiceDialog(const QList<int>& colors, int current, QWidget* parent = nullptr);

  // The chosen colour, 24-bit RGB.
  int Chosen() const;
  QAbstractButton* Swatch(int index) const;
  static int Nearest(const QList<int>& colors, int rgb);

  // Runs the dialog; -1 when cancelled.
  static int Choose(const QList<int>& colors, int current, QWidget* parent);

private:
  QList<int> FColors;
  QButtonGroup* FGroup;
};
