#include "VeNearestGrid.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {
// Coarse cells per channel inside [0, 1], more where the distance weighs a channel more; each
// is split in Split parts per channel for the cells that queries use.
constexpr int InnerCells[3] = {8, 12, 4};
constexpr int Split = 3;
// Coarse cells with this few candidates are not narrowed further: it would cost more than
// it saves.
constexpr int FewCandidates = 4;
// Relative slack on the cell bounds: a computed distance differs from the exact one by a few
// units in the last place, far less than this, so no entry that can win is left out.
constexpr double Slack = 1e-8;
// Absolute widening of each cell, past the rounding of a value to its fine bin.
constexpr double Widen = 1e-12;
} // namespace

void TVeNearestGrid::BuildAxis(TAxis& axis, int channel, int cells) {
  const int n = int(FEntries.size());
  std::vector<double> v(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) {
    const TVeSearchEntry& e = FEntries[size_t(i)];
    const double x = channel == 0 ? e.R : channel == 1 ? e.G : e.B;
    v[size_t(i)] = std::clamp(x, 0.0, 1.0);
  }
  std::sort(v.begin(), v.end());
  const int zero = int(std::lround((0.0 - Lo) * FineScale));
  const int one = int(std::lround((1.0 - Lo) * FineScale));
  // Coarse edges in fine bins: the range below 0, equal shares of the entries in [0, 1]
  // (split midway between neighbouring entries), the range above 1.
  std::vector<int> coarse{0, zero};
  for (int k = 1; k < cells; ++k) {
    const int j = int(int64_t(k) * n / cells);
    if (j <= 0 || j >= n) continue;
    const double mid = (v[size_t(j - 1)] + v[size_t(j)]) / 2;
    const int bin = int(std::lround((mid - Lo) * FineScale));
    if (bin > coarse.back() && bin < one) coarse.push_back(bin);
  }
  coarse.push_back(one);
  coarse.push_back(FineBins);
  // Each coarse cell in [0, 1] split evenly; the two outside stay whole.
  std::vector<int> edges{0};
  axis.Parent.clear();
  for (size_t c = 0; c + 1 < coarse.size(); ++c) {
    const int from = coarse[c], to = coarse[c + 1];
    const int parts = from >= zero && to <= one ? std::min(Split, to - from) : 1;
    for (int p = 1; p <= parts; ++p) {
      edges.push_back(from + int(int64_t(to - from) * p / parts));
      axis.Parent.push_back(int(c));
    }
  }
  axis.CoarseCells = int(coarse.size()) - 1;
  axis.Cells = int(edges.size()) - 1;
  axis.Cell.resize(FineBins);
  axis.Edges.resize(edges.size());
  axis.CoarseEdges.resize(coarse.size());
  for (int c = 0; c < axis.Cells; ++c)
    for (int f = edges[size_t(c)]; f < edges[size_t(c) + 1]; ++f)
      axis.Cell[size_t(f)] = uint8_t(c);
  for (size_t i = 0; i < edges.size(); ++i)
    axis.Edges[i] = Lo + edges[i] / FineScale;
  for (size_t i = 0; i < coarse.size(); ++i)
    axis.CoarseEdges[i] = Lo + coarse[i] / FineScale;
}

void TVeNearestGrid::Build(const TVeSearchEntry* entries, int count) {
  FEntries.assign(entries, entries + count);
  FPool.clear();
  FCoarsePool.clear();
  FFilled = 0;
  const bool finite = std::all_of(entries, entries + count, [](const TVeSearchEntry& e) {
    return std::isfinite(e.R) && std::isfinite(e.G) && std::isfinite(e.B);
  });
  if (count <= 0 || !finite) {
    FEntries.clear();
    FCells.clear();
    FCoarse.clear();
    return;
  }
  for (int ch = 0; ch < 3; ++ch)
    BuildAxis(FAxis[ch], ch, InnerCells[ch]);
  FCells.assign(size_t(FAxis[0].Cells) * size_t(FAxis[1].Cells) * size_t(FAxis[2].Cells),
                TCellList{});
  FCoarse.assign(size_t(FAxis[0].CoarseCells) * size_t(FAxis[1].CoarseCells) *
                     size_t(FAxis[2].CoarseCells),
                 TCellList{});
  FAll.resize(size_t(count));
  for (int i = 0; i < count; ++i)
    FAll[size_t(i)] = i;
}

