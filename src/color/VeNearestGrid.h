#pragma once
// Nearest search entry by the "Delta RGB" distance through a coarse grid over linear RGB: each
// cell lists the entries that can be nearest to some point of it, so that a query measures
// only those. Cell edges follow the entries' own spread per channel (dark-heavy palettes get
// narrow dark cells). Cells are filled on first use, so one grid serves one thread.
// A query outside the grid's range, or not finite, gets -1 and goes to another search.
#include <cstdint>
#include <vector>

#include "VePalette.h"

class TVeNearestGrid {
public:
  // Values reached by error diffusion past [0, 1] still fall inside.
  static constexpr double Lo = -0.5, Hi = 1.5;

  void Build(const TVeSearchEntry* entries, int count);
  bool Empty() const { return FCells.empty(); }
  // The nearest entry, lowest index on ties, each distance computed as a plain scan does;
  // -1 outside the grid.
  int Nearest(double r, double g, double b) {
    if (!(r >= Lo && r < Hi && g >= Lo && g < Hi && b >= Lo && b < Hi) || FCells.empty()) return -1;
    const int cell =
        (FAxis[0].Cell[Fine(r)] * FAxis[1].Cells + FAxis[1].Cell[Fine(g)]) * FAxis[2].Cells +
        FAxis[2].Cell[Fine(b)];
    TCellList& list = FCells[size_t(cell)];
    if (list.Count < 0) Fill(cell, list);
    const TCandidate* c = FPool.data() + list.Start;
    int best = c[0].Index;
    double bestD;
    {
      const double dr = r - c[0].R, dg = g - c[0].G, db = b - c[0].B;
      bestD = VeLumR * dr * dr + VeLumG * dg * dg + VeLumB * db * db;
    }
    // Candidates ascend by index, so the first of equal distances stays.
    for (int i = 1; i < list.Count; ++i) {
      const double dr = r - c[i].R, dg = g - c[i].G, db = b - c[i].B;
      const double d = VeLumR * dr * dr + VeLumG * dg * dg + VeLumB * db * db;
      if (d < bestD) {
        bestD = d;
        best = c[i].Index;
      }
    }
    return best;
  }
  // Candidates held by the cells filled so far (for tests and tuning).
  size_t CandidateCount() const { return FPool.size(); }
  int FilledCells() const { return FFilled; }

private:
  static constexpr int FineBins = 16384; // over [Lo, Hi): steps of 1/8192
  static constexpr double FineScale = FineBins / (Hi - Lo);

  struct TAxis {
    int Cells = 0, CoarseCells = 0;
    std::vector<uint8_t> Cell;       // cell of each fine bin
    std::vector<double> Edges;       // Cells + 1 edges
    std::vector<int> Parent;         // coarse cell of each cell
    std::vector<double> CoarseEdges; // CoarseCells + 1 edges
  };
  struct TCandidate {
    double R, G, B;
    int Index;
  };
  struct TCellList {
    int Start = 0;
    int Count = -1; // not filled yet
  };

  static int Fine(double v) {
    const int f = int((v - Lo) * FineScale);
    return f < FineBins ? f : FineBins - 1;
  }
  void BuildAxis(TAxis& axis, int channel, int cells);
  void Fill(int cell, TCellList& list);
  // Appends to out those of the entries from[0 .. count) that can be nearest somewhere in
  // the box, in the order given.
  void Select(const int* from, int count, const double* lo, const double* hi,
              std::vector<int>& out);

  std::vector<TVeSearchEntry> FEntries;
  TAxis FAxis[3];
  std::vector<TCellList> FCells;
  std::vector<TCandidate> FPool;
  // Coarse cells hold entry indices, filled when a cell inside them is.
  std::vector<TCellList> FCoarse;
  std::vector<int> FCoarsePool, FAll, FPicked;
  std::vector<double> FNear, FFar; // scratch of Select
  int FFilled = 0;
};
