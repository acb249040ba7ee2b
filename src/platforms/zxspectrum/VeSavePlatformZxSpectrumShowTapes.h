#pragma once
// ZX Spectrum tapes that show every screen of a conversion: a slide show of plain screens, and
// a 128K viewer that shows the two screens of a two-frame mode on alternate frames.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct TVeZxScreenBytes {
  const uint8_t* Data = nullptr;
  size_t Size = 0;
};

// A BASIC loader that loads each 6144- or 6912-byte screen with LOAD "" SCREEN$ and waits for
// a key (PAUSE 0) before the next, then the screens as CODE blocks at 16384. name is the
// program's name on tape. Raises EVeError for no screens or more than the loader can number.
std::vector<uint8_t> ZxSpectrumSlideShowTape(const std::vector<TVeZxScreenBytes>& screens,
                                             const std::string& name);

// The 128K viewer's machine code (see docs/formats/zxspectrum.md): run at ZxViewerAt, it copies
// the second screen from ZxViewerSecondAt into bank 7 and shows the two screens in turn, one a
// frame, until a key is pressed.
constexpr unsigned ZxViewerAt = 0x8000, ZxViewerSecondAt = 0x8100;
std::vector<uint8_t> ZxSpectrumTwoFrameViewer();

// A loader, the viewer, then for each 13824-byte pair (frame 1, frame 2) the second screen as
// CODE at ZxViewerSecondAt and the first as SCREEN$; the viewer runs after each pair.
std::vector<uint8_t> ZxSpectrumTwoFrameTape(const std::vector<TVeZxScreenBytes>& pairs,
                                            const std::string& name);

// Adds the "tap-show" and "tap-giga" exports.
void RegisterZxSpectrumShowTapeExports();
