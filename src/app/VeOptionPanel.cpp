#include "VeOptionPanel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>
#include <map>

#include "VeDestEngineUI.h"
#include "VePalette.h"
#include "VePaletteView.h"
#include "VeSeparator.h"

static QString Q(const std::string& s) {
  return QString::fromStdString(s);
}

static QList<QRgb> PaletteColors(const TVePalette256* palette) {
  QList<QRgb> colors;
  if (palette)
    for (int i = 0; i < palette->Count(); ++i)
      // Hidden entries (mixes a mode never uses) go over transparent: an empty swatch.
      colors.append(palette->Color(i).Excluded ? 0u : (palette->GetRGBQuad(i) | 0xFF000000u));
  return colors;
}

TVeOptionPanel::TVeOptionPanel(std::unique_ptr<TVeDestEngineUI> model, QWidget* parent)
    : QWidget(parent), FModel(std::move(model)) {
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  FModel->OnLayoutChanged = [this] { ScheduleRebuild(); };
  Build();
  TVePaletteList::Shared().AddClient(this);
  FWatching = true;
}

TVeOptionPanel::~TVeOptionPanel() {
  TVePaletteList::Shared().RemoveClient(this);
  if (FModel) FModel->OnLayoutChanged = nullptr;
}

void TVeOptionPanel::PaletteListChanged(TVePaletteList*) {
  // The first call comes from registering; the lists were just filled.
  if (!FWatching) return;
  if (TVeDestEngineUIEx* ex = ModelEx()) {
    ex->PaletteLibraryChanged();
    Sync();
  }
}

TVeDestEngineUIEx* TVeOptionPanel::ModelEx() const {
  return dynamic_cast<TVeDestEngineUIEx*>(FModel.get());
}

TVePaletteView* TVeOptionPanel::PaletteView() const {
  for (const TVeUIControl& c : FModel->Controls())
    if (c.Kind == TVeControlKind::PaletteView)
      return qobject_cast<TVePaletteView*>(FWidgets.value(c.Id));
  return nullptr;
}

int TVeOptionPanel::LabelColumnWidth(const QFontMetrics& metrics) {
  return metrics.horizontalAdvance(QStringLiteral("Initial palette lines:")) + 4;
}

void TVeOptionPanel::ScheduleRebuild() {
  // The model may report this from inside a widget's own signal; rebuild afterwards.
  if (FRebuildPending) return;
  FRebuildPending = true;
  QTimer::singleShot(0, this, [this] {
    FRebuildPending = false;
    Build();
    emit LayoutChanged();
  });
}

