#pragma once
// Every command of the main window, declared once and shared by the menus, the context
// menus and the shortcuts.
#include <QAction>
#include <QList>

class QActionGroup;
class QObject;

struct TVeMainActions {
  static constexpr int NativeSaveCount = 5;
  static constexpr int ZoomCount = 5;

  explicit TVeMainActions(QObject* owner);

  // File
  QAction* Open;
  QAction* OpenFolder;
  QAction* Paste;
  QAction* Close;
  QAction* BatchConvert;
  // Result
  QAction* SelectRegion;
  QAction* OpenPalette;
  QAction* SavePalette;
  QAction* Copy;
  QAction* PasteResult;
  QAction* SaveBMP;
  QAction* SavePNG;
  QAction* SaveGIF;
  QAction* SaveNative[NativeSaveCount];
  // One per exporter, in their order; each carries the exporter's kind as its data.
  QList<QAction*> Export;
  // View
  QAction* HideSource;
  // "Zoom to &fit" and the five fixed zooms: one exclusive group.
  QAction* ZoomFit;
  QAction* Zoom[ZoomCount];
  QActionGroup* ZoomGroup;
  QAction* NativeAspect;
  QAction* ShowFlicker;
  // Outlines in red the cells of the result that break the mode's colour rule.
  QAction* MarkRuleBreaks;
  // Reloads the source picture when its file changes on disk (a paint program saved it).
  QAction* WatchSource;
  // Help
  QAction* About;

  // "Save as &%s..." with the label filled in.
  static QString SaveCaption(const QString& label);
  QList<QAction*> All() const;
};
