#include "VeMainForm.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>

#include "VeAppSettings.h"
#include "VeErrors.h"
#include "VeImageView.h"
#include "VeSeparator.h"

TVeMainForm::TVeMainForm(QWidget* parent) : QMainWindow(parent) {
  setWindowTitle(ProgramName());
  setAcceptDrops(true);
  FActions = std::make_unique<TVeMainActions>(this);
  CreateViews();
  CreateParams();
  CreateMenus();
  ConnectActions();
  FTimer = new QTimer(this);
  FTimer->setInterval(100);
  connect(FTimer, &QTimer::timeout, this, &TVeMainForm::Tick);
  FTimer->start();
  connect(QApplication::clipboard(), &QClipboard::dataChanged, this, &TVeMainForm::UpdateActions);
  UpdateFilesVisible();
  UpdateActions();
  resize(1280, 800);
}

TVeMainForm::~TVeMainForm() = default;

void TVeMainForm::CreateViews() {
  auto* central = new QWidget(this);
  auto* outer = new QHBoxLayout(central);
  outer->setContentsMargins(6, 6, 6, 6);

  auto* filesColumn = new QVBoxLayout;
  FFilesLabel = new QLabel(QStringLiteral("Files"), central);
  FFileList = new QListWidget(central);
  FFileList->setMaximumWidth(220);
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
  views->addWidget(FSourceLabel);
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

  QMenu* view = menuBar()->addMenu(QStringLiteral("View"));
  view->addAction(a.HideSource);
  view->addSeparator();
  for (QAction* z : a.Zoom)
    view->addAction(z);
  view->addSeparator();
  view->addActions({a.NativeAspect, a.ShowFlicker});

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
  connect(a.HideSource, &QAction::triggered, this, [this] { SetHideSource(!FHideSource); });
  for (int n = 1; n <= TVeMainActions::ZoomCount; ++n)
    connect(a.Zoom[n - 1], &QAction::triggered, this, [this, n] { DoZoom(n); });
  connect(a.NativeAspect, &QAction::triggered, this, &TVeMainForm::DoNativeAspect);
  connect(a.ShowFlicker, &QAction::triggered, this, &TVeMainForm::DoShowFlicker);
  connect(a.About, &QAction::triggered, this, &TVeMainForm::DoAbout);
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

void TVeMainForm::SetHideSource(bool hide) {
  FHideSource = hide;
  FSourceLabel->setVisible(!hide);
  FSourceScroll->setVisible(!hide);
  FActions->HideSource->setChecked(hide);
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

// ---- commands (wired to the core as it lands) ----

void TVeMainForm::OpenFile(const QString&) {}
void TVeMainForm::OpenFolder(const QString&) {}
bool TVeMainForm::DropData(const QMimeData*) {
  return false;
}
void TVeMainForm::Tick() {}
bool TVeMainForm::Working() const {
  return false;
}
void TVeMainForm::UpdateActions() {}
void TVeMainForm::PlatformChanged(int) {}
void TVeMainForm::ModeChanged() {}
void TVeMainForm::DoOpen() {}
void TVeMainForm::DoOpenFolder() {}
void TVeMainForm::DoPaste() {}
void TVeMainForm::DoClose() {}
void TVeMainForm::DoBatch() {}
void TVeMainForm::DoSelectRegion() {}
void TVeMainForm::DoOpenPalette() {}
void TVeMainForm::DoSavePalette() {}
void TVeMainForm::DoCopy() {}
void TVeMainForm::DoPasteResult() {}
void TVeMainForm::DoSavePicture(const QString&) {}
void TVeMainForm::DoSaveNative(int) {}
void TVeMainForm::DoZoom(int) {}
void TVeMainForm::DoNativeAspect() {}
void TVeMainForm::DoShowFlicker() {}
void TVeMainForm::DoAbout() {}
