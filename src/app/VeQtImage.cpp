#include "VeQtImage.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include <QPainter>

QImage VeToQImage(const TVeBitmap32& bitmap) {
  if (bitmap.Empty()) return QImage();
  QImage image(bitmap.Width(), bitmap.Height(), QImage::Format_RGB32);
  for (int y = 0; y < bitmap.Height(); ++y)
    std::memcpy(image.scanLine(y), bitmap.Scanline(y), size_t(bitmap.Width()) * 4);
  return image;
}

TVeBitmap32 VeFromQImage(const QImage& image) {
  TVeBitmap32 bitmap;
  if (image.isNull()) return bitmap;
  // Transparent pixels show as they would on the white background of a region picture.
  QImage flat(image.size(), QImage::Format_RGB32);
  flat.fill(Qt::white);
  {
    QPainter painter(&flat);
    painter.drawImage(0, 0, image);
  }
  bitmap.SetSize(flat.width(), flat.height());
  for (int y = 0; y < flat.height(); ++y) {
    const uint32_t* src = reinterpret_cast<const uint32_t*>(flat.constScanLine(y));
    uint32_t* dst = bitmap.Scanline(y);
    for (int x = 0; x < flat.width(); ++x)
      dst[x] = src[x] | 0xFF000000u;
  }
  return bitmap;
}

QImage VeScaleForView(const QImage& image, int aspectX, int aspectY, int zoom) {
  if (image.isNull()) return image;
  if (aspectX <= 0 || aspectY <= 0) aspectX = aspectY = 1;
  zoom = std::max(zoom, 1);
  const int n = std::min(aspectX, aspectY);
  const long long w = std::llrint(double(image.width()) * aspectY / n) * zoom;
  const long long h = std::llrint(double(image.height()) * aspectX / n) * zoom;
  if (w == image.width() && h == image.height()) return image;
  // Views never ask for more than a screenful many times over; refuse absurd sizes.
  if (w <= 0 || h <= 0 || w * h > (1LL << 27)) return image;
  return image.scaled(int(w), int(h), Qt::IgnoreAspectRatio, Qt::FastTransformation);
}

int VeFitZoom(const QList<TVeFitView>& views, int maxZoom) {
  int zoom = -1;
  for (const TVeFitView& v : views) {
    if (v.Unit.isEmpty()) continue;
    const int n = std::min(v.Room.width() / v.Unit.width(), v.Room.height() / v.Unit.height());
    zoom = zoom < 0 ? n : std::min(zoom, n);
  }
  if (zoom < 0) return 0;
  return std::clamp(zoom, 1, std::max(maxZoom, 1));
}
