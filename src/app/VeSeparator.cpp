#include "VeSeparator.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>

TVeSeparator::TVeSeparator(const QString& caption, QWidget* parent) : QWidget(parent) {
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 6, 0, 2);
  FLabel = new QLabel(caption, this);
  QFont font = FLabel->font();
  font.setBold(true);
  FLabel->setFont(font);
  auto* line = new QFrame(this);
  line->setFrameShape(QFrame::HLine);
  line->setFrameShadow(QFrame::Sunken);
  layout->addWidget(FLabel);
  layout->addWidget(line, 1);
}

QString TVeSeparator::Caption() const {
  return FLabel->text();
}
