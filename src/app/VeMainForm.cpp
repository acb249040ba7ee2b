#include "VeMainForm.h"

#include <QApplication>
#include <QClipboard>
#include <QColorDialog>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>
#include <cstring>

#include "VeAppSettings.h"
#include "VeBatchConvertForm.h"
#include "VeBitmap.h"
#include "VeColorChoiceDialog.h"
#include "VeCustomForm.h"
#include "VeDest.h"
#include "VeDestEngineList.h"
#include "VeErrors.h"
#include "VeExport.h"
#include "VeFlickBox.h"
#include "VeImageView.h"
#include "VeLoadScrForm.h"
#include "VeOptionPanel.h"
#include "VeOutputSet.h"
#include "VePaletteFiles.h"
#include "VePaletteList.h"
#include "VePaletteView.h"
#include "VePictureCodecs.h"
#include "VeQtImage.h"
#include "VeRegionForm.h"
#include "VeSaveResult.h"
#include "VeSeparator.h"
#include "VeSource.h"
#include "VeSourceEngines.h"
#include "VeSourcePrepare.h"
#include "VeStream.h"

TVeMainForm::TVeMainForm(QWidget* parent) : QMainWindow(parent) {
  setWindowTitle(ProgramName());
  setAcceptDrops(true);
  FActions = std::make_unique<TVeMainActions>(this);
  CreateViews();
  CreateParams();
  CreateMenus();
  ConnectActions();
  CreateSource();
  CreateCore();
  FillPlatforms();
  LinkSource();
  FTimer = new QTimer(this);
  FTimer->setInterval(100);
  connect(FTimer, &QTimer::timeout, this, &TVeMainForm::Tick);
  FTimer->start();
  connect(QApplication::clipboard(), &QClipboard::dataChanged, this, &TVeMainForm::UpdateActions);
  UpdateFilesVisible();
  const int zoom = TVeAppSettings::Read(TVeAppSettings::Zoom).toInt();
  FZoomFit = zoom < 1 || zoom > TVeMainActions::ZoomCount;
  if (!FZoomFit) FDest->SetViewZoom(zoom);
  ModeChanged();
  resize(1280, 800);
}

void TVeMainForm::CreateViews() {
  auto* central = new QWidget(this);
  auto* outer = new QHBoxLayout(central);
  outer->setContentsMargins(6, 6, 6, 6);

  auto* filesColumn = new QVBoxLayout;
  FFilesLabel = new QLabel(QStringLiteral("Files"), central);
  FFileList = new QListWidget(central);
  FFileList->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
  FFilesLabel->setBuddy(FFileList);
  filesColumn->addWidget(FFilesLabel);
  filesColumn->addWidget(FFileList, 1);
  outer->addLayout(filesColumn);

  auto* views = new QVBoxLayout;
  FSourceLabel = new QLabel(QStringLiteral("Source"), central);
  FSourceScroll = new QScrollArea(central);
  FSourceView = new TVeDestOriginalImage;
  FSourceScroll->setWidget(FSourceView);
  FSourceScroll->setWidgetResizable(true);
  FResultLabel = new QLabel(QStringLiteral("Result"), central);
  FResultScroll = new QScrollArea(central);
  FResultView = new TVeDestImage;
  FResultScroll->setWidget(FResultView);
  FResultScroll->setWidgetResizable(true);
  // An animation's frames: the one chosen is the picture converted.
  auto* sourceRow = new QHBoxLayout;
  FFrameLabel = new QLabel(central);
  FFrameBox = new QSpinBox(central);
  FFrameLabel->setBuddy(FFrameBox);
  FFrameLabel->hide();
  FFrameBox->hide();
  connect(FFrameBox, &QSpinBox::valueChanged, this,
          [this](int frame) { Guard([&] { FSource->SetAnimationFrame(frame - 1); }); });
  sourceRow->addWidget(FSourceLabel);
  sourceRow->addStretch(1);
  sourceRow->addWidget(FFrameLabel);
  sourceRow->addWidget(FFrameBox);
  views->addLayout(sourceRow);
  views->addWidget(FSourceScroll, 1);
  views->addWidget(FResultLabel);
  views->addWidget(FResultScroll, 1);
  outer->addLayout(views, 1);

  // One scroll position for both views.
  for (auto pick : {&QScrollArea::horizontalScrollBar, &QScrollArea::verticalScrollBar}) {
    QScrollBar* a = (FSourceScroll->*pick)();
    QScrollBar* b = (FResultScroll->*pick)();
    connect(a, &QScrollBar::valueChanged, b, &QScrollBar::setValue);
    connect(b, &QScrollBar::valueChanged, a, &QScrollBar::setValue);
  }
  connect(FResultView, &TVeImageView::DoubleClicked, this, [this] { SetHideSource(!FHideSource); });

  FParams = new QWidget;
  auto* paramsScroll = new QScrollArea(central);
  paramsScroll->setWidget(FParams);
  paramsScroll->setWidgetResizable(true);
  paramsScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  paramsScroll->setFrameShape(QFrame::NoFrame);
  const int margin = style()->pixelMetric(QStyle::PM_LayoutLeftMargin);
  FParams->setMinimumWidth(ParamsWidth + 2 * margin);
  paramsScroll->setMinimumWidth(ParamsWidth + 2 * margin +
                                style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 2);
  outer->addWidget(paramsScroll);
  setCentralWidget(central);
  FTimeLabel = new QLabel(this);
  FModeLabel = new QLabel(this);
  // Apart, so the run time and the mode read as two things.
  FTimeLabel->setContentsMargins(12, 0, 12, 0);
  FModeLabel->setContentsMargins(12, 0, 6, 0);
  statusBar()->addPermanentWidget(FTimeLabel);
  statusBar()->addPermanentWidget(FModeLabel);
  FSourceScroll->installEventFilter(this);
  FResultScroll->installEventFilter(this);
}

