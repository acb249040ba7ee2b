// A picture (two blocks) that is never freed, made only when VELMORA_PLANT_LEAK is set: the
// sanitizer build checks that the leak report still names our own leaks, with the
// suppressions and the kept modules in place.
#include <QTest>
#include <thread>

#include "VeBitmap32.h"
#include "test_app.h"

class TestLeakCheck : public QObject {
  Q_OBJECT
private slots:
  void plantLeak() {
    // On a thread of its own, so no stale copy of the pointer stays on a stack that the leak
    // checker scans. (A lost widget would not do: Qt's posted events still point to it.)
    int width = 0;
    std::thread([&width] { width = (new TVeBitmap32(16, 16, 0xFF102030))->Width(); }).join();
    QCOMPARE(width, 16);
  }
};

namespace {
[[maybe_unused]] const bool registered = [] {
  if (qEnvironmentVariableIsSet("VELMORA_PLANT_LEAK"))
    VeAppTestSuites().push_back([] { return std::unique_ptr<QObject>(new TestLeakCheck); });
  return true;
}();
} // namespace

#include "test_app_leak_check.moc"
