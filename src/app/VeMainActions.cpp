#include "VeMainActions.h"

#include <QActionGroup>

#include "VeExport.h"

static QAction* Make(QObject* owner, const QString& caption,
                     const QKeySequence& shortcut = QKeySequence()) {
  auto* action = new QAction(caption, owner);
  if (!shortcut.isEmpty()) action->setShortcut(shortcut);
  return action;
}

QString TVeMainActions::SaveCaption(const QString& label) {
  return QStringLiteral("Save as &%1...").arg(label);
}

TVeMainActions::TVeMainActions(QObject* owner) {
  Open = Make(owner, QStringLiteral("&Open..."), QKeySequence(Qt::CTRL | Qt::Key_O));
  OpenFolder = Make(owner, QStringLiteral("Open &folder..."));
  Paste = Make(owner, QStringLiteral("&Paste"), QKeySequence(Qt::CTRL | Qt::Key_V));
  Close = Make(owner, QStringLiteral("&Close"));
  BatchConvert = Make(owner, QStringLiteral("&Batch convert..."));

  SelectRegion =
      Make(owner, QStringLiteral("&Select region..."), QKeySequence(Qt::CTRL | Qt::Key_R));
  OpenPalette = Make(owner, QStringLiteral("&Open palette..."));
  SavePalette = Make(owner, QStringLiteral("&Save palette as..."));
  Copy = Make(owner, QStringLiteral("&Copy"), QKeySequence(Qt::CTRL | Qt::Key_C));
  PasteResult =
      Make(owner, QStringLiteral("&Paste"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_V));
  SaveBMP = Make(owner, SaveCaption(QStringLiteral("BMP")),
                 QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
  SavePNG = Make(owner, SaveCaption(QStringLiteral("PNG")));
  SaveGIF = Make(owner, SaveCaption(QStringLiteral("GIF")));
  for (int i = 0; i < NativeSaveCount; ++i) {
    SaveNative[i] = Make(owner, SaveCaption(QStringLiteral("RAW")),
                         i == 0 ? QKeySequence(Qt::CTRL | Qt::Key_S) : QKeySequence());
    SaveNative[i]->setVisible(false);
  }

  for (const TVeExporter& e : VeExporters()) {
    QAction* action = Make(owner, QString::fromStdString(e.Caption) + QStringLiteral("..."));
    action->setData(QString::fromStdString(e.Kind));
    Export.append(action);
  }

  HideSource = Make(owner, QStringLiteral("&Hide source"));
  HideSource->setCheckable(true);
  ZoomGroup = new QActionGroup(owner);
  ZoomGroup->setExclusive(true);
  ZoomFit = Make(owner, QStringLiteral("Zoom to &fit"), QKeySequence(Qt::CTRL | Qt::Key_0));
  ZoomFit->setCheckable(true);
  ZoomGroup->addAction(ZoomFit);
  for (int n = 1; n <= ZoomCount; ++n) {
    Zoom[n - 1] = Make(owner, QStringLiteral("Zoom x&%1").arg(n),
                       QKeySequence(Qt::CTRL | Qt::Key(Qt::Key_0 + n)));
    Zoom[n - 1]->setCheckable(true);
    ZoomGroup->addAction(Zoom[n - 1]);
  }
  NativeAspect =
      Make(owner, QStringLiteral("&Native pixel aspect ratio"), QKeySequence(Qt::CTRL | Qt::Key_P));
  NativeAspect->setCheckable(true);
  ShowFlicker =
      Make(owner, QStringLiteral("&Show flickering images"), QKeySequence(Qt::CTRL | Qt::Key_F));
  ShowFlicker->setCheckable(true);
  MarkRuleBreaks = Make(owner, QStringLiteral("&Mark rule breaks"));
  MarkRuleBreaks->setCheckable(true);

  WatchSource = Make(owner, QStringLiteral("&Reload source when its file changes"));
  WatchSource->setCheckable(true);
  WatchSource->setChecked(true);

  About = Make(owner, QStringLiteral("&About"));
}

QList<QAction*> TVeMainActions::All() const {
  QList<QAction*> all{Open,         OpenFolder,     Paste,       Close,      BatchConvert,
                      SelectRegion, OpenPalette,    SavePalette, Copy,       PasteResult,
                      SaveBMP,      SavePNG,        SaveGIF,     HideSource, NativeAspect,
                      ShowFlicker,  MarkRuleBreaks, WatchSource, About};
  for (QAction* a : SaveNative)
    all.append(a);
  all.append(Export);
  all.append(ZoomFit);
  for (QAction* a : Zoom)
    all.append(a);
  return all;
}
