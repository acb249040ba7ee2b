#include "VeSourcePrepare.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <memory>
#include <numbers>
#include <vector>

#include "VeColor.h"
#include "VeRowFeed.h"
#include "VeThreadJob.h"

int VeRound(double value) {
  return int(std::nearbyint(value));
} // default mode: halves to even

TVeRect VePlacement(int mode, int width, int height, double sw, double sh) {
  if (mode == vpmCentred) {
    const int w = VeRound(sw), h = VeRound(sh);
    const int px = (width - w) / 2, py = (height - h) / 2; // truncates toward zero
    return {px, py, px + w, py + h};
  }
  if (mode != vpmFitSourceInResult && mode != vpmFitResultInSource) return {0, 0, width, height};
  int w = 0, h = 0;
  if (sw != 0 && sh != 0) {
    w = width;
    h = VeRound(width * sh / sw);
    if (mode == vpmFitSourceInResult ? h > height : h < height) {
      h = height;
      w = VeRound(height * sw / sh);
    }
    w = std::max(w, 1);
    h = std::max(h, 1);
  }
  const int px = (width - w) / 2, py = (height - h) / 2;
  return {px, py, px + w, py + h};
}

namespace {

typedef float v4f __attribute__((vector_size(16)));

double Lanczos3(double t) {
  t = std::fabs(t);
  if (t < 1e-9) return 1.0;
  if (t >= 3.0) return 0.0;
  const double p = std::numbers::pi * t;
  return 3.0 * std::sin(p) * std::sin(p / 3.0) / (p * p);
}

// Taps of one output position: source indices First .. First + Count - 1, edges clamped.
struct TTaps {
  std::vector<int> First, Count;
  std::vector<float> Weights; // Stride per output
  int Stride = 0;
};

// Taps for outputs [from, to) of an output span of `size` pixels over `srcSize` inputs.
TTaps MakeTaps(int srcSize, int size, int from, int to) {
  TTaps t;
  const double scale = double(srcSize) / size;
  const double fscale = std::max(scale, 1.0);
  const double support = 3.0 * fscale;
  t.Stride = std::min(srcSize, int(std::ceil(support)) * 2 + 2);
  const int n = to - from;
  t.First.resize(size_t(n));
  t.Count.resize(size_t(n));
  t.Weights.assign(size_t(n) * size_t(t.Stride), 0.0f);
  std::vector<double> w;
  for (int i = 0; i < n; ++i) {
    const double center = (from + i + 0.5) * scale - 0.5;
    const int lo = int(std::floor(center - support)) + 1, hi = int(std::floor(center + support));
    const int first = std::clamp(lo, 0, srcSize - 1), last = std::clamp(hi, 0, srcSize - 1);
    w.assign(size_t(last - first + 1), 0.0);
    double sum = 0;
    for (int j = lo; j <= hi; ++j) {
      const double k = Lanczos3((j - center) / fscale);
      w[size_t(std::clamp(j, first, last) - first)] += k;
      sum += k;
    }
    t.First[size_t(i)] = first;
    t.Count[size_t(i)] = last - first + 1;
    float* dst = &t.Weights[size_t(i) * size_t(t.Stride)];
    for (size_t k = 0; k < w.size(); ++k)
      dst[k] = float(sum != 0 ? w[k] / sum : 0);
  }
  return t;
}

inline v4f Premultiplied(uint32_t p) {
  typedef int v4i __attribute__((vector_size(16)));
  const v4i i = {int(p & 255), int(p >> 8 & 255), int(p >> 16 & 255), int(p >> 24)};
  v4f c = __builtin_convertvector(i, v4f);
  if (p < 0xFF000000u) {
    const float f = c[3] / 255.0f;
    c[0] *= f, c[1] *= f, c[2] *= f;
  }
  return c;
}

inline uint32_t OnWhite(v4f c) {
  const float white = 255.0f - c[3];
  auto ch = [white](float v) {
    const float x = v + white;
    return uint32_t(x <= 0.0f ? 0 : x >= 255.0f ? 255 : int(x + 0.5f));
  };
  return 0xFF000000u | ch(c[2]) << 16 | ch(c[1]) << 8 | ch(c[0]);
}

inline uint32_t OnWhite(uint32_t p) {
  const unsigned a = p >> 24;
  if (a == 255) return p;
  return OnWhite(Premultiplied(p));
}

} // namespace

