#pragma once
// Moving pictures between the core's 32-bit pictures and Qt's images. The core's pixel
// layout (0xAARRGGBB in native byte order, top-down) is Qt's ARGB32, so rows copy as they are.
#include <QImage>
#include <QList>
#include <QSize>

#include "VeBitmap32.h"

QImage VeToQImage(const TVeBitmap32& bitmap);
// Any Qt image; pixels come out opaque (the core sees pictures as opaque).
TVeBitmap32 VeFromQImage(const QImage& image);

// A preview as the result view shows it: height scaled by x / min(x, y), width by
// y / min(x, y), rounded, then every pixel repeated zoom times (nearest neighbour).
QImage VeScaleForView(const QImage& image, int aspectX, int aspectY, int zoom);

// The largest whole zoom, at most maxZoom, at which every picture of size unit (its size at
// zoom 1) fits its room; 1 when even zoom 1 does not fit, 0 when there is no picture.
struct TVeFitView {
  QSize Unit;
  QSize Room;
};
int VeFitZoom(const QList<TVeFitView>& views, int maxZoom);
