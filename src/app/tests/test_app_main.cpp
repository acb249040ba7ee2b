// Qt Test cases of the desktop program, run on the offscreen platform (and some on X11).
#include <QApplication>
#include <QTest>

#include "VeAppStartup.h"
#include "test_app.h"

int main(int argc, char* argv[]) {
  qputenv("QT_QPA_PLATFORM",
          qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
  QApplication app(argc, argv);
  QApplication::setOrganizationName(QStringLiteral("Ostrel Software"));
  QApplication::setApplicationName(QStringLiteral("Velmora"));
  VeInstallCoreLinks();
  int status = 0;
  // VELMORA_APP_SUITES (comma-separated class names) runs only those suites.
  const QStringList only =
      QString::fromLocal8Bit(qgetenv("VELMORA_APP_SUITES")).split(',', Qt::SkipEmptyParts);
  for (auto& make : VeAppTestSuites()) {
    std::unique_ptr<QObject> suite = make();
    if (!only.isEmpty() && !only.contains(QString::fromLatin1(suite->metaObject()->className())))
      continue;
    status |= QTest::qExec(suite.get(), argc, argv);
  }
  return status;
}