void VeResampleInto(const TVeBitmap32& src, TVeBitmap32& dst, const TVeRect& rect,
                    const TVeCancelFlag* cancel, TVeRowFeed* feed, TVeRowFeed* made) {
  const int sw = src.Width(), sh = src.Height();
  const int rw = rect.Width(), rh = rect.Height();
  if (sw <= 0 || sh <= 0 || rw <= 0 || rh <= 0) return;
  const int x0 = std::max(rect.Left, 0), x1 = std::min(rect.Right, dst.Width());
  const int y0 = std::max(rect.Top, 0), y1 = std::min(rect.Bottom, dst.Height());
  if (x0 >= x1 || y0 >= y1) return;
  // Rows still arriving are waited for one by one; a failed decoding stops the work.
  int arrived = feed ? 0 : sh;
  auto arrive = [&](int row) {
    if (row < arrived) return;
    arrived = feed->WaitRows(row + 1);
    if (arrived < 0) VeAbort();
  };
  if (rw == sw && rh == sh) {
    for (int y = y0; y < y1; ++y) {
      arrive(y - rect.Top);
      const uint32_t* s = src.Scanline(y - rect.Top) - rect.Left;
      uint32_t* d = dst.Scanline(y);
      for (int x = x0; x < x1; ++x)
        d[x] = OnWhite(s[x]);
      if (made) made->Rows(y + 1);
    }
    return;
  }
  const int outW = x1 - x0;
  const TTaps tx = MakeTaps(sw, rw, x0 - rect.Left, x1 - rect.Left);
  const TTaps ty = MakeTaps(sh, rh, y0 - rect.Top, y1 - rect.Top);
  // Each worker resamples across only the source rows its own output rows reach, keeping the
  // last maxTaps of them in a ring that stays in cache. The taps of successive output rows
  // never move back, so a row is computed once per worker, always by the same arithmetic.
  int maxTaps = 1;
  for (int c : ty.Count)
    maxTaps = std::max(maxTaps, c);
  auto body = [&](int first, int last) {
    std::vector<v4f> line(static_cast<size_t>(sw));
    std::vector<v4f> ring(size_t(maxTaps) * size_t(outW));
    std::vector<v4f> acc(static_cast<size_t>(outW));
    int next = ty.First[size_t(first)]; // the next source row not yet resampled across
    auto across = [&](int row) {
      arrive(row);
      const uint32_t* s = src.Scanline(row);
      for (int x = 0; x < sw; ++x)
        line[size_t(x)] = Premultiplied(s[x]);
      v4f* out = &ring[size_t(row % maxTaps) * size_t(outW)];
      for (int i = 0; i < outW; ++i) {
        const float* w = &tx.Weights[size_t(i) * size_t(tx.Stride)];
        const v4f* p = &line[size_t(tx.First[size_t(i)])];
        v4f sum = {0, 0, 0, 0};
        for (int k = 0, n = tx.Count[size_t(i)]; k < n; ++k)
          sum += p[k] * w[k];
        out[i] = sum;
      }
    };
    for (int j = first; j <= last; ++j) {
      VeCheckCancel(cancel);
      const int top = ty.First[size_t(j)], n = ty.Count[size_t(j)];
      for (next = std::max(next, top); next < top + n; ++next)
        across(next);
      std::fill(acc.begin(), acc.end(), v4f{0, 0, 0, 0});
      const float* w = &ty.Weights[size_t(j) * size_t(ty.Stride)];
      for (int k = 0; k < n; ++k) {
        const v4f* m = &ring[size_t((top + k) % maxTaps) * size_t(outW)];
        const float wk = w[k];
        for (int i = 0; i < outW; ++i)
          acc[size_t(i)] += m[i] * wk;
      }
      uint32_t* d = dst.Scanline(y0 + j) + x0;
      for (int i = 0; i < outW; ++i)
        d[i] = OnWhite(acc[size_t(i)]);
      if (made) made->Rows(y0 + j + 1);
    }
  };
  // Arriving rows come in order, so one worker takes them all while another decodes; rows
  // reported as made must be made in order too.
  if (feed || made) {
    body(0, y1 - y0 - 1);
    VeCheckCancel(cancel);
  } else {
    VeForRanges(y1 - y0, 32, cancel, body);
  }
}

TVeResizeResult VeResizeSource(const TVeBitmap32& region, int width, int height, int aspectX,
                               int aspectY, int mode, bool wantNative, const TVeCancelFlag* cancel,
                               bool copySame, TVeRowFeed* feed) {
  TVeResizeResult r;
  VeResizeSourceInto(r, region, width, height, aspectX, aspectY, mode, wantNative, cancel, copySame,
                     feed);
  return r;
}

