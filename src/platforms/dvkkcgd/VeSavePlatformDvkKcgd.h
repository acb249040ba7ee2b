#pragma once
// The DVK KCGD engine "400x240x4": sixteen of the 64 colours, written as the lines' pixel
// words and the palette registers ("kcg").
#include <memory>
#include <string>

#include "VeDestEngine.h"
#include "VeDestEngineOptions.h"
#include "VeDestEngineUI.h"

class TVeKcgdEngineOptions : public TVeDestFixedSizeEngineOptions {
public:
  TVeKcgdEngineOptions();
  TVeSize GetDefaultSize() const override { return {400, 240}; }
  int GetWidth() const override { return 400; }
  int GetHeight() const override { return 240; }
};

class TVeKcgdEngineUI : public TVeDestEngineUIEx {
public:
  explicit TVeKcgdEngineUI(TVeDestEngineOptions& options);
};

class TVeKcgdEngine : public TVeDestEngineOf<TVeKcgdEngineOptions, TVeKcgdEngineUI> {
public:
  static std::string PlatformName() { return "DVK KCGD"; }
  static std::string ModeName() { return "400x240x4"; }
  static TVeConvertFunction Convert;
};

class TVeDestEngineList;
void RegisterDvkKcgdEngines(TVeDestEngineList& list);
