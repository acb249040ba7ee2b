#pragma once
// A titled horizontal rule that opens a group of controls ("Common", "Palette", ...).
#include <QWidget>

class QLabel;

class TVeSeparator : public QWidget {
  Q_OBJECT
public:
  explicit TVeSeparator(const QString& caption, QWidget* parent = nullptr);
  QString Caption() const;

private:
  QLabel* FLabel;
};
