#pragma once
// Renders an engine's option panel model with Qt widgets. The model keeps every rule; this
// widget only shows its controls and hands user input back to it, then shows the model's
// state again.
#include <QHash>
#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

#include "VePaletteList.h"

class QGridLayout;
class TVeDestEngineUI;
class TVeDestEngineUIEx;
class TVePaletteView;
struct TVeUIControl;

// Watches the program's palette list, so a palette opened while the panel is shown appears
// in its lists at once.
class TVeOptionPanel : public QWidget, private IVePaletteListClient {
  Q_OBJECT
public:
  // Takes ownership of the model.
  explicit TVeOptionPanel(std::unique_ptr<TVeDestEngineUI> model, QWidget* parent = nullptr);
  ~TVeOptionPanel() override;

  TVeDestEngineUI& Model() const { return *FModel; }
  TVeDestEngineUIEx* ModelEx() const;
  // The widget that shows a control, or null.
  QWidget* ControlWidget(int id) const { return FWidgets.value(id); }
  // The label in front of a control, or null.
  QWidget* ControlLabel(int id) const { return FLabels.value(id); }
  // The first palette view of the panel, or null.
  TVePaletteView* PaletteView() const;
  // Width of the caption column, shared with the main window's "Parameters" panel so every
  // control lines up.
  static int LabelColumnWidth(const QFontMetrics& metrics);
  // Shows the model's current state in the widgets (after changes made outside the panel).
  void Sync();

  // Asked when "Select..." of the border colour is pressed, with the colours the mode's
  // border can show (empty: any colour); returns -1 when cancelled.
  std::function<int(int current, const std::vector<int>& allowed)> ChooseColor;
  // "Edit..." beside the palette mode list.
  std::function<void()> EditPalette;

signals:
  // The controls were rebuilt (a caption or the control list changed): lay out again.
  void LayoutChanged();

private:
  void PaletteListChanged(TVePaletteList* list) override;
  void Build();
  QWidget* MakeWidget(const TVeUIControl& c);
  void SyncControl(const TVeUIControl& c);
  void ScheduleRebuild();

  std::unique_ptr<TVeDestEngineUI> FModel;
  QGridLayout* FGrid = nullptr;
  QWidget* FBody = nullptr;
  QHash<int, QWidget*> FWidgets;
  QHash<int, QWidget*> FLabels;
  QHash<int, QWidget*> FValueLabels; // value shown beside sliders
  bool FSyncing = false;
  bool FRebuildPending = false;
  bool FWatching = false;
};