void VeResizeSourceInto(TVeResizeResult& r, const TVeBitmap32& region, int width, int height,
                        int aspectX, int aspectY, int mode, bool wantNative,
                        const TVeCancelFlag* cancel, bool copySame, TVeRowFeed* feed,
                        TVeRowFeed* made, uint32_t outside) {
  TVeRowFeedGuard madeGuard(made);
  if (width <= 0 || height <= 0) throw EVeError("Invalid picture size");
  if (aspectX <= 0 || aspectY <= 0) aspectX = aspectY = 1;
  const int sw = region.Width(), sh = region.Height();
  const int m = std::max(aspectX, aspectY);
  const double SW = double(sw) * aspectX / m, SH = double(sh) * aspectY / m;
  r = TVeResizeResult();
  r.Rect = VePlacement(mode, width, height, SW, SH);
  // Everything but a resampling of a picture still arriving waits for its last row.
  auto arrived = [&] {
    if (feed) feed->WaitRowsOrAbort(sh);
  };
  if (sw == width && sh == height && r.Rect == TVeRect{0, 0, width, height}) {
    arrived();
    if (copySame)
      r.Picture = region;
    else
      r.SameAsRegion = true;
  } else if (made) {
    r.Picture.SetSize(width, height, outside);
    made->Begin(&r.Picture);
    VeResampleInto(region, r.Picture, r.Rect, cancel, feed, made);
  } else {
    r.Picture.SetSize(width, height, 0xFFFFFFFF);
    VeResampleInto(region, r.Picture, r.Rect, cancel, feed);
  }
  madeGuard.Finish();
  if (wantNative && aspectX != aspectY) {
    arrived();
    const int n = std::min(aspectX, aspectY);
    const int nw = VeRound(double(width) * aspectY / n), nh = VeRound(double(height) * aspectX / n);
    r.HasNative = true;
    r.NativePicture.SetSize(nw, nh, 0xFFFFFFFF);
    r.NativeRect = VePlacement(mode, nw, nh, sw, sh);
    if (sw == nw && sh == nh && r.NativeRect == TVeRect{0, 0, nw, nh})
      r.NativePicture = region;
    else
      VeResampleInto(region, r.NativePicture, r.NativeRect, cancel);
  }
}

TVeBitmap32 VeRegionPicture(const TVeBitmap32& picture, const TVeRect& region) {
  TVeBitmap32 out(std::max(region.Width(), 0), std::max(region.Height(), 0), 0xFFFFFFFF);
  const int x0 = std::max(region.Left, 0), x1 = std::min(region.Right, picture.Width());
  for (int y = std::max(region.Top, 0); y < std::min(region.Bottom, picture.Height()); ++y)
    if (x0 < x1)
      std::copy(picture.Scanline(y) + x0, picture.Scanline(y) + x1,
                out.Scanline(y - region.Top) + (x0 - region.Left));
  return out;
}

int VeRegionHandleAt(const TVeRect& r, int x, int y) {
  const int xs[3] = {r.Left, (r.Left + r.Right) / 2, r.Right};
  const int ys[3] = {r.Top, (r.Top + r.Bottom) / 2, r.Bottom};
  for (int i = 0; i < 9; ++i)
    if (std::abs(x - xs[i % 3]) <= 4 && std::abs(y - ys[i / 3]) <= 4) return i;
  return vrhNone;
}

std::string VeRegionCaption(const TVeRect& r) {
  return "Region " + std::to_string(r.Width()) + "x" + std::to_string(r.Height());
}

TVeRegionDrag::TVeRegionDrag(const TVeRect& region, int handle, int mouseX, int mouseY,
                             int pictureWidth, int pictureHeight)
    : FRegion(region), FStart(region), FHandle(handle), FStartX(mouseX), FStartY(mouseY),
      FPictureWidth(pictureWidth), FPictureHeight(pictureHeight) {}

namespace {

// Moves one edge to pos, keeping the minimum distance to the opposite edge and swapping
// the two when pos passes it. Returns true when the edges were swapped.
bool MoveEdge(int& edge, int& opposite, int pos, bool edgeIsLow, int limit) {
  const int gap = VeRegionMinSize;
  if (edgeIsLow ? pos <= opposite : pos >= opposite) {
    edge = edgeIsLow ? std::max(std::min(pos, opposite - gap), 0)
                     : std::min(std::max(pos, opposite + gap), limit);
    return false;
  }
  // Past the opposite edge: it stays put and this edge continues on its other side.
  const int stay = opposite;
  opposite = edgeIsLow ? std::min(std::max(pos, stay + gap), limit)
                       : std::max(std::min(pos, stay - gap), 0);
  edge = stay;
  return true;
}

} // namespace

