#include "VeColorChoiceDialog.h"

#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPainter>
#include <QToolButton>
#include <QVBoxLayout>

namespace {
QIcon SwatchIcon(int rgb, int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(QColor(QRgb(0xFF000000u | uint32_t(rgb))));
  QPainter painter(&pixmap);
  painter.setPen(Qt::gray);
  painter.drawRect(0, 0, size - 1, size - 1);
  return QIcon(pixmap);
}
} // namespace

TVeColorChoiceDialog::TVeColorChoiceDialog(const QList<int>& colors, int current, QWidget* parent)
    : QDialog(parent), FColors(colors), FGroup(new QButtonGroup(this)) {
  setWindowTitle(QStringLiteral("Border color"));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(QStringLiteral("The colors this machine's border can show:"), this));
  auto* grid = new QGridLayout;
  grid->setSpacing(4);
  const int columns = colors.size() <= 8 ? int(colors.size()) : 8;
  const int size = 28;
  for (int i = 0; i < colors.size(); ++i) {
    auto* swatch = new QToolButton(this);
    swatch->setCheckable(true);
    swatch->setAutoRaise(false);
    swatch->setIcon(SwatchIcon(colors[i], size));
    swatch->setIconSize(QSize(size, size));
    const QString hex = QStringLiteral("#%1").arg(colors[i], 6, 16, QLatin1Char('0')).toUpper();
    swatch->setToolTip(hex);
    swatch->setAccessibleName(hex);
    FGroup->addButton(swatch, i);
    grid->addWidget(swatch, i / std::max(columns, 1), i % std::max(columns, 1));
  }
  layout->addLayout(grid);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
  const int start = Nearest(colors, current);
  if (start >= 0) {
    FGroup->button(start)->setChecked(true);
    FGroup->button(start)->setFocus();
  }
}

int TVeColorChoiceDialog::Nearest(const QList<int>& colors, int rgb) {
  int best = -1;
  long bestDistance = 0;
  for (int i = 0; i < colors.size(); ++i) {
    long d = 0;
    for (int shift : {16, 8, 0}) {
      const long delta = long((colors[i] >> shift) & 0xFF) - long((rgb >> shift) & 0xFF);
      d += delta * delta;
    }
    if (best < 0 || d < bestDistance) {
      best = i;
      bestDistance = d;
    }
  }
  return best;
}

int TVeColorChoiceDialog::Chosen() const {
  const int id = FGroup->checkedId();
  return id >= 0 && id < FColors.size() ? FColors[id] : -1;
}

QAbstractButton* TVeColorChoiceDialog::Swatch(int index) const {
  return FGroup->button(index);
}

int TVeColorChoiceDialog::Choose(const QList<int>& colors, int current, QWidget* parent) {
  TVeColorChoiceDialog dialog(colors, current, parent);
  return dialog.exec() == QDialog::Accepted ? dialog.Chosen() : -1;
}