void TVeOptionPanel::Build() {
  delete FBody;
  FWidgets.clear();
  FLabels.clear();
  FValueLabels.clear();
  FBody = new QWidget(this);
  layout()->addWidget(FBody);
  FGrid = new QGridLayout(FBody);
  FGrid->setContentsMargins(0, 0, 0, 0);
  FGrid->setColumnStretch(1, 1);
  FGrid->setColumnMinimumWidth(0, LabelColumnWidth(fontMetrics()));

  // Controls of one model row share a grid row: a leading caption goes into the label
  // column, everything else flows left to right in the second column.
  std::map<int, std::vector<const TVeUIControl*>> rows;
  for (const TVeUIControl& c : FModel->Controls())
    rows[c.Row].push_back(&c);
  int gridRow = 0;
  for (auto& [row, controls] : rows) {
    (void)row;
    const TVeUIControl& first = *controls.front();
    if (first.Kind == TVeControlKind::Separator) {
      auto* sep = new TVeSeparator(Q(first.Caption), FBody);
      FWidgets.insert(first.Id, sep);
      FGrid->addWidget(sep, gridRow++, 0, 1, 2);
      continue;
    }
    auto* line = new QHBoxLayout;
    line->setSpacing(4);
    QLabel* pendingBuddy = nullptr;
    bool labelColumnUsed = false;
    for (size_t i = 0; i < controls.size(); ++i) {
      const TVeUIControl& c = *controls[i];
      if (c.Kind == TVeControlKind::Label && !c.Caption.empty()) {
        // A caption of its own ("&Dimension:"), naming the controls after it.
        auto* label = new QLabel(Q(c.Caption), FBody);
        FWidgets.insert(c.Id, label);
        if (i == 0) {
          FGrid->addWidget(label, gridRow, 0);
          labelColumnUsed = true;
        } else {
          line->addWidget(label);
        }
        pendingBuddy = label;
        continue;
      }
      QWidget* w = MakeWidget(c);
      const bool captioned = !c.Caption.empty() && c.Kind != TVeControlKind::CheckBox &&
                             c.Kind != TVeControlKind::Button && c.Kind != TVeControlKind::Label;
      if (captioned) {
        auto* label = new QLabel(Q(c.Caption), FBody);
        label->setBuddy(w);
        FLabels.insert(c.Id, label);
        if (i == 0) {
          FGrid->addWidget(label, gridRow, 0);
          labelColumnUsed = true;
        } else {
          line->addWidget(label);
        }
      } else if (pendingBuddy && w->focusPolicy() != Qt::NoFocus) {
        pendingBuddy->setBuddy(w);
        pendingBuddy = nullptr;
      }
      const bool stretch = c.Kind == TVeControlKind::List ||
                           c.Kind == TVeControlKind::PictureList ||
                           c.Kind == TVeControlKind::Slider || c.Kind == TVeControlKind::Edit ||
                           c.Kind == TVeControlKind::PaletteView;
      line->addWidget(w, stretch ? 1 : 0);
      if (QWidget* value = FValueLabels.value(c.Id)) line->addWidget(value);
    }
    if (!labelColumnUsed && controls.size() == 1 &&
        (first.Kind == TVeControlKind::PaletteView || first.Kind == TVeControlKind::CheckBox ||
         first.Kind == TVeControlKind::Button)) {
      // Check boxes and palette views line up with the controls, not with the labels.
      FGrid->addLayout(line, gridRow, 1);
    } else if (labelColumnUsed) {
      bool onlyFixed = true;
      for (const TVeUIControl* c : controls)
        if (c->Kind == TVeControlKind::List || c->Kind == TVeControlKind::PictureList ||
            c->Kind == TVeControlKind::Slider || c->Kind == TVeControlKind::Edit ||
            c->Kind == TVeControlKind::PaletteView)
          onlyFixed = false;
      if (onlyFixed) line->addStretch(1);
      FGrid->addLayout(line, gridRow, 1);
    } else {
      line->addStretch(1);
      FGrid->addLayout(line, gridRow, 0, 1, 2);
    }
    ++gridRow;
  }
  Sync();
}

QWidget* TVeOptionPanel::MakeWidget(const TVeUIControl& c) {
  const int id = c.Id;
  QWidget* w = nullptr;
  switch (c.Kind) {
  case TVeControlKind::Separator:
  case TVeControlKind::Label: {
    auto* label = new QLabel(FBody);
    w = label;
    break;
  }
  case TVeControlKind::Edit: {
    auto* edit = new QLineEdit(FBody);
    connect(edit, &QLineEdit::textEdited, this, [this, id](const QString& text) {
      if (!FSyncing) FModel->SetText(id, text.toStdString());
    });
    w = edit;
    break;
  }
  case TVeControlKind::IntEdit: {
    auto* spin = new QSpinBox(FBody);
    spin->setKeyboardTracking(false);
    connect(spin, &QSpinBox::valueChanged, this, [this, id](int value) {
      if (FSyncing) return;
      FModel->SetValue(id, value);
      Sync();
    });
    w = spin;
    break;
  }
  case TVeControlKind::List:
  case TVeControlKind::PictureList: {
    auto* box = new QComboBox(FBody);
    box->setMaxVisibleItems(24);
    box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    box->setMinimumContentsLength(8);
    connect(box, &QComboBox::currentIndexChanged, this, [this, id](int index) {
      if (FSyncing) return;
      FModel->Select(id, index);
      Sync();
    });
    w = box;
    break;
  }
  case TVeControlKind::CheckBox: {
    auto* check = new QCheckBox(Q(c.Caption), FBody);
    connect(check, &QCheckBox::toggled, this, [this, id](bool on) {
      if (FSyncing) return;
      FModel->SetChecked(id, on);
      Sync();
    });
    w = check;
    break;
  }
  case TVeControlKind::Slider: {
    auto* slider = new QSlider(Qt::Horizontal, FBody);
    auto* value = new QLabel(FBody);
    value->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("-000")));
    value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    FValueLabels.insert(id, value);
    connect(slider, &QSlider::valueChanged, this, [this, id, value](int v) {
      value->setNum(v);
      if (FSyncing) return;
      FModel->SetValue(id, v);
      Sync();
    });
    w = slider;
    break;
  }
  case TVeControlKind::Button: {
    auto* button = new QPushButton(Q(c.Caption), FBody);
    connect(button, &QPushButton::clicked, this, [this, id] {
      if (id == ciBorderSelect) {
        TVeDestEngineUIEx* ex = ModelEx();
        const TVeUIControl* box = FModel->Find(ciBorderColor);
        if (ex && ChooseColor) {
          const int rgb = ChooseColor(box ? box->Value : 0, ex->BorderColors());
          if (rgb >= 0) ex->BorderColorSelected(rgb);
        }
      } else if (id == ciPaletteModeEdit) {
        if (EditPalette) EditPalette();
      } else {
        FModel->Press(id);
      }
      Sync();
    });
    w = button;
    break;
  }
  case TVeControlKind::ColorBox: {
    auto* box = new QLabel(FBody);
    box->setFrameShape(QFrame::Box);
    box->setAutoFillBackground(true);
    box->setMinimumSize(48, 20);
    w = box;
    break;
  }
  case TVeControlKind::PaletteView: {
    auto* view = new TVePaletteView(std::max(c.Columns, 1), std::max(c.Rows, 1), FBody);
    view->SetOriginal(c.OriginalPaletteView);
    w = view;
    break;
  }
  }
  FWidgets.insert(id, w);
  return w;
}

