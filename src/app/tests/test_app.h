#pragma once
// Registry of the Qt Test suites that the single test program runs in turn.
#include <QObject>
#include <functional>
#include <memory>
#include <vector>

using TVeAppSuiteMaker = std::function<std::unique_ptr<QObject>()>;
std::vector<TVeAppSuiteMaker>& VeAppTestSuites();

template <class T> struct TVeAppSuiteRegistration {
  TVeAppSuiteRegistration() {
    VeAppTestSuites().push_back([] { return std::unique_ptr<QObject>(new T); });
  }
};
#define VE_APP_TEST_SUITE(T) static TVeAppSuiteRegistration<T> VeAppSuite_##T;