void TVeMainForm::CreateParams() {
  FParamsLayout = new QVBoxLayout(FParams);
  auto* title = new QLabel(QStringLiteral("Parameters"), FParams);
  QFont font = title->font();
  font.setBold(true);
  font.setPointSizeF(font.pointSizeF() * 1.25);
  title->setFont(font);
  FParamsLayout->addWidget(title);
  FParamsLayout->addWidget(new TVeSeparator(QStringLiteral("Common"), FParams));
  auto* grid = new QGridLayout;
  auto* platformLabel = new QLabel(QStringLiteral("&Platform:"), FParams);
  FPlatformBox = new QComboBox(FParams);
  FPlatformBox->setMaxVisibleItems(64); // the drop-down shows all entries
  platformLabel->setBuddy(FPlatformBox);
  auto* screenLabel = new QLabel(QStringLiteral("&Screen:"), FParams);
  FScreenBox = new QComboBox(FParams);
  FScreenBox->setMaxVisibleItems(32);
  screenLabel->setBuddy(FScreenBox);
  grid->addWidget(platformLabel, 0, 0);
  grid->addWidget(FPlatformBox, 0, 1);
  grid->addWidget(screenLabel, 1, 0);
  grid->addWidget(FScreenBox, 1, 1);
  grid->setColumnStretch(1, 1);
  grid->setColumnMinimumWidth(0, TVeOptionPanel::LabelColumnWidth(FParams->fontMetrics()));
  FParamsLayout->addLayout(grid);
  FParamsLayout->addStretch(1);
}

void TVeMainForm::CreateMenus() {
  TVeMainActions& a = *FActions;
  QMenu* file = menuBar()->addMenu(QStringLiteral("File"));
  file->addActions({a.Open, a.OpenFolder, a.Paste, a.Close});
  file->addSeparator();
  file->addAction(a.BatchConvert);

  QMenu* result = menuBar()->addMenu(QStringLiteral("Result"));
  result->addAction(a.SelectRegion);
  result->addSeparator();
  result->addActions({a.OpenPalette, a.SavePalette});
  result->addSeparator();
  result->addActions({a.Copy, a.PasteResult});
  result->addSeparator();
  result->addActions({a.SaveBMP, a.SavePNG, a.SaveGIF});
  for (QAction* s : a.SaveNative)
    result->addAction(s);
  QMenu* exports = result->addMenu(QStringLiteral("&Export"));
  exports->addActions(a.Export);

  QMenu* view = menuBar()->addMenu(QStringLiteral("View"));
  view->addAction(a.HideSource);
  view->addSeparator();
  view->addAction(a.ZoomFit);
  for (QAction* z : a.Zoom)
    view->addAction(z);
  view->addSeparator();
  view->addActions({a.NativeAspect, a.ShowFlicker, a.MarkRuleBreaks});
  view->addSeparator();
  view->addAction(a.WatchSource);

  QMenu* help = menuBar()->addMenu(QStringLiteral("Help"));
  help->addAction(a.About);

  FSourceMenu = new QMenu(this);
  FSourceMenu->addActions({a.Open, a.Paste, a.SelectRegion, a.Close});
  FSourceView->SetContextMenu(FSourceMenu);

  FResultMenu = new QMenu(this);
  FResultMenu->addActions({a.Copy, a.PasteResult});
  FResultMenu->addSeparator();
  FResultMenu->addActions({a.SaveBMP, a.SavePNG, a.SaveGIF});
  for (QAction* s : a.SaveNative)
    FResultMenu->addAction(s);
  FResultMenu->addSeparator();
  FResultMenu->addActions({a.OpenPalette, a.SavePalette});
  FResultView->SetContextMenu(FResultMenu);

  FPaletteMenu1 = new QMenu(this);
  FPaletteMenu1->addActions({a.OpenPalette, a.SavePalette});
  FPaletteMenu2 = new QMenu(this);
  FPaletteMenu2->addAction(a.SavePalette);
}

void TVeMainForm::ConnectActions() {
  TVeMainActions& a = *FActions;
  connect(a.Open, &QAction::triggered, this, &TVeMainForm::DoOpen);
  connect(a.OpenFolder, &QAction::triggered, this, &TVeMainForm::DoOpenFolder);
  connect(a.Paste, &QAction::triggered, this, &TVeMainForm::DoPaste);
  connect(a.Close, &QAction::triggered, this, &TVeMainForm::DoClose);
  connect(a.BatchConvert, &QAction::triggered, this, &TVeMainForm::DoBatch);
  connect(a.SelectRegion, &QAction::triggered, this, &TVeMainForm::DoSelectRegion);
  connect(a.OpenPalette, &QAction::triggered, this, &TVeMainForm::DoOpenPalette);
  connect(a.SavePalette, &QAction::triggered, this, &TVeMainForm::DoSavePalette);
  connect(a.Copy, &QAction::triggered, this, &TVeMainForm::DoCopy);
  connect(a.PasteResult, &QAction::triggered, this, &TVeMainForm::DoPasteResult);
  connect(a.SaveBMP, &QAction::triggered, this, [this] { DoSavePicture(QStringLiteral("bmp")); });
  connect(a.SavePNG, &QAction::triggered, this, [this] { DoSavePicture(QStringLiteral("png")); });
  connect(a.SaveGIF, &QAction::triggered, this, [this] { DoSavePicture(QStringLiteral("gif")); });
  for (int i = 0; i < TVeMainActions::NativeSaveCount; ++i)
    connect(a.SaveNative[i], &QAction::triggered, this, [this, i] { DoSaveNative(i); });
  for (QAction* e : a.Export)
    connect(e, &QAction::triggered, this, [this, e] { DoExport(e->data().toString()); });
  connect(a.HideSource, &QAction::triggered, this, [this] { SetHideSource(!FHideSource); });
  connect(a.ZoomFit, &QAction::triggered, this, [this] { DoZoom(0); });
  for (int n = 1; n <= TVeMainActions::ZoomCount; ++n)
    connect(a.Zoom[n - 1], &QAction::triggered, this, [this, n] { DoZoom(n); });
  connect(a.NativeAspect, &QAction::triggered, this, &TVeMainForm::DoNativeAspect);
  connect(a.ShowFlicker, &QAction::triggered, this, &TVeMainForm::DoShowFlicker);
  connect(a.MarkRuleBreaks, &QAction::triggered, this, &TVeMainForm::DoMarkRuleBreaks);
  connect(a.About, &QAction::triggered, this, &TVeMainForm::DoAbout);
  // Paint programs write in several steps, or write a new file and rename it over the old:
  // wait for the writes to settle, then read once.
  FWatcher = new QFileSystemWatcher(this);
  FReloadTimer = new QTimer(this);
  FReloadTimer->setSingleShot(true);
  FReloadTimer->setInterval(300);
  connect(FWatcher, &QFileSystemWatcher::fileChanged, FReloadTimer,
          static_cast<void (QTimer::*)()>(&QTimer::start));
  connect(FReloadTimer, &QTimer::timeout, this, &TVeMainForm::ReloadSource);
  connect(a.WatchSource, &QAction::toggled, this, [this] { WatchSourceFile(); });
  connect(FPlatformBox, &QComboBox::currentIndexChanged, this, &TVeMainForm::PlatformChanged);
  connect(FScreenBox, &QComboBox::currentIndexChanged, this, [this] {
    if (!FFilling) ModeChanged();
  });
}

