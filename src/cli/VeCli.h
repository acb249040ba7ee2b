#pragma once
// Shared pieces of velmora-cli: the settings every converting command takes, value parsing
// and the progress bar.
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "VeErrors.h"

// A mistake in the command line: reported like any error, but with exit status 2.
class EVeUsage : public EVeError {
public:
  using EVeError::EVeError;
};

// Conversion settings shared by "convert" and "batch".
struct TVeCliConvertSettings {
  std::string Platform = "ZX Spectrum";
  std::string Mode; // empty: the platform's first mode
  std::string Format = "native";
  std::vector<std::string> Sets; // FIELD=VALUE, applied in order
  std::string PaletteFile;
  std::string Region; // L,T,R,B
  std::string Preview;
  int Threads = 0;                    // 0: one per processor
  bool Force = false;                 // replace read-only files
  std::vector<std::string> Exports;   // export kinds: c, asm, raw, tap
  bool Import = false;                // batch: the sources are native files to decode
  int ShardIndex = 1, ShardCount = 1; // batch: only this part of the folder
  bool Stability = true;              // animations: temporal stability
  int StabilityThreshold = 12;
  bool PalettePerFrame = false;
};

struct TVeCliRegion {
  int64_t Left = 0, Top = 0, Right = 0, Bottom = 0;
};

bool VeSameText(const std::string& a, const std::string& b);
std::string VeTrim(const std::string& s);

// Value parsers; each raises EVeUsage naming what was wrong.
int64_t VeParseInteger(const std::string& text, const std::string& what);
bool VeParseBool(const std::string& text, const std::string& what);
// "#RRGGBB" (or "0xRRGGBB", or a plain number) to red << 16 | green << 8 | blue.
int32_t VeParseColor(const std::string& text, const std::string& what);
TVeCliRegion VeParseRegion(const std::string& text);
// "I/N" of --shard: part I (1-based) of N.
std::pair<int, int> VeParseShard(const std::string& text);

// Matches a label against a list of captions: exact text, or ignoring case, the "&"
// accelerators and the difference between hyphens and dashes; also accepts the index.
// Returns -1 when nothing matches.
int VeMatchLabel(const std::string& text, const std::vector<std::string>& labels);

// A one-line progress bar on standard error, drawn by its own thread only when standard
// error is a terminal. The poll function returns (done, total).
class TVeCliProgressBar {
public:
  using TPoll = std::function<std::pair<uint64_t, uint64_t>()>;
  TVeCliProgressBar(std::string caption, TPoll poll);
  ~TVeCliProgressBar();
  TVeCliProgressBar(const TVeCliProgressBar&) = delete;
  TVeCliProgressBar& operator=(const TVeCliProgressBar&) = delete;
  // Clears the bar so that ordinary output can follow on a clean line.
  void Finish();
  // Prints a line to out without running into the bar, which is drawn again afterwards.
  void Print(FILE* out, const std::string& line);

private:
  void Run();
  std::string FCaption;
  TPoll FPoll;
  std::atomic<bool> FStop{false};
  std::mutex FLock; // one writer of the terminal at a time
  std::thread FThread;
  bool FActive = false;
};

// Registers the loaders and engines the commands need.
void VeCliStartup();

// The commands; each returns the exit status.
int VeCliList(bool json);
int VeCliConvert(const std::string& input, const std::string& output,
                 const TVeCliConvertSettings& settings);
int VeCliBatch(const std::string& sourceDir, const std::string& destDir,
               const TVeCliConvertSettings& settings);
int VeCliProbe(const std::string& file);
int VeCliImport(const std::string& file, const std::string& output, int candidate,
                const std::string& paletteType, const std::string& calculation, bool force);
// Checks a picture of the mode's size against the mode's colour rule: 0 when it obeys,
// 1 when something breaks it.
int VeCliCheck(const std::string& file, const TVeCliConvertSettings& settings);
int VeCliPalette(const std::string& file, const std::string& output, bool force);