TVeRect TVeRegionDrag::Move(int mouseX, int mouseY) {
  const int x = std::clamp(mouseX, 0, FPictureWidth), y = std::clamp(mouseY, 0, FPictureHeight);
  if (FHandle == vrhCentre) {
    const int dx = x - FStartX, dy = y - FStartY;
    FRegion = {FStart.Left + dx, FStart.Top + dy, FStart.Right + dx, FStart.Bottom + dy};
    return FRegion;
  }
  if (FHandle < 0 || FHandle > 8) return FRegion;
  const int col = FHandle % 3, row = FHandle / 3;
  int newCol = col, newRow = row;
  if (col == 0 && MoveEdge(FRegion.Left, FRegion.Right, x, true, FPictureWidth)) {
    newCol = 2;
  } else if (col == 2 && MoveEdge(FRegion.Right, FRegion.Left, x, false, FPictureWidth)) {
    newCol = 0;
  }
  if (row == 0 && MoveEdge(FRegion.Top, FRegion.Bottom, y, true, FPictureHeight)) {
    newRow = 2;
  } else if (row == 2 && MoveEdge(FRegion.Bottom, FRegion.Top, y, false, FPictureHeight)) {
    newRow = 0;
  }
  FHandle = newRow * 3 + newCol;
  return FRegion;
}

// ---------------------------------------------------------------------------------------
// Source view

namespace {

// One band of rows of the gray and dim pictures. A small direct-mapped cache spares the
// colour conversions of repeated colours.
void MakeViewRows(const TVeBitmap32& src, TVeSourceViewPictures& out, int first, int last) {
  constexpr size_t CacheSize = 4096;
  std::vector<uint32_t> keys(CacheSize, 0xFFFFFFFF), gray(CacheSize), dim(CacheSize);
  for (int y = first; y <= last; ++y) {
    const uint32_t* s = src.Scanline(y);
    uint32_t* g = out.Gray.Scanline(y);
    uint32_t* d = out.Dim.Scanline(y);
    for (int x = 0; x < src.Width(); ++x) {
      const uint32_t rgb = s[x] & 0xFFFFFF;
      const size_t slot = (rgb * 2654435761u) >> 20 & (CacheSize - 1);
      if (keys[slot] != rgb) {
        const TVeLab lab =
            TVeColor::FromStdRGB(uint8_t(rgb >> 16), uint8_t(rgb >> 8), uint8_t(rgb)).GetLab();
        TVeColor c;
        c.SetLab(std::max(lab.L - 25, 0.0), lab.A, lab.B);
        const uint8_t level = c.GetGrayByte();
        gray[slot] = VeRGBQuad(level, level, level);
        c.SetLab(std::max(lab.L - 10, 0.0), lab.A, lab.B);
        const TVeStdRGBColor v = c.GetStdRGB();
        dim[slot] = VeRGBQuad(v.R, v.G, v.B);
        keys[slot] = rgb;
      }
      g[x] = gray[slot];
      d[x] = dim[slot];
    }
  }
}

class TViewJob : public TVeJob {
public:
  TViewJob(TVeJobList* list, const TVeBitmap32& src, TVeSourceViewPictures& out, int first,
           int last)
      : TVeJob(list), FSrc(src), FOut(out), FFirst(first), FLast(last) {}
  void Execute() override { MakeViewRows(FSrc, FOut, FFirst, FLast); }

private:
  const TVeBitmap32& FSrc;
  TVeSourceViewPictures& FOut;
  int FFirst, FLast;
};

} // namespace

TVeSourceViewPictures VeMakeSourceViewPictures(const TVeBitmap32& source) {
  TVeSourceViewPictures out;
  out.Gray.SetSize(source.Width(), source.Height());
  out.Dim.SetSize(source.Width(), source.Height());
  if (source.Empty()) return out;
  if (ProcessorCount() < 2 || source.Height() < 2) {
    MakeViewRows(source, out, 0, source.Height() - 1);
    return out;
  }
  TVeRangeSplitter split;
  split.Init(source.Height(), 0);
  TVeJobList list; // owns the jobs
  int first, last;
  while (split.Next(first, last))
    new TViewJob(&list, source, out, first, last);
  list.Run();
  return out;
}