void TVeMainForm::ShowError(const std::exception& e) {
  const QString text = QString::fromUtf8(e.what());
  if (text.isEmpty()) return; // a silent abort
  QMessageBox::critical(this, ProgramName(), text);
}

template <class F> bool TVeMainForm::Guard(F&& f) {
  try {
    f();
    return true;
  } catch (const EAbort&) {
    return false;
  } catch (const std::exception& e) {
    ShowError(e);
    return false;
  }
}

QString TVeMainForm::StatusMessage() const {
  return statusBar()->currentMessage();
}

void TVeMainForm::ReportSaved(const std::vector<std::string>& names) {
  QStringList parts;
  for (const std::string& name : names) {
    const QFileInfo info(QString::fromStdString(name));
    parts << QStringLiteral("%1 (%2 bytes)").arg(info.fileName()).arg(info.size());
  }
  if (!parts.isEmpty()) statusBar()->showMessage(QStringLiteral("Saved ") + parts.join(", "));
}

void TVeMainForm::UpdateModeLabel() {
  const TVeDestEngineOptions* o = FDest ? FDest->Options() : nullptr;
  if (!o) {
    FModeLabel->clear();
    return;
  }
  QString text = QStringLiteral("%1 × %2").arg(o->Width()).arg(o->Height());
  // The palette a run used; before the first run, what the options already hold.
  const TVeBitmap* result = FDest->ResultPreview() ? FDest->ResultBitmap() : nullptr;
  int colors = result && result->BitCount() <= 8 ? result->Palette().Count() : 0;
  if (colors == 0 && result) colors = FDest->ResultPalette().Count();
  if (colors == 0)
    colors = o->BasePalette().Count() > 0 ? o->BasePalette().Count() : o->Palette().Count();
  if (colors > 0)
    text += colors == 1 ? QStringLiteral(", 1 colour") : QStringLiteral(", %1 colours").arg(colors);
  FModeLabel->setText(text);
}

void TVeMainForm::SetHideSource(bool hide) {
  FHideSource = hide;
  FSourceLabel->setVisible(!hide);
  FSourceScroll->setVisible(!hide);
  FActions->HideSource->setChecked(hide);
  ScheduleFit();
}

void TVeMainForm::UpdateFilesVisible() {
  const bool any = FFileList->count() > 0;
  FFilesLabel->setVisible(any);
  FFileList->setVisible(any);
}

void TVeMainForm::UpdateCaption() {
  setWindowTitle(FSourceName.isEmpty() ? ProgramName()
                                       : FSourceName + QStringLiteral(" - ") + ProgramName());
}

bool TVeMainForm::CanDrop(const QMimeData* data) {
  if (!data) return false;
  if (data->hasImage()) return true;
  if (data->hasUrls())
    for (const QUrl& url : data->urls())
      if (url.isLocalFile()) return true;
  return false;
}

void TVeMainForm::dragEnterEvent(QDragEnterEvent* event) {
  if (CanDrop(event->mimeData())) {
    event->setDropAction(Qt::CopyAction);
    event->accept();
  } else {
    event->ignore();
  }
}

void TVeMainForm::dragMoveEvent(QDragMoveEvent* event) {
  if (CanDrop(event->mimeData())) {
    event->setDropAction(Qt::CopyAction);
    event->accept();
  } else {
    event->ignore();
  }
}

void TVeMainForm::dropEvent(QDropEvent* event) {
  if (DropData(event->mimeData())) {
    event->setDropAction(Qt::CopyAction);
    event->accept();
  } else {
    event->ignore();
  }
}

void TVeMainForm::closeEvent(QCloseEvent* event) {
  QMainWindow::closeEvent(event);
}

void TVeMainForm::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  ScheduleFit();
}

bool TVeMainForm::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Resize && (watched == FSourceScroll || watched == FResultScroll))
    ScheduleFit();
  return QMainWindow::eventFilter(watched, event);
}

// ---- the conversion ----

// Feeds one view from the controller; each view takes only the notification meant for it.
class TVeMainForm::TDestLink : public IVeDestClient, public IVeDestProgressClient {
public:
  TDestLink(TVeMainForm* form, bool result) : FForm(form), FResult(result) {}

