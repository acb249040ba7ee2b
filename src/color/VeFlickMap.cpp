#include "VeFlickMap.h"

#include <array>
#include <cstddef>

#include "VeBitmap32.h"
#include "VeErrors.h"

namespace {

struct TNeighbourTable {
  std::array<TVeFlickNeighbour, TVeFlickMap::NeighbourCount> Items;

  TNeighbourTable() {
    constexpr int r = TVeFlickMap::Radius;
    size_t n = 0;
    auto take = [&](int dx, int dy) {
      int d2 = dx * dx + dy * dy;
      if (d2 > r * r) return;
      if (n >= Items.size()) VeInternalError();
      Items[n++] = {int8_t(dx), int8_t(dy), int16_t(d2)};
    };
    // Rows above first, each from right to left, then the row itself to the left: exactly the
    // pixels a top-down, left-to-right scan has already visited.
    for (int dy = -r; dy <= -1; ++dy)
      for (int dx = r; dx >= -r; --dx)
        take(dx, dy);
    for (int dx = -1; dx >= -r; --dx)
      take(dx, 0);
    if (n != Items.size()) VeInternalError();
    // Stable, so equal distances keep their generation order.
    for (size_t i = 0; i + 1 < n; ++i) {
      bool swapped = false;
      for (size_t j = 0; j + 1 < n - i; ++j)
        if (Items[j].D2 > Items[j + 1].D2) {
          std::swap(Items[j], Items[j + 1]);
          swapped = true;
        }
      if (!swapped) break;
    }
  }
};

const TNeighbourTable& Table() {
  static const TNeighbourTable table;
  return table;
}

} // namespace

TVeFlickMap::TVeFlickMap(int width, int height) : FWidth(width), FHeight(height) {
  if (width < 0 || height < 0 || int64_t(width) * height > TVeBitmap32::MaxPixels)
    throw EVeError("Picture too large");
  FCells.assign(size_t(width) * size_t(height), TVeFlickCell{});
  Table();
}

const TVeFlickNeighbour* TVeFlickMap::Neighbours() {
  return Table().Items.data();
}

const TVeFlickCell* TVeFlickMap::Cell(int x, int y) const {
  if (x < 0 || y < 0 || x >= FWidth || y >= FHeight) return nullptr;
  if (Reversed) x = FWidth - 1 - x;
  return &FCells[size_t(y) * size_t(FWidth) + size_t(x)];
}

TVeFlickCell* TVeFlickMap::Cell(int x, int y) {
  return const_cast<TVeFlickCell*>(static_cast<const TVeFlickMap*>(this)->Cell(x, y));
}

void TVeFlickMap::Set(int x, int y, double frameB, double frameA) {
  if (TVeFlickCell* c = Cell(x, y)) {
    c->A = frameA;
    c->B = frameB;
  }
}

bool TVeFlickMap::Parity(int x, int y) const {
  if (Reversed) x = FWidth - 1 - x;
  return ((x ^ y) & 1) == 0;
}

bool TVeFlickMap::ChooseFrameA(int x, int y) const {
  double sa = 0.0, sb = 0.0;
  auto add = [&](int cx, int cy) {
    if (const TVeFlickCell* c = Cell(cx, cy)) {
      sa += c->A;
      sb += c->B;
    }
  };
  add(x - 1, y);
  add(x - 1, y - 1);
  add(x, y - 1);
  if (sa > sb) return false;
  if (sa < sb) return true;

  // A tie among the nearest: look further out, at the first ring holding an unbalanced pixel.
  const TVeFlickNeighbour* t = Neighbours();
  int first = -1;
  for (int i = 0; i < NeighbourCount; ++i) {
    const TVeFlickCell* c = Cell(x + t[i].DX, y + t[i].DY);
    if (c && c->A != c->B) {
      first = i;
      break;
    }
  }
  if (first < 0) return Parity(x, y);
  int d2 = t[first].D2;
  int i = first;
  while (i > 0 && t[i - 1].D2 == d2)
    --i;
  sa = sb = 0.0;
  for (; i < NeighbourCount && t[i].D2 == d2; ++i)
    add(x + t[i].DX, y + t[i].DY);
  if (sa > sb) return false;
  if (sa < sb) return true;
  return Parity(x, y);
}
