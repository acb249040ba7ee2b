#pragma once
// The registry of destination engines: platform names in registration order, each with its
// modes (mode name and engine class) in registration order. It knows no platform: the
// platform list (VePlatforms.h) fills it once at start-up, before any window exists, and it
// never changes afterwards.
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "VeDestEngine.h"

// The modes of one platform.
class TVeDestSubTypes {
public:
  int Count() const { return int(FItems.size()); }
  const std::string& Strings(int index) const { return FItems.at(size_t(index)).first; }
  const TVeDestEngineClass* GetEngineClass(int index) const {
    return FItems.at(size_t(index)).second;
  }
  // Ordinary case-insensitive name search; -1 when absent.
  int IndexOf(const std::string& name) const;
  void Add(const std::string& name, const TVeDestEngineClass* engine) {
    FItems.emplace_back(name, engine);
  }

private:
  friend class TVeDestEngineList;
  std::vector<std::pair<std::string, const TVeDestEngineClass*>> FItems;
};

class TVeDestEngineList {
public:
  TVeDestEngineList() = default;
  TVeDestEngineList(const TVeDestEngineList&) = delete;
  TVeDestEngineList& operator=(const TVeDestEngineList&) = delete;

  int Count() const { return int(FPlatforms.size()); }
  const std::string& Strings(int index) const { return FPlatforms.at(size_t(index)).first; }
  const TVeDestSubTypes& GetSubTypes(int platformIndex) const {
    return *FPlatforms.at(size_t(platformIndex)).second;
  }
  // Ordinary case-insensitive name search; -1 when absent.
  int IndexOf(const std::string& name) const;
  // Total number of modes over all platforms.
  int ModeCount() const;

  // Appends the engine to the platform whose name equals its platform name exactly (case
  // sensitive), or to a new platform entry. The list owns the class object.
  const TVeDestEngineClass* Register(std::unique_ptr<TVeDestEngineClass> engine);
  // Puts the engine in place of the entry with the same platform and mode name (exact), so
  // that a real engine keeps the catalogue's position; registers it when there is none.
  const TVeDestEngineClass* Replace(std::unique_ptr<TVeDestEngineClass> engine);

  // A saved choice: the platform and mode found by name (case-insensitive); a name not found
  // selects the first entry. Null when the registry is empty.
  const TVeDestEngineClass* Find(const std::string& platform, const std::string& mode,
                                 int* platformIndex = nullptr, int* modeIndex = nullptr) const;

private:
  std::vector<std::pair<std::string, std::unique_ptr<TVeDestSubTypes>>> FPlatforms;
  std::vector<std::unique_ptr<TVeDestEngineClass>> FClasses; // every class ever registered
};

// The process-wide registry; empty until the start-up fills it (VeRegisterPlatforms).
TVeDestEngineList& DestEngineList();

// Adds an engine to the process-wide registry (start-up only).
const TVeDestEngineClass* RegisterDestEngine(std::unique_ptr<TVeDestEngineClass> engine);
template <class E> const TVeDestEngineClass* RegisterDestEngine() {
  return RegisterDestEngine(std::make_unique<TVeDestEngineClassOf<E>>());
}
// Lets a real engine take over its catalogue entry (start-up only).
const TVeDestEngineClass* ReplaceDestEngine(std::unique_ptr<TVeDestEngineClass> engine);
template <class E> const TVeDestEngineClass* ReplaceDestEngine() {
  return ReplaceDestEngine(std::make_unique<TVeDestEngineClassOf<E>>());
}

// Linear-light values of the levels of a 5-bit (32 levels) and a 6-bit (64 levels) sRGB
// channel, level / (n - 1) decoded with the sRGB curve.
class TVeLinearLevels {
public:
  explicit TVeLinearLevels(int bits);
  int Count() const { return int(FValues.size()); }
  double Value(int level) const { return FValues.at(size_t(level)); }
  // The neighbouring levels (lo, hi) whose values enclose v; v <= 0 gives (0, 0) and v >= 1
  // gives (last, last).
  std::pair<int, int> Enclose(double v) const;

private:
  std::vector<double> FValues;
};
const TVeLinearLevels& VeLinear5();
const TVeLinearLevels& VeLinear6();