  void DestSourceView(int zoom, const TVeBitmap32* image, bool busy) override {
    if (FResult) return;
    QImage shown;
    if (image) {
      // The destination's attribute cells show as a checkerboard of slightly dimmed cells.
      const TVeDestEngineOptions* o = FForm->FDest->Options();
      shown = o && o->GetCellWidth() > 2
                  ? VeToQImage(VeCellPatternView(*image, o->Width(), o->Height(), o->GetCellWidth(),
                                                 o->GetCellHeight()))
                  : VeToQImage(*image);
    }
    FForm->FSourceView->SetSource(zoom, shown, busy);
    FForm->ScheduleFit();
  }
  void DestResultView(TVeAspectPair pair, int zoom, bool busy, const TVeBitmapList* frames,
                      const TVeBitmap32* preview) override {
    if (!FResult) return;
    // A run starts with the busy view without a picture; its result arrives with the palette.
    if (busy && !preview) FForm->FRunClock.start();
    FPair = pair;
    FZoom = zoom;
    FBusy = busy;
    QList<QImage> shown;
    if (frames)
      for (int i = 0; i < frames->Count(); ++i)
        if (TVeBitmap* frame = frames->GetBitmap(i)) shown.append(VeToQImage(*frame->ToBitmap32()));
    QImage picture = preview ? VeToQImage(*preview) : QImage();
    if (preview && FForm->FActions->MarkRuleBreaks->isChecked()) MarkBreaks(picture, *preview);
    FForm->FResultView->SetResult(pair.X, pair.Y, zoom, busy, shown, picture);
    FForm->UpdateActions();
    FForm->ScheduleFit();
  }
  // The result again, after the marks were switched.
  void ShowAgain() {
    const TVeDest& d = *FForm->FDest;
    if (d.ResultPreview())
      DestResultView(FPair, FZoom, FBusy, d.GetShowFlicker() ? d.Frames() : nullptr,
                     d.ResultPreview());
  }
  // The cells that break the mode's rule, outlined in red on the shown picture.
  void MarkBreaks(QImage& picture, const TVeBitmap32& preview) const {
    const TVeDestEngineClass* engine = FForm->FDest->EngineClass();
    const TVeDestEngineOptions* o = FForm->FDest->Options();
    if (!engine || !o || preview.Width() != o->Width() || preview.Height() != o->Height() ||
        picture.width() != preview.Width() || picture.height() != preview.Height())
      return;
    const TVeModeRule rule = engine->GetModeRule(*o);
    if (!rule.Checkable) return;
    picture = picture.convertToFormat(QImage::Format_RGB32);
    QPainter painter(&picture);
    painter.setPen(Qt::red);
    for (const TVeRuleBreak& b : VeCheckRule(rule, preview))
      painter.drawRect(b.X, b.Y, b.Width - 1, b.Height - 1);
  }
  void DestPalette(const TVePalette256& palette, int number, int number2) override {
    if (!FResult) return;
    if (FForm->FRunClock.isValid()) {
      const qint64 ms = FForm->FRunClock.elapsed();
      FForm->FRunClock.invalidate();
      FForm->FTimeLabel->setText(
          ms < 1000 ? QStringLiteral("Converted in %1 ms").arg(ms)
                    : QStringLiteral("Converted in %1 s").arg(double(ms) / 1000, 0, 'f', 2));
    }
    if (TVeOptionPanel* panel = FForm->Panel()) {
      if (TVeDestEngineUIEx* ex = panel->ModelEx()) {
        ex->ShowResultPalette(&palette, number, number2);
        panel->Sync();
      }
    }
  }
  void DestProgress(uint32_t total, uint32_t done) override {
    if (FResult) FForm->FResultView->SetProgress(total, done);
  }

private:
  TVeMainForm* FForm;
  bool FResult;
  TVeAspectPair FPair;
  int FZoom = 1;
  bool FBusy = false;
};

TVeOptionPanel* TVeMainForm::Panel() const {
  return qobject_cast<TVeOptionPanel*>(FOptionPanel);
}

void TVeMainForm::CreateCore() {
  FDest = std::make_unique<TVeDest>();
  // A finished thread is taken over at once rather than at the next poll, which is left
  // with the progress bar. Posted to this window's thread; dropped if the window is gone.
  FDest->SetWakeUp([this] {
    QMetaObject::invokeMethod(
        this, [this] { Tick(); }, Qt::QueuedConnection);
  });
  FSourceViewLink = std::make_unique<TDestLink>(this, false);
  FResultViewLink = std::make_unique<TDestLink>(this, true);
  FDest->AddClient(FSourceViewLink.get());
  FDest->AddClient(FResultViewLink.get());
}

void TVeMainForm::FillPlatforms() {
  const TVeDestEngineList& list = DestEngineList();
  int platform = 0, mode = 0;
  list.Find(TVeAppSettings::Read(TVeAppSettings::LastPlatform).toStdString(),
            TVeAppSettings::Read(TVeAppSettings::LastMode).toStdString(), &platform, &mode);
  FFilling = true;
  FPlatformBox->clear();
  for (int i = 0; i < list.Count(); ++i)
    FPlatformBox->addItem(QString::fromStdString(list.Strings(i)));
  FPlatformBox->setMaxVisibleItems(std::max(list.Count(), 1));
  FPlatformBox->setCurrentIndex(platform);
  FillModes(platform, mode);
  FFilling = false;
}

void TVeMainForm::FillModes(int platform, int mode) {
  const bool filling = FFilling;
  FFilling = true;
  FScreenBox->clear();
  const TVeDestEngineList& list = DestEngineList();
  if (platform >= 0 && platform < list.Count()) {
    const TVeDestSubTypes& modes = list.GetSubTypes(platform);
    for (int i = 0; i < modes.Count(); ++i)
      FScreenBox->addItem(QString::fromStdString(modes.Strings(i)));
  }
  FScreenBox->setCurrentIndex(FScreenBox->count() > 0 ? std::max(mode, 0) : -1);
  FScreenBox->setEnabled(FScreenBox->count() > 1);
  FFilling = filling;
}

const TVeDestEngineClass* TVeMainForm::SelectedEngine() const {
  const TVeDestEngineList& list = DestEngineList();
  const int p = FPlatformBox->currentIndex(), m = FScreenBox->currentIndex();
  if (p < 0 || p >= list.Count()) return nullptr;
  const TVeDestSubTypes& modes = list.GetSubTypes(p);
  if (m < 0 || m >= modes.Count()) return nullptr;
  return modes.GetEngineClass(m);
}

void TVeMainForm::PlatformChanged(int index) {
  if (FFilling) return;
  FillModes(index, 0);
  TVeAppSettings::Write(TVeAppSettings::LastPlatform, FPlatformBox->currentText());
  ModeChanged();
}

void TVeMainForm::ModeChanged() {
  setUpdatesEnabled(false);
  FDest->BeginUpdate();
  try {
    delete FOptionPanel.data();
    FDest->SetEngine(SelectedEngine());
    if (std::unique_ptr<TVeDestEngineUI> model = FDest->CreateEngineUI()) {
      auto* panel = new TVeOptionPanel(std::move(model), FParams);
      panel->ChooseColor = [this](int current, const std::vector<int>& allowed) {
        if (!allowed.empty())
          return TVeColorChoiceDialog::Choose(QList<int>(allowed.begin(), allowed.end()), current,
                                              this);
        const QColor c =
            QColorDialog::getColor(QColor(QRgb(0xFF000000u | uint32_t(current))), this);
        return c.isValid() ? int(c.rgb() & 0xFFFFFF) : -1;
      };
      panel->EditPalette = [this] { EditCustomPalette(); };
      FParamsLayout->insertWidget(FParamsLayout->count() - 1, panel);
      FOptionPanel = panel;
      connect(panel, &TVeOptionPanel::LayoutChanged, this, &TVeMainForm::PanelRebuilt);
      PanelRebuilt();
    }
  } catch (const std::exception& e) {
    FDest->EndUpdate();
    setUpdatesEnabled(true);
    ShowError(e);
    return;
  }
  FDest->EndUpdate();
  setUpdatesEnabled(true);
  TVeAppSettings::Write(TVeAppSettings::LastMode, FScreenBox->currentText());
  UpdateActions();
}