void TVeNearestGrid::Select(const int* from, int count, const double* lo, const double* hi,
                            std::vector<int>& out) {
  const double w[3] = {VeLumR, VeLumG, VeLumB};
  const double centre[3] = {(lo[0] + hi[0]) / 2, (lo[1] + hi[1]) / 2, (lo[2] + hi[2]) / 2};
  // Per entry its least and greatest distance to the box; an entry whose least distance
  // exceeds some entry's greatest is never nearest inside it.
  FNear.resize(size_t(count));
  FFar.resize(size_t(count));
  double bound = std::numeric_limits<double>::infinity(), centreD = bound;
  int boundAt = 0, centreAt = 0;
  for (int k = 0; k < count; ++k) {
    const TVeSearchEntry& e = FEntries[size_t(from[k])];
    const double x[3] = {e.R, e.G, e.B};
    double dNear = 0, dFar = 0, dCentre = 0;
    for (int ch = 0; ch < 3; ++ch) {
      const double below = lo[ch] - x[ch], above = x[ch] - hi[ch];
      const double gap = std::max(below, 0.0) + std::max(above, 0.0); // one at most is > 0
      const double far = std::max(x[ch] - lo[ch], hi[ch] - x[ch]);
      const double mid = centre[ch] - x[ch];
      dNear += w[ch] * gap * gap;
      dFar += w[ch] * far * far;
      dCentre += w[ch] * mid * mid;
    }
    FNear[size_t(k)] = dNear;
    FFar[size_t(k)] = dFar;
    if (dFar < bound) {
      bound = dFar;
      boundAt = k;
    }
    if (dCentre < centreD) {
      centreD = dCentre;
      centreAt = k;
    }
  }
  bound *= 1 + Slack;
  // Whether entry j is nearer than entry i everywhere in the box. Their difference in
  // distance is linear in each channel, so its least value is at a corner.
  auto beaten = [&](int i, int j) {
    const TVeSearchEntry& a = FEntries[size_t(from[i])];
    const TVeSearchEntry& b = FEntries[size_t(from[j])];
    const double xa[3] = {a.R, a.G, a.B}, xb[3] = {b.R, b.G, b.B};
    double least = 0;
    for (int ch = 0; ch < 3; ++ch) {
      const double la = lo[ch] - xa[ch], lb = lo[ch] - xb[ch];
      const double ha = hi[ch] - xa[ch], hb = hi[ch] - xb[ch];
      least += w[ch] * std::min(la * la - lb * lb, ha * ha - hb * hb);
    }
    return least > Slack * (FFar[size_t(i)] + FFar[size_t(j)]);
  };
  for (int k = 0; k < count; ++k) {
    if (FNear[size_t(k)] > bound) continue;
    if (k != boundAt && beaten(k, boundAt)) continue;
    if (k != centreAt && beaten(k, centreAt)) continue;
    out.push_back(from[k]);
  }
}

void TVeNearestGrid::Fill(int cell, TCellList& list) {
  const int at[3] = {cell / FAxis[2].Cells / FAxis[1].Cells, cell / FAxis[2].Cells % FAxis[1].Cells,
                     cell % FAxis[2].Cells};
  int parent[3];
  for (int ch = 0; ch < 3; ++ch)
    parent[ch] = FAxis[ch].Parent[size_t(at[ch])];
  TCellList& coarse = FCoarse[size_t(
      (parent[0] * FAxis[1].CoarseCells + parent[1]) * FAxis[2].CoarseCells + parent[2])];
  double lo[3], hi[3];
  if (coarse.Count < 0) {
    for (int ch = 0; ch < 3; ++ch) {
      lo[ch] = FAxis[ch].CoarseEdges[size_t(parent[ch])] - Widen;
      hi[ch] = FAxis[ch].CoarseEdges[size_t(parent[ch]) + 1] + Widen;
    }
    coarse.Start = int(FCoarsePool.size());
    Select(FAll.data(), int(FAll.size()), lo, hi, FCoarsePool);
    coarse.Count = int(FCoarsePool.size()) - coarse.Start;
  }
  // The cell lies inside its coarse cell, so its candidates are among the coarse ones.
  for (int ch = 0; ch < 3; ++ch) {
    lo[ch] = FAxis[ch].Edges[size_t(at[ch])] - Widen;
    hi[ch] = FAxis[ch].Edges[size_t(at[ch]) + 1] + Widen;
  }
  FPicked.clear();
  if (coarse.Count <= FewCandidates)
    FPicked.assign(FCoarsePool.begin() + coarse.Start,
                   FCoarsePool.begin() + coarse.Start + coarse.Count);
  else
    Select(FCoarsePool.data() + coarse.Start, coarse.Count, lo, hi, FPicked);
  list.Start = int(FPool.size());
  for (const int i : FPicked) {
    const TVeSearchEntry& e = FEntries[size_t(i)];
    FPool.push_back({e.R, e.G, e.B, i});
  }
  list.Count = int(FPool.size()) - list.Start;
  ++FFilled;
}
