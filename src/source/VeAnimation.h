#pragma once
// Animations: the frames of an animated GIF composed as a viewer shows them, or a numbered
// sequence of pictures, each frame a whole 32-bit picture with its delay; and the animated
// GIF writer for previews of converted animations.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "VeBitmap32.h"

// An animation is refused beyond these: every frame is kept whole in memory, so the frame
// count and the pixels of all frames together are bounded (1000 frames; 2^27 pixels, 512 MiB
// of 32-bit frames, e.g. 2000 frames of 256 x 256).
constexpr int VeMaxAnimationFrames = 1000;
constexpr int64_t VeMaxAnimationPixels = int64_t(1) << 27;
// The delay of frames of a picture sequence, which has none of its own.
constexpr int VeSequenceDelayMs = 100;

struct TVeAnimationFrame {
  TVeBitmap32 Image; // alpha 255 everywhere
  int DelayMs = 0;
};

struct TVeAnimation {
  int Width = 0;
  int Height = 0;
  std::vector<TVeAnimationFrame> Frames;
};

// The number of pictures in a GIF, counted by their descriptors without decoding them, up to
// where the file can be read; stops counting at limit.
int VeGifFrameCount(const uint8_t* data, size_t size, int limit = VeMaxAnimationFrames + 1);

// Every frame of a GIF composed on the canvas with the previous frame's disposal (0 and 1
// keep it, 2 clears its rectangle to the background, 3 restores the picture before it) and
// the transparency of its graphics control block. What stays transparent shows white, as in
// a still GIF. Throws EVeError: "Truncated GIF file", "Invalid GIF file: ...", "Animation too
// long (N frames; the limit is L)", "Animation too large (...)".
TVeAnimation VeDecodeGifAnimation(const uint8_t* data, size_t size,
                                  int maxFrames = VeMaxAnimationFrames,
                                  int64_t maxPixels = VeMaxAnimationPixels);

// The files of a printf-style pattern ("shot%04d.png", "f%d.bmp"): those in the pattern's
// folder whose names are the pattern with a number in place of the field (with exactly that
// many digits for %0Nd), ordered by number. Empty when the name holds no such field.
bool VeIsFramePattern(const std::string& path);
std::vector<std::string> VeExpandFramePattern(const std::string& pattern);

// The pictures of files in order as frames of VeSequenceDelayMs each; all must have the size
// of the first. Errors name the file.
TVeAnimation VeLoadPictureSequence(const std::vector<std::string>& files,
                                   int maxFrames = VeMaxAnimationFrames,
                                   int64_t maxPixels = VeMaxAnimationPixels);

// An animated GIF (looping) of pictures of one size, each with its delay in ms (kept to
// hundredths of a second). Each frame gets its own colour table of the colours it uses;
// a frame of more than 256 colours raises EVeError.
std::vector<uint8_t> VeWriteGifAnimation(const std::vector<const TVeBitmap32*>& frames,
                                         const std::vector<int>& delaysMs);