void TVeMainForm::EditCustomPalette() {
  TVeDestEngineOptions* options = FDest->Options();
  if (!options) return;
  // The grid shows the colours the mode picks its palette from.
  const TVePalette256& hardware =
      options->BasePalette().Count() > 0 ? options->BasePalette() : options->Palette();
  TVeCustomForm form(hardware, options->AllowedColors1(), this);
  if (form.exec() != QDialog::Accepted) return;
  options->BeginUpdate();
  options->SetAllowedColors1(form.Allowed());
  options->EndUpdate();
  if (options->Modified()) FDest->OptionsChanged();
}

void TVeMainForm::PanelRebuilt() {
  TVeOptionPanel* panel = Panel();
  if (!panel) return;
  if (TVePaletteView* view = panel->PaletteView()) {
    view->SetContextMenu(view->Original() ? FPaletteMenu2 : FPaletteMenu1);
    FPaletteView = view;
  } else {
    FPaletteView = nullptr;
  }
  UpdateActions();
}

void TVeMainForm::Tick() {
  if (FDest) FDest->Tick();
}

bool TVeMainForm::Working() const {
  return FDest && !FDest->Idle();
}

void TVeMainForm::UpdateActions() {
  if (!FDest) return;
  TVeMainActions& a = *FActions;
  const TVeBitmap* result = FDest->ResultBitmap();
  const bool hasResult = FDest->ResultPreview() != nullptr && result != nullptr;
  const bool previewOnly = FDest->EngineClass() && FDest->EngineClass()->PreviewOnly();
  FResultLabel->setText(previewOnly
                            ? QStringLiteral("Result ") + QLatin1String(VePreviewOnlyCaption)
                            : QStringLiteral("Result"));
  const bool hasSource = FDest->RegionImage() != nullptr;
  a.SelectRegion->setEnabled(hasSource);
  a.Close->setEnabled(hasSource || FFileList->count() > 0);
  a.Copy->setEnabled(hasResult);
  a.SaveBMP->setEnabled(hasResult);
  a.SavePNG->setEnabled(hasResult);
  a.SaveGIF->setEnabled(hasResult && result->BitCount() <= 8);
  const TVeStreamList* files = FDest->OutputFiles();
  for (int i = 0; i < TVeMainActions::NativeSaveCount; ++i) {
    const bool present = hasResult && files && files->Count() > i;
    a.SaveNative[i]->setVisible(present);
    a.SaveNative[i]->setEnabled(present);
    if (present)
      a.SaveNative[i]->setText(
          TVeMainActions::SaveCaption(QString::fromStdString(files->GetStream(i)->Label())));
  }
  for (QAction* e : a.Export) {
    const TVeExporter* exporter = VeFindExporter(e->data().toString().toStdString());
    bool takes = false;
    for (int i = 0; hasResult && files && exporter && i < files->Count(); ++i)
      takes = takes || !exporter->Accepts || exporter->Accepts(*files->GetStream(i));
    e->setEnabled(takes);
  }
  const QMimeData* clip = QApplication::clipboard()->mimeData();
  a.Paste->setEnabled(CanDrop(clip));
  a.PasteResult->setEnabled(clip && clip->hasImage());
  a.SavePalette->setEnabled(FPaletteView && !FPaletteView->Colors().isEmpty());
  a.ZoomFit->setChecked(FZoomFit);
  for (int n = 1; n <= TVeMainActions::ZoomCount; ++n)
    a.Zoom[n - 1]->setChecked(!FZoomFit && FDest->ViewZoom() == n);
  a.NativeAspect->setChecked(!FDest->SquarePixels());
  a.ShowFlicker->setEnabled(FDest->HasFrames() && TVeFlickBox::Available());
  a.ShowFlicker->setChecked(FDest->GetShowFlicker());
  UpdateModeLabel();
}

void TVeMainForm::DoZoom(int n) {
  FZoomFit = n <= 0;
  TVeAppSettings::Write(TVeAppSettings::Zoom, QString::number(FZoomFit ? 0 : n));
  if (FZoomFit)
    ApplyFitZoom();
  else
    FDest->SetViewZoom(n);
  UpdateActions();
}

void TVeMainForm::ScheduleFit() {
  // Later, not from inside a view notification: a new zoom sends the views again.
  if (!FZoomFit || FFitPending) return;
  FFitPending = true;
  QTimer::singleShot(0, this, [this] {
    FFitPending = false;
    ApplyFitZoom();
  });
}

void TVeMainForm::ApplyFitZoom() {
  // A window not shown has no room to fit into yet.
  if (!FZoomFit || !FDest || !isVisible()) return;
  // A view's unit size is its picture at the controller's zoom 1; the view zoom multiplies
  // the engine's own display scale.
  const int scale = std::max(FDest->EngineScale(), 1);
  QList<TVeFitView> views;
  if (!FHideSource)
    views.append({FSourceView->UnitSize() * scale, FSourceScroll->maximumViewportSize()});
  views.append({FResultView->UnitSize() * scale, FResultScroll->maximumViewportSize()});
  const int zoom = VeFitZoom(views, MaxFitZoom);
  if (zoom > 0 && zoom != FDest->ViewZoom()) FDest->SetViewZoom(zoom);
}

void TVeMainForm::DoNativeAspect() {
  FDest->SetSquarePixels(!FDest->SquarePixels());
  UpdateActions();
}

void TVeMainForm::DoMarkRuleBreaks() {
  FResultViewLink->ShowAgain();
}

void TVeMainForm::DoShowFlicker() {
  FDest->SetShowFlicker(!FDest->GetShowFlicker());
  UpdateActions();
}

QString TVeMainForm::AboutText() {
  QStringList libraries{QStringLiteral("Qt %1").arg(QLatin1String(qVersion()))};
  for (const std::string& l : VeLibraryVersions())
    libraries << QString::fromStdString(l);
  const QString version = QApplication::applicationVersion().isEmpty()
                              ? QString()
                              : QStringLiteral(" ") + QApplication::applicationVersion();
  return QStringLiteral(
             "<b>Velmora</b>%1<br>Converts pictures into the screen modes of old home "
             "computers and writes their native screen files.<br><br>Libraries used: "
             "%2.<br><br>Copyright \u00A9 2026 Ostrel Software. All rights reserved: no licence to "
             "copy or redistribute Velmora has been granted yet.<br>The libraries are "
             "used under their own licences (Qt under the GNU LGPL version 3; zlib, "
             "libpng, libjpeg-turbo and giflib under their permissive licences).")
      .arg(version, libraries.join(QStringLiteral(", ")).toHtmlEscaped());
}

