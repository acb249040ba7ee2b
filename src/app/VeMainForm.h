#pragma once
// The main window: the file list, the source and result views, the "Parameters" panel with
// the platform and mode lists and the engine's option panel, and every command.
#include <QElapsedTimer>
#include <QMainWindow>
#include <QPointer>
#include <memory>
#include <string>
#include <vector>

#include "VeMainActions.h"

class QComboBox;
class QFileDialog;
class QFileSystemWatcher;
class QLabel;
class QListWidget;
class QMenu;
class QMimeData;
class QScrollArea;
class QSpinBox;
class QTimer;
class QVBoxLayout;
class TVeDestImage;
class TVeDestOriginalImage;
class TVeDest;
class TVeBitmap32;
class TVePalette256;
class TVeSource;
class TVeSourceFiles;
class TVeDestEngineClass;
class TVeOptionPanel;
class TVePaletteView;

class TVeMainForm : public QMainWindow {
  Q_OBJECT
public:
  explicit TVeMainForm(QWidget* parent = nullptr);
  ~TVeMainForm() override;

  static QString ProgramName() { return QStringLiteral("Velmora"); }
  // The About box: version, what the program does, the libraries it uses.
  static QString AboutText();
  // The minimum width of the "Parameters" panel's content.
  static constexpr int ParamsWidth = 360;

  TVeMainActions& Actions() { return *FActions; }
  QComboBox* PlatformBox() const { return FPlatformBox; }
  QComboBox* ScreenBox() const { return FScreenBox; }
  QListWidget* FileList() const { return FFileList; }
  QLabel* FilesLabel() const { return FFilesLabel; }
  QLabel* SourceLabel() const { return FSourceLabel; }
  TVeDestOriginalImage* SourceView() const { return FSourceView; }
  TVeDestImage* ResultView() const { return FResultView; }
  QScrollArea* SourceScroll() const { return FSourceScroll; }
  QScrollArea* ResultScroll() const { return FResultScroll; }
  QWidget* OptionPanel() const { return FOptionPanel; }
  TVeOptionPanel* Panel() const;
  TVeDest& Dest() const { return *FDest; }
  TVeSource& Source() const { return *FSource; }
  TVeSourceFiles& Files() const { return *FFiles; }
  QMenu* SourceMenu() const { return FSourceMenu; }
  QMenu* ResultMenu() const { return FResultMenu; }
  QMenu* PaletteMenu(bool original) const { return original ? FPaletteMenu2 : FPaletteMenu1; }
  bool SourceHidden() const { return FHideSource; }
  // Zoom to fit: the views take the largest whole zoom at which both pictures fit.
  bool ZoomFit() const { return FZoomFit; }
  static constexpr int MaxFitZoom = 16;

  // Commands callable without dialogs (tests, drops, the command line of the program).
  void OpenFile(const QString& path);
  void OpenFolder(const QString& path);
  // Applies a drop; returns false (after telling the user) when it failed.
  bool DropData(const QMimeData* data);
  static bool CanDrop(const QMimeData* data);
  // The filters of "&Open...": pictures, then the native files the loaders know.
  static QString OpenFilters();
  // A file dialog with the filters, starting in the folder of the setting, sized so that its
  // columns show.
  std::unique_ptr<QFileDialog> CreateFileDialog(const QString& filters, const QString& setting);
  void SetHideSource(bool hide);
  // The save commands after their dialogs; errors are thrown. format is a TVeSaveFormat, or
  // -1 for the one the name's extension gives. The source picture's file is replaced only
  // with replaceSource (the commands ask first).
  void SavePictureTo(const QString& path, int format = -1, bool replaceSource = false);
  void SaveNativeTo(int index, const QString& path, bool replaceSource = false);
  // Exports the native files of kind, named after base as the native files are.
  void ExportTo(const QString& kind, const QString& base);
  // The status bar: the last save, the last conversion's time, the mode's size and colours.
  QString StatusMessage() const;
  QLabel* TimeLabel() const { return FTimeLabel; }
  QLabel* ModeLabel() const { return FModeLabel; }
  // Runs the poll of the conversion once (the timer does this every 100 ms for the progress,
  // and a finished thread asks for it at once).
  void Tick();
  // True while a preparation or conversion is pending.
  bool Working() const;

protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;

private:
  class TDestLink;
  class TSourceLink;
  void CreateSource();
  void LinkSource();
  void RegionChanged(TVeSource* source, const TVeBitmap32* regionImage,
                     const TVePalette256* filePalette, const TVePalette256* usedColors);
  void FilesChanged();
  bool OpenData(const QMimeData* data, bool folders);
  QString AskOpenFile(const QString& filters, const QString& setting);
  QString AskSaveFile(const QString& filter, const QString& ext, const QString& setting);
  // Runs save(false); when that would replace the source picture, asks and runs save(true).
  template <class TSave> void SaveKeepingSource(TSave save);
  const TVePalette256* LinkedPalette() const;
  void CreateCore();
  void FillPlatforms();
  void FillModes(int platform, int mode);
  const TVeDestEngineClass* SelectedEngine() const;
  void PanelRebuilt();
  void EditCustomPalette();
  void CreateViews();
  void CreateParams();
  void CreateMenus();
  void ConnectActions();
  void UpdateFilesVisible();
  void UpdateCaption();
  void UpdateActions();
  void PlatformChanged(int index);
  void ModeChanged();
  void ShowError(const std::exception& e);
  void ReportSaved(const std::vector<std::string>& names);
  void UpdateModeLabel();
  template <class F> bool Guard(F&& f);

