#pragma once
// The choice of a gigascreen cell's candidate (up to four colours each, a few thousand of
// them): the candidate of least trial cost, the first in list order on ties, the same one the
// bounded pair search or trying every candidate finds. Every candidate gets a lower bound of
// its cost (per pixel, the distance to the nearest of its colours), summed in vector lanes
// across the pixels; candidates are then tried in the order of their bounds, four or eight
// side by side, each trial stopping once every lane's partial cost is past the best.
#include <cstdint>
#include <vector>

#include "VeCellImage.h"

class TVeGigascreenSearch {
public:
  // What a trial needs of the image: the working pixels and the dithering settings.
  struct TSetup {
    const TVeBaseCellImage* Image = nullptr;
    int Method = 1; // the trial's kernel, 0 for none
    double Strength = 0.9;
    int Lanes = 2; // doubles per vector, 2, 4 (AVX2) or 8 (AVX-512): the choice is the same
  };
  // The widest lanes the processor offers.
  static int WidestLanes();

  // Takes the list's colours and enabled flags; false when a candidate has no colours or more
  // than four (the search does not apply then). The list must not change until the next
  // Prepare.
  bool Prepare(const TVeCellPaletteList& list);
  // The candidate for the cell as scanned with the given mirror flag and its cost; -1 when
  // no candidate is enabled. Safe on several threads at once.
  int Choose(const TSetup& setup, const TVeCellRect& rect, bool mirror, double& cost) const;

  // The candidates' colours as indices into the value table, four per candidate (a shorter
  // set repeats its last colour), and the same four as two pairs of the pair table: the
  // nearer of a pair, pixel by pixel, is worked out once per cell for all candidates that
  // share the pair (most of a gigascreen list shares the colours of one frame's pair).
  struct TCandidate {
    int Value[4];
    int Pair[2];
  };
  int ValueCount() const { return int(FValues.size() / 3); }
  int PairCount() const { return int(FPairs.size() / 2); }

private:
  const TVeCellPaletteList* FList = nullptr;
  std::vector<TCandidate> FCandidates;
  std::vector<double> FValues; // 3 linear channels per distinct colour
  std::vector<int> FPairs;     // 2 values per pair
  // Per candidate, read per cell, kept together rather than in the scattered candidates: the
  // colours (12 doubles, the last repeated), their count and the enabled flag.
  std::vector<double> FLin;
  std::vector<int> FCounts;
  std::vector<uint8_t> FEnabled;
};
