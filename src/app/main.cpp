// The Velmora desktop program.
#include <QAction>
#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <algorithm>

#include "VeAppStartup.h"
#include "VeMainForm.h"
#include "VeMemory.h"

int main(int argc, char* argv[]) {
  VeKeepPictureMemory();
  QApplication app(argc, argv);
  QApplication::setOrganizationName(QStringLiteral("Ostrel Software"));
  QApplication::setApplicationName(QStringLiteral("Velmora"));
  QApplication::setApplicationVersion(QStringLiteral(VELMORA_VERSION));

  QCommandLineParser parser;
  parser.addHelpOption();
  parser.addVersionOption();
  parser.addPositionalArgument(QStringLiteral("file"), QStringLiteral("Picture to open."));
  // Hidden helper for documentation: grab the window once the conversion settled.
  QCommandLineOption screenshot(QStringLiteral("screenshot"), QString(), QStringLiteral("file"));
  screenshot.setFlags(QCommandLineOption::HiddenFromHelp);
  parser.addOption(screenshot);
  // With --screenshot: turn the flicker player on first.
  QCommandLineOption play(QStringLiteral("play"), QString());
  play.setFlags(QCommandLineOption::HiddenFromHelp);
  parser.addOption(play);
  QCommandLineOption zoom(QStringLiteral("zoom"), QStringLiteral("View zoom, 1 to 5."),
                          QStringLiteral("n"));
  parser.addOption(zoom);
  parser.process(app);

  VeAppStartup();
  TVeMainForm form;
  form.show();
  if (parser.isSet(zoom))
    form.Actions().Zoom[std::clamp(parser.value(zoom).toInt(), 1, 5) - 1]->trigger();
  const QStringList files = parser.positionalArguments();
  if (!files.isEmpty()) {
    const QFileInfo info(files.first());
    if (info.isDir())
      form.OpenFolder(info.absoluteFilePath());
    else
      form.OpenFile(info.absoluteFilePath());
  }
  if (parser.isSet(screenshot)) {
    const QString target = parser.value(screenshot);
    auto* timer = new QTimer(&form);
    auto* clock = new QElapsedTimer;
    clock->start();
    const bool playing = parser.isSet(play);
    QObject::connect(timer, &QTimer::timeout, &form, [&form, target, clock, timer, playing] {
      if (form.Working() && clock->elapsed() < 60000) return;
      timer->stop();
      delete clock;
      if (playing && form.Actions().ShowFlicker->isEnabled()) form.Actions().ShowFlicker->trigger();
      QTimer::singleShot(playing ? 1000 : 300, &form, [&form, target, playing] {
        // The player draws in a native child window, which only the screen's copy shows.
        QScreen* screen = form.screen();
        const QPixmap shot = playing && screen ? screen->grabWindow(form.winId()) : form.grab();
        shot.save(target);
        QApplication::quit();
      });
    });
    timer->start(200);
  }
  return app.exec();
}