void TVeMainForm::DoAbout() {
  QMessageBox::about(this, QStringLiteral("About Velmora"), AboutText());
}

// ---- the source side ----

void TVeMainForm::ShowAnimationFrames() {
  const int count = FSource ? FSource->AnimationFrames() : 0;
  FFrameLabel->setVisible(count > 1);
  FFrameBox->setVisible(count > 1);
  if (count <= 1) return;
  const QSignalBlocker block(FFrameBox);
  FFrameBox->setRange(1, count);
  FFrameBox->setValue(FSource->AnimationFrame() + 1);
  FFrameLabel->setText(tr("F&rame (of %1):").arg(count));
}

class TVeMainForm::TSourceLink : public IVeSourceClient, public IVeSourceFilesClient {
public:
  explicit TSourceLink(TVeMainForm* form) : FForm(form) {}
  void SourceImageChanged(TVeSource*, const TVeBitmap32*) override {
    FForm->WatchSourceFile();
    FForm->ShowAnimationFrames();
  }
  void SourceRegionChanged(TVeSource* source, const TVeBitmap32* regionImage,
                           const TVePalette256* filePalette,
                           const TVePalette256* usedColors) override {
    FForm->RegionChanged(source, regionImage, filePalette, usedColors);
  }
  void SourceFilesChanged(TVeSourceFiles*) override { FForm->FilesChanged(); }

private:
  TVeMainForm* FForm;
};

void TVeMainForm::CreateSource() {
  FFiles = std::make_unique<TVeSourceFiles>();
  FSource = std::make_unique<TVeSource>();
  FFiles->SetSource(FSource.get());
  FSource->OnImport = [this](TVeSourceEngineList& engines) {
    TVeSource::TImported imported;
    TVeLoadScrForm form(engines, this);
    if (form.exec() != QDialog::Accepted) return imported;
    imported.Picture = form.TakePicture();
    imported.Frames = form.TakeFrames();
    return imported;
  };
  FSourceLink = std::make_unique<TSourceLink>(this);
  connect(FFileList, &QListWidget::currentRowChanged, this, [this](int row) {
    if (FFillingFiles || row < 0) return;
    Guard([&] { FFiles->Open(row); });
  });
}

void TVeMainForm::LinkSource() {
  FFiles->AddClient(FSourceLink.get());
  FSource->AddClient(FSourceLink.get());
}

void TVeMainForm::RegionChanged(TVeSource* source, const TVeBitmap32* regionImage,
                                const TVePalette256* filePalette, const TVePalette256* usedColors) {
  FSourceName = source && !source->Empty() ? QString::fromStdString(source->Name()) : QString();
  UpdateCaption();
  FDest->BeginUpdate();
  FDest->RegionImageChanged(regionImage, filePalette, usedColors);
  if (TVeOptionPanel* panel = Panel()) {
    if (TVeDestEngineUIEx* ex = panel->ModelEx()) {
      const TVeBitmap32* image = source ? source->Image() : nullptr;
      ex->SetSourcePictureSize(image ? image->Width() : 0, image ? image->Height() : 0);
      if (regionImage) ex->SourceSizeToDimension(regionImage->Width(), regionImage->Height());
    }
    panel->Sync();
  }
  FDest->EndUpdate();
  UpdateActions();
}

void TVeMainForm::FilesChanged() {
  FFillingFiles = true;
  FFileList->clear();
  for (const std::string& name : FFiles->Names())
    FFileList->addItem(QString::fromStdString(name));
  FFillingFiles = false;
  // As wide as the longest name needs, within reason.
  int names = 0;
  for (int i = 0; i < FFileList->count(); ++i)
    names = std::max(names, FFileList->fontMetrics().horizontalAdvance(FFileList->item(i)->text()));
  const int frame =
      2 * FFileList->frameWidth() + style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 12;
  FFileList->setFixedWidth(std::clamp(names + frame, 80, 320));
  UpdateFilesVisible();
  UpdateActions();
}

void TVeMainForm::OpenFile(const QString& path) {
  Guard([&] {
    if (!FFiles->Files().empty()) FFiles->Clear();
    try {
      FSource->OpenFile(path.toStdString());
    } catch (const EVeError& e) {
      // "No such file" alone does not say which.
      const std::string m = e.what(), name = QFileInfo(path).fileName().toStdString();
      if (m.find(name) != std::string::npos) throw;
      throw EVeError(name + ": " + m);
    }
  });
}

void TVeMainForm::OpenFolder(const QString& path) {
  // The list is filled; a picture opens when the user picks an entry.
  Guard([&] { FFiles->Fill(path.toStdString()); });
}

static TVePicture PictureOf(const QImage& image) {
  const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
  TVePicture picture;
  picture.Allocate(rgb.width(), rgb.height(), 32);
  for (int y = 0; y < rgb.height(); ++y)
    std::memcpy(picture.Row(y), rgb.constScanLine(y), size_t(rgb.width()) * 4);
  return picture;
}

static std::vector<std::string> LocalPaths(const QMimeData* data) {
  std::vector<std::string> paths;
  if (data && data->hasUrls())
    for (const QUrl& url : data->urls())
      if (url.isLocalFile()) paths.push_back(url.toLocalFile().toStdString());
  return paths;
}

bool TVeMainForm::OpenData(const QMimeData* data, bool folders) {
  if (!CanDrop(data)) return false;
  const std::vector<std::string> paths = LocalPaths(data);
  if (folders && paths.size() == 1 && QFileInfo(QString::fromStdString(paths[0])).isDir()) {
    OpenFolder(QString::fromStdString(paths[0]));
    return true;
  }
  return Guard([&] {
    if (!FFiles->Files().empty()) FFiles->Clear();
    if (data->hasImage())
      FSource->OpenPicture(PictureOf(qvariant_cast<QImage>(data->imageData())));
    else
      FSource->OpenDroppedFiles(paths);
  });
}

bool TVeMainForm::DropData(const QMimeData* data) {
  return OpenData(data, true);
}

std::unique_ptr<QFileDialog> TVeMainForm::CreateFileDialog(const QString& filters,
                                                           const QString& setting) {
  auto dialog = std::make_unique<QFileDialog>(this);
  dialog->setNameFilter(filters);
  dialog->setDirectory(TVeAppSettings::Read(setting));
  // Large enough that the name, size, type and date columns all show.
  QSize size(960, 600);
  if (const QScreen* s = screen()) size = size.boundedTo(s->availableSize() * 9 / 10);
  dialog->resize(size);
  return dialog;
}

