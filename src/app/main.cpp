// The Velmora desktop program.
#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QFileInfo>
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
    QObject::connect(timer, &QTimer::timeout, &form, [&form, target, clock, timer] {
      if (form.Working() && clock->elapsed() < 60000) return;
      timer->stop();
      delete clock;
      QTimer::singleShot(300, &form, [&form, target] {
        form.grab().save(target);
        QApplication::quit();
      });
    });
    timer->start(200);
  }
  return app.exec();
}