  void DoOpen();
  void DoOpenFolder();
  void DoPaste();
  void DoClose();
  void DoBatch();
  void DoSelectRegion();
  void DoOpenPalette();
  void DoSavePalette();
  void DoCopy();
  void DoPasteResult();
  void DoSavePicture(const QString& ext);
  void DoSaveNative(int index);
  void DoExport(const QString& kind);
  // n = 0: zoom to fit.
  void DoZoom(int n);
  void ScheduleFit();
  void ApplyFitZoom();
  void DoNativeAspect();
  void DoShowFlicker();
  void DoMarkRuleBreaks();
  // The watched source: the file of the open picture, reloaded after it changes on disk.
  void WatchSourceFile();
  // The frame selector, shown while an animation is open.
  void ShowAnimationFrames();
  void ReloadSource();
  void DoAbout();

  std::unique_ptr<TVeMainActions> FActions;
  QListWidget* FFileList = nullptr;
  QLabel* FFilesLabel = nullptr;
  QLabel* FSourceLabel = nullptr;
  QLabel* FResultLabel = nullptr;
  QLabel* FTimeLabel = nullptr;
  QLabel* FModeLabel = nullptr;
  QLabel* FFrameLabel = nullptr;
  QSpinBox* FFrameBox = nullptr;
  QElapsedTimer FRunClock;
  QScrollArea* FSourceScroll = nullptr;
  QScrollArea* FResultScroll = nullptr;
  TVeDestOriginalImage* FSourceView = nullptr;
  TVeDestImage* FResultView = nullptr;
  QWidget* FParams = nullptr;
  QVBoxLayout* FParamsLayout = nullptr;
  QComboBox* FPlatformBox = nullptr;
  QComboBox* FScreenBox = nullptr;
  QPointer<QWidget> FOptionPanel;
  QMenu* FSourceMenu = nullptr;
  QMenu* FResultMenu = nullptr;
  QMenu* FPaletteMenu1 = nullptr;
  QMenu* FPaletteMenu2 = nullptr;
  QTimer* FTimer = nullptr;
  bool FHideSource = false;
  bool FZoomFit = true;
  bool FFitPending = false;
  bool FFilling = false;
  QString FSourceName;
  bool FFillingFiles = false;
  std::unique_ptr<TVeSourceFiles> FFiles;
  std::unique_ptr<TVeSource> FSource;
  std::unique_ptr<TSourceLink> FSourceLink;
  std::unique_ptr<TVeDest> FDest;
  std::unique_ptr<TDestLink> FSourceViewLink, FResultViewLink;
  QPointer<TVePaletteView> FPaletteView;
  QFileSystemWatcher* FWatcher = nullptr;
  QTimer* FReloadTimer = nullptr;
  QString FWatchedPath;
};
