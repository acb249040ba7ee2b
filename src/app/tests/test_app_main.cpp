// Qt Test cases of the desktop program, run on the offscreen platform.
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
  for (auto& make : VeAppTestSuites()) {
    std::unique_ptr<QObject> suite = make();
    status |= QTest::qExec(suite.get(), argc, argv);
  }
  return status;
}