TVeRect VeUsedArea(const TVeRect& region, int width, int height, int aspectX, int aspectY,
                   int mode) {
  if (aspectX <= 0 || aspectY <= 0) aspectX = aspectY = 1;
  const int rw = region.Width(), rh = region.Height();
  if (mode == vpmStretched || width <= 0 || height <= 0) return region;
  const int n = std::min(aspectX, aspectY);
  const int uw = VeRound(double(width) * aspectY / n), uh = VeRound(double(height) * aspectX / n);
  TVeRect r;
  if (mode == vpmCentred) {
    r = {(rw - uw) / 2, (rh - uh) / 2, 0, 0};
    r.Right = r.Left + uw;
    r.Bottom = r.Top + uh;
  } else {
    // The other way round: fitting the source in the result uses all of it.
    r = VePlacement(mode == vpmFitSourceInResult ? vpmFitResultInSource : vpmFitSourceInResult, rw,
                    rh, uw, uh);
  }
  r = {r.Left + region.Left, r.Top + region.Top, r.Right + region.Left, r.Bottom + region.Top};
  return {std::max(r.Left, region.Left), std::max(r.Top, region.Top),
          std::min(r.Right, region.Right), std::min(r.Bottom, region.Bottom)};
}

namespace {
// Rows of cells count from a cell height of minRowHeight on; below it every second column
// is dim.
TVeBitmap32 SourceViewCells(const TVeBitmap32& source, const TVeSourceViewPictures& views,
                            const TVeRect& region, int width, int height, int aspectX, int aspectY,
                            int mode, int cellWidth, int cellHeight, int minRowHeight) {
  TVeBitmap32 out = views.Gray;
  if (out.Width() != source.Width() || out.Height() != source.Height()) VeInternalError();
  const TVeRect a = VeUsedArea(region, width, height, aspectX, aspectY, mode);
  const int x0 = std::max(a.Left, 0), x1 = std::min(a.Right, source.Width());
  const int y0 = std::max(a.Top, 0), y1 = std::min(a.Bottom, source.Height());
  if (x0 >= x1 || y0 >= y1) return out;
  const bool cells = width > 0 && height > 0 && cellWidth > 2;
  const int columns = cells ? width / cellWidth : 0;
  const int rows = cells && cellHeight >= minRowHeight ? height / cellHeight : 0;
  // Column and row of every pixel of the area (-1 outside the counted cells).
  auto bands = [](int count, int span, int cell, int total, int size) {
    std::vector<int> index(size_t(std::max(size, 0)), -1);
    for (int i = 0; i < count; ++i) {
      const int from = VeRound(double(i) * span * cell / total);
      const int to = VeRound(double(i + 1) * span * cell / total) - 1;
      for (int p = std::max(from, 0); p <= std::min(to, size - 1); ++p)
        index[size_t(p)] = i;
    }
    return index;
  };
  const std::vector<int> col = bands(columns, a.Width(), cellWidth, width, a.Width());
  const std::vector<int> row = bands(rows, a.Height(), cellHeight, height, a.Height());
  for (int y = y0; y < y1; ++y) {
    const uint32_t* s = source.Scanline(y);
    const uint32_t* d = views.Dim.Scanline(y);
    uint32_t* o = out.Scanline(y);
    const int r = rows ? row[size_t(y - a.Top)] : -1;
    for (int x = x0; x < x1; ++x) {
      const int c = columns ? col[size_t(x - a.Left)] : -1;
      bool dim = false;
      if (c >= 0) dim = rows ? (r >= 0 && (c & 1) != (r & 1)) : (c & 1) != 0;
      o[x] = (dim ? d[x] : s[x]) | 0xFF000000u;
    }
  }
  return out;
}
} // namespace

TVeBitmap32 VeSourceView(const TVeBitmap32& source, const TVeSourceViewPictures& views,
                         const TVeRect& region, int width, int height, int aspectX, int aspectY,
                         int mode, int cellWidth, int cellHeight) {
  return SourceViewCells(source, views, region, width, height, aspectX, aspectY, mode, cellWidth,
                         cellHeight, 3);
}

TVeBitmap32 VeCellPatternView(const TVeBitmap32& prepared, int width, int height, int cellWidth,
                              int cellHeight) {
  if (prepared.Empty() || width <= 0 || height <= 0 || cellWidth <= 2) return prepared;
  const TVeRect whole{0, 0, prepared.Width(), prepared.Height()};
  // Every real cell, down to 8 x 1: the picture the engine gets is shown as it is cut up.
  return SourceViewCells(prepared, VeMakeSourceViewPictures(prepared), whole, width, height, 1, 1,
                         vpmStretched, cellWidth, std::max(cellHeight, 1), 1);
}