QString TVeMainForm::AskOpenFile(const QString& filters, const QString& setting) {
  std::unique_ptr<QFileDialog> dialog = CreateFileDialog(filters, setting);
  dialog->setFileMode(QFileDialog::ExistingFile);
  if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty()) return QString();
  const QString path = dialog->selectedFiles().first();
  TVeAppSettings::Write(setting, QFileInfo(path).absolutePath());
  return path;
}

QString TVeMainForm::AskSaveFile(const QString& filter, const QString& ext,
                                 const QString& setting) {
  std::unique_ptr<QFileDialog> dialog = CreateFileDialog(filter, setting);
  dialog->setAcceptMode(QFileDialog::AcceptSave);
  dialog->setFileMode(QFileDialog::AnyFile);
  dialog->setDefaultSuffix(ext);
  if (setting == TVeAppSettings::Path && !FSourceName.isEmpty())
    dialog->selectFile(QFileInfo(FSourceName).completeBaseName() + QLatin1Char('.') + ext);
  if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty()) return QString();
  QString path = dialog->selectedFiles().first();
  // What is written decides the extension, so a file's name never hides another format.
  const QString named =
      QString::fromStdString(VeNameWithExtension(path.toStdString(), ext.toStdString()));
  if (named != path) {
    path = named;
    if (QFileInfo::exists(path) &&
        QMessageBox::question(
            this, ProgramName(),
            tr("%1 already exists.\nDo you want to replace it?").arg(QFileInfo(path).fileName())) !=
            QMessageBox::Yes)
      return QString();
  }
  TVeAppSettings::Write(setting, QFileInfo(path).absolutePath());
  return path;
}

template <class TSave> void TVeMainForm::SaveKeepingSource(TSave save) {
  // Velmora's own write over the source must not come back as a changed source.
  struct TPause {
    TVeMainForm* Form;
    ~TPause() { Form->WatchSourceFile(); }
  } pause{this};
  if (!FWatchedPath.isEmpty()) FWatcher->removePath(FWatchedPath);
  FWatchedPath.clear();
  try {
    save(false);
  } catch (const EVeOutputRefused& e) {
    if (e.Kind != TVeOutputRefusal::InputFile) throw;
    const QString name = QString::fromStdString(e.Path);
    if (QMessageBox::warning(this, ProgramName(),
                             tr("Saving replaces the source picture %1.\nReplace it?").arg(name),
                             QMessageBox::Yes | QMessageBox::No,
                             QMessageBox::No) != QMessageBox::Yes)
      return;
    save(true);
  }
}

void TVeMainForm::WatchSourceFile() {
  if (!FWatcher) return;
  const QString path = QString::fromStdString(FSource->Path());
  const bool watch = !path.isEmpty() && FActions->WatchSource->isChecked();
  // Re-added every time: a file replaced by a rename drops out of the watcher.
  if (!FWatchedPath.isEmpty()) FWatcher->removePath(FWatchedPath);
  FWatchedPath.clear();
  if (watch && FWatcher->addPath(path)) FWatchedPath = path;
}

void TVeMainForm::ReloadSource() {
  const QString path = FWatchedPath;
  if (path.isEmpty() || !FActions->WatchSource->isChecked()) return;
  const QString name = QFileInfo(path).fileName();
  if (!QFileInfo::exists(path)) {
    // Gone for now (removed, or between a save's delete and rename): keep the picture.
    WatchSourceFile();
    return;
  }
  const TVeBitmap32* old = FSource->Image();
  const int width = old ? old->Width() : -1, height = old ? old->Height() : -1;
  const TVeRect region = FSource->Region();
  try {
    FSource->OpenFile(path.toStdString());
  } catch (const std::exception& e) {
    // Half written, or no longer a picture: the open picture stays, the next change retries.
    WatchSourceFile();
    statusBar()->showMessage(tr("%1 changed but could not be read: %2").arg(name, e.what()));
    return;
  }
  const TVeBitmap32* now = FSource->Image();
  if (now && now->Width() == width && now->Height() == height) FSource->SetRegion(region);
  statusBar()->showMessage(tr("Reloaded %1").arg(name));
}

QString TVeMainForm::OpenFilters() {
  // Both cases: the dialog may match names case-sensitively, and old disks wrote capitals.
  QStringList screens;
  for (const std::string& ext : VeSourceFileExtensions()) {
    const QString e = QString::fromStdString(ext);
    screens << QLatin1Char('*') + e;
    if (e.toUpper() != e) screens << QLatin1Char('*') + e.toUpper();
  }
  QStringList filters{QStringLiteral("Images (*.bmp *.png *.jpg *.jpeg *.gif)")};
  if (!screens.isEmpty())
    filters << QStringLiteral("Screen files (%1)").arg(screens.join(QLatin1Char(' ')));
  filters << QStringLiteral("*.bmp (*.bmp)") << QStringLiteral("*.png (*.png)")
          << QStringLiteral("*.jpg (*.jpg *.jpeg)") << QStringLiteral("*.gif (*.gif)")
          << QStringLiteral("Any file (*)");
  return filters.join(QStringLiteral(";;"));
}

void TVeMainForm::DoOpen() {
  const QString path = AskOpenFile(OpenFilters(), TVeAppSettings::Path);
  if (!path.isEmpty()) OpenFile(path);
}

void TVeMainForm::DoOpenFolder() {
  const QString folder = QFileDialog::getExistingDirectory(
      this, QString(), TVeAppSettings::Read(TVeAppSettings::Path));
  if (folder.isEmpty()) return;
  TVeAppSettings::Write(TVeAppSettings::Path, folder);
  OpenFolder(folder);
}

void TVeMainForm::DoPaste() {
  OpenData(QApplication::clipboard()->mimeData(), false);
}

void TVeMainForm::DoClose() {
  FSource->Close();
  FFiles->Clear();
}

void TVeMainForm::DoBatch() {
  QStringList files;
  for (const std::string& f : FFiles->Files())
    files << QString::fromStdString(f);
  // The batch starts where the open picture lies.
  const QString current = QString::fromStdString(FSource->Path());
  const QFileInfo info(current);
  TVeBatchConvertForm form(FDest.get(), files, this,
                           !current.isEmpty() && info.exists() ? info.absolutePath() : QString());
  form.exec();
}

