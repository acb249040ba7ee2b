#include "VeCli.h"
int VeCliList(bool) {
  throw EVeError("not available");
}
int VeCliConvert(const std::string&, const std::string&, const TVeCliConvertSettings&) {
  throw EVeError("not available");
}
int VeCliBatch(const std::string&, const std::string&, const TVeCliConvertSettings&) {
  throw EVeError("not available");
}
int VeCliProbe(const std::string&) {
  throw EVeError("not available");
}
int VeCliImport(const std::string&, const std::string&, int, const std::string&,
                const std::string&) {
  throw EVeError("not available");
}
int VeCliPalette(const std::string&, const std::string&) {
  throw EVeError("not available");
}