void TVeOptionPanel::Sync() {
  FSyncing = true;
  for (const TVeUIControl& c : FModel->Controls())
    SyncControl(c);
  FSyncing = false;
}

void TVeOptionPanel::SyncControl(const TVeUIControl& c) {
  QWidget* w = FWidgets.value(c.Id);
  if (!w) return;
  w->setEnabled(c.Enabled);
  if (QWidget* label = FLabels.value(c.Id)) label->setEnabled(c.Enabled);
  if (QWidget* value = FValueLabels.value(c.Id)) value->setEnabled(c.Enabled);
  switch (c.Kind) {
  case TVeControlKind::Separator:
    break;
  case TVeControlKind::Label:
    static_cast<QLabel*>(w)->setText(Q(c.Caption.empty() ? c.Text : c.Caption));
    break;
  case TVeControlKind::Edit: {
    auto* edit = static_cast<QLineEdit*>(w);
    if (edit->text() != Q(c.Text)) edit->setText(Q(c.Text));
    break;
  }
  case TVeControlKind::IntEdit: {
    auto* spin = static_cast<QSpinBox*>(w);
    spin->setRange(c.Min, std::max(c.Min, c.Max));
    spin->setValue(c.Value);
    break;
  }
  case TVeControlKind::List:
  case TVeControlKind::PictureList: {
    auto* box = static_cast<QComboBox*>(w);
    QStringList items;
    for (const std::string& s : c.Items)
      items << Q(s);
    QStringList shown;
    for (int i = 0; i < box->count(); ++i)
      shown << box->itemText(i);
    if (shown != items) {
      box->clear();
      box->addItems(items);
    }
    box->setCurrentIndex(c.ItemIndex);
    break;
  }
  case TVeControlKind::CheckBox: {
    auto* check = static_cast<QCheckBox*>(w);
    check->setText(Q(c.Caption));
    check->setChecked(c.Checked);
    break;
  }
  case TVeControlKind::Slider: {
    auto* slider = static_cast<QSlider*>(w);
    slider->setRange(c.Min, std::max(c.Min, c.Max));
    slider->setValue(c.Value);
    if (auto* value = qobject_cast<QLabel*>(FValueLabels.value(c.Id))) value->setNum(c.Value);
    break;
  }
  case TVeControlKind::Button:
    static_cast<QPushButton*>(w)->setText(Q(c.Caption));
    break;
  case TVeControlKind::ColorBox: {
    QPalette pal = w->palette();
    pal.setColor(QPalette::Window, QColor(QRgb(0xFF000000u | uint32_t(c.Value))));
    w->setPalette(pal);
    break;
  }
  case TVeControlKind::PaletteView:
    static_cast<TVePaletteView*>(w)->SetColors(PaletteColors(c.Palette.get()));
    break;
  }
}