void TVeMainForm::DoSelectRegion() {
  if (!FSource->Image()) return;
  TVeRegionTarget target;
  if (const TVeDestEngineOptions* o = FDest->Options()) {
    target.Width = o->Width();
    target.Height = o->Height();
    const TVeAspectPair aspect = o->GetAspectPair();
    target.AspectX = aspect.X;
    target.AspectY = aspect.Y;
    target.Mode = o->PositionMode();
    target.CellWidth = o->GetCellWidth();
    target.CellHeight = o->GetCellHeight();
  }
  TVeRegionForm form(*FSource->Image(), FSource->Region(), target, this);
  form.exec();
  Guard([&] { FSource->SetRegion(form.Region()); });
}

void TVeMainForm::DoOpenPalette() {
  const QString path = AskOpenFile(
      QStringLiteral("Palettes (*.pal *.act *.gpl *.png *.bmp *.gif);;*.pal (*.pal);;"
                     "*.act (*.act);;*.gpl (*.gpl);;*.png (*.png);;*.bmp (*.bmp);;*.gif (*.gif)"),
      TVeAppSettings::PalettePath);
  if (!path.isEmpty()) Guard([&] { TVePaletteList::Shared().LoadFromFile(path.toStdString()); });
}

const TVePalette256* TVeMainForm::LinkedPalette() const {
  TVeOptionPanel* panel = Panel();
  if (!panel || !FPaletteView) return nullptr;
  for (const TVeUIControl& c : panel->Model().Controls())
    if (panel->ControlWidget(c.Id) == FPaletteView) return c.Palette.get();
  return nullptr;
}

void TVeMainForm::DoSavePalette() {
  const TVePalette256* palette = LinkedPalette();
  if (!palette || palette->Count() == 0) return;
  const QString path = AskSaveFile(QStringLiteral("*.pal (*.pal)"), QStringLiteral("pal"),
                                   TVeAppSettings::PalettePath);
  if (!path.isEmpty())
    Guard([&] {
      VeSavePaletteJASC(*palette, path.toStdString());
      ReportSaved({path.toStdString()});
    });
}

void TVeMainForm::DoCopy() {
  if (const TVeBitmap* result = FDest->ResultBitmap())
    Guard([&] { QApplication::clipboard()->setImage(VeToQImage(*result->ToBitmap32())); });
}

void TVeMainForm::DoPasteResult() {
  const QMimeData* data = QApplication::clipboard()->mimeData();
  if (!data || !data->hasImage()) return;
  const TVeBitmap32 bitmap = VeFromQImage(qvariant_cast<QImage>(data->imageData()));
  Guard([&] { FDest->PasteResult(&bitmap); });
}

void TVeMainForm::DoSavePicture(const QString& ext) {
  const TVeBitmap* result = FDest->ResultBitmap();
  if (!result) return;
  const QString path =
      AskSaveFile(QStringLiteral("*.%1 (*.%1)").arg(ext), ext, TVeAppSettings::Path);
  const TVeSaveFormat format = VeSaveFormatFromName("." + ext.toStdString());
  if (!path.isEmpty())
    Guard([&] { SaveKeepingSource([&](bool replace) { SavePictureTo(path, format, replace); }); });
}

void TVeMainForm::SavePictureTo(const QString& path, int format, bool replaceSource) {
  const TVeBitmap* result = FDest->ResultBitmap();
  if (!result) throw EVeError("No result to save");
  TVeOutputSet set;
  if (!replaceSource) set.Protect(FSource->Path());
  VeAddResultPicture(set, *result, FDest->Frames(), path.toStdString(),
                     format < 0 ? VeSaveFormatFromName(path.toStdString()) : TVeSaveFormat(format));
  // The save dialog has asked before replacing a file.
  ReportSaved(set.Commit(true));
}

void TVeMainForm::SaveNativeTo(int index, const QString& path, bool replaceSource) {
  TVeStreamList* files = FDest->OutputFiles();
  if (!files || index < 0 || index >= files->Count()) throw EVeError("No such output file");
  TVeOutputSet set;
  if (!replaceSource) set.Protect(FSource->Path());
  set.AddStream(*files->GetStream(index), path.toStdString(), true);
  ReportSaved(set.Commit(true));
}

void TVeMainForm::DoSaveNative(int index) {
  TVeStreamList* files = FDest->OutputFiles();
  if (!files || index >= files->Count() || !FDest->EngineClass()) return;
  TVeStream* stream = files->GetStream(index);
  const QString ext = QString::fromStdString(stream->Extension);
  const QString platform = QString::fromStdString(FDest->EngineClass()->GetPlatformName());
  const QString path =
      AskSaveFile(QStringLiteral("%1 image (*.%2)").arg(platform, ext), ext, TVeAppSettings::Path);
  if (!path.isEmpty())
    Guard([&] { SaveKeepingSource([&](bool replace) { SaveNativeTo(index, path, replace); }); });
}

void TVeMainForm::ExportTo(const QString& kind, const QString& base) {
  TVeStreamList* files = FDest->OutputFiles();
  const TVeExporter* exporter = VeFindExporter(kind.toStdString());
  if (!files || !exporter || !FDest->EngineClass()) throw EVeError("No native files to export");
  TVeOutputSet set;
  set.Protect(FSource->Path());
  VeAddExportFiles(set, *files, *exporter, base.toStdString(),
                   FDest->EngineClass()->GetPlatformName() + " " +
                       FDest->EngineClass()->GetModeName());
  ReportSaved(set.Commit(true));
}

void TVeMainForm::DoExport(const QString& kind) {
  const TVeExporter* exporter = VeFindExporter(kind.toStdString());
  if (!exporter || !FDest->OutputFiles()) return;
  const QString ext = QString::fromStdString(exporter->Extension);
  const QString path =
      AskSaveFile(QStringLiteral("%1 (*.%2)").arg(QString::fromStdString(exporter->Caption), ext),
                  ext, TVeAppSettings::Path);
  if (!path.isEmpty()) Guard([&] { ExportTo(kind, path); });
}

TVeMainForm::~TVeMainForm() {
  FTimer->stop();
  if (FSource) FSource->RemoveClient(FSourceLink.get());
  if (FFiles) FFiles->RemoveClient(FSourceLink.get());
  delete FOptionPanel.data();
  FDest.reset(); // stops its threads before the views go
  FFiles.reset();
  FSource.reset();
}
