#pragma once
// Fitting the source region to a destination: placement by position mode and pixel aspect,
// the Lanczos resampler, the region dialog's geometry, and the source view pictures.
#include <cstdint>
#include <string>

#include "VeBitmap32.h"
#include "VeThreadJob.h"

class TVeRowFeed;

struct TVeRect {
  int Left = 0, Top = 0, Right = 0, Bottom = 0; // right and bottom exclusive
  int Width() const { return Right - Left; }
  int Height() const { return Bottom - Top; }
  bool operator==(const TVeRect&) const = default;
};

// Nearest integer, halves to even.
int VeRound(double value);

// Position modes.
enum : int {
  vpmFitSourceInResult = 0,
  vpmFitResultInSource = 1,
  vpmStretched = 2,
  vpmCentred = 3,
};

// Placement rectangle of a source of sw x sh (in destination pixels) in a w x h result.
TVeRect VePlacement(int mode, int width, int height, double sw, double sh);

// Resamples src into rect of dst (rect may reach outside dst: that part is cut) with a
// radius-3 Lanczos kernel and lays the result on white. Pixels of dst outside rect are left.
// A rect of the source's own size is a plain shifted copy.
// A set cancel flag stops the work with the silent abort.
// With a feed, src is still being decoded: each source row is waited for (on this thread
// alone) before it is read, and a failed decoding stops the work with the silent abort.
// With made, dst's rows are reported to it as they are finished (the rows above rect count
// as finished from the start); the caller begins and ends that feed.
void VeResampleInto(const TVeBitmap32& src, TVeBitmap32& dst, const TVeRect& rect,
                    const TVeCancelFlag* cancel = nullptr, TVeRowFeed* feed = nullptr,
                    TVeRowFeed* made = nullptr);

struct TVeResizeResult {
  TVeBitmap32 Picture; // width x height
  TVeRect Rect;
  // Set instead of a copy in Picture when the region already is the result and the caller
  // did not ask for a copy.
  bool SameAsRegion = false;
  bool HasNative = false;
  TVeBitmap32 NativePicture; // made when asked for and aspectX != aspectY
  TVeRect NativeRect;
};

// The resize of one conversion run: region picture into width x height with the pixel
// aspect pair (aspectX, aspectY) (a destination pixel is aspectX / aspectY times as high as
// wide) in the given position mode.
// feed: the region is still arriving through it.
TVeResizeResult VeResizeSource(const TVeBitmap32& region, int width, int height, int aspectX,
                               int aspectY, int mode, bool wantNative,
                               const TVeCancelFlag* cancel = nullptr, bool copySame = true,
                               TVeRowFeed* feed = nullptr);
// The same into r, which stays where it is for the readers of made: when the region is
// resampled, r.Picture is announced to made and its rows reported as they are finished, for
// an engine that starts on them; r.Picture then starts as outside (the border) rather than
// white, so that no border needs painting afterwards. made is ended in every case, without a
// picture when there is no resampling.
void VeResizeSourceInto(TVeResizeResult& r, const TVeBitmap32& region, int width, int height,
                        int aspectX, int aspectY, int mode, bool wantNative,
                        const TVeCancelFlag* cancel, bool copySame, TVeRowFeed* feed,
                        TVeRowFeed* made = nullptr, uint32_t outside = 0xFFFFFFFF);

// Region picture: the part of picture inside region on opaque white.
TVeBitmap32 VeRegionPicture(const TVeBitmap32& picture, const TVeRect& region);

// Region dialog geometry.
enum : int {
  vrhNone = -1,
  vrhTopLeft,
  vrhTop,
  vrhTopRight,
  vrhLeft,
  vrhCentre,
  vrhRight,
  vrhBottomLeft,
  vrhBottom,
  vrhBottomRight,
};
constexpr int VeRegionMinSize = 8;
// The first of the nine 9 x 9 handles that holds (x, y), in the dialog's test order.
int VeRegionHandleAt(const TVeRect& region, int x, int y);
// "Region " + width + "x" + height.
std::string VeRegionCaption(const TVeRect& region);

// A drag that started on a handle. Move() takes the mouse position and returns the region;
// Handle changes when an edge is dragged past its opposite one.
class TVeRegionDrag {
public:
  TVeRegionDrag(const TVeRect& region, int handle, int mouseX, int mouseY, int pictureWidth,
                int pictureHeight);
  TVeRect Move(int mouseX, int mouseY);
  int Handle() const { return FHandle; }
  const TVeRect& Region() const { return FRegion; }

private:
  TVeRect FRegion, FStart;
  int FHandle, FStartX, FStartY, FPictureWidth, FPictureHeight;
};

// The source view: the source in gray, with the part the destination uses shown as it is
// and the destination's attribute cells marked by a checkerboard of slightly dimmed cells.
struct TVeSourceViewPictures {
  TVeBitmap32 Gray; // L* - 25, as gray
  TVeBitmap32 Dim;  // L* - 10, in colour
};
// Rows are split over worker jobs; the result does not depend on their number.
TVeSourceViewPictures VeMakeSourceViewPictures(const TVeBitmap32& source);
// The part of the region the destination uses (clipped to the region).
TVeRect VeUsedArea(const TVeRect& region, int width, int height, int aspectX, int aspectY,
                   int mode);
// The shown picture, of the source's size. cellWidth / cellHeight are the destination's
// attribute cell size (a width of 2 or less means no cells).
TVeBitmap32 VeSourceView(const TVeBitmap32& source, const TVeSourceViewPictures& views,
                         const TVeRect& region, int width, int height, int aspectX, int aspectY,
                         int mode, int cellWidth, int cellHeight);
// The prepared picture (width x height destination pixels, or its native-aspect copy of any
// size) with the destination's attribute cells as a checkerboard of every real cell, also
// 8 x 1 and 8 x 2 ones; unchanged when the destination has no cells wider than 2 pixels.
TVeBitmap32 VeCellPatternView(const TVeBitmap32& prepared, int width, int height, int cellWidth,
                              int cellHeight);
