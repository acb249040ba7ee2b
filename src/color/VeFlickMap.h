#pragma once
// Balances two alternating frames: for a pixel shown in only one of them, decides which one
// so that the light stays evenly spread between the frames around it.
#include <cstdint>
#include <vector>

struct TVeFlickCell {
  double A = 0.0; // value shown in frame A
  double B = 0.0; // value shown in frame B
};

struct TVeFlickNeighbour {
  int8_t DX, DY;
  int16_t D2; // DX² + DY²
};

class TVeFlickMap {
public:
  static constexpr int Radius = 20;
  static constexpr int NeighbourCount = 628;

  TVeFlickMap(int width, int height);

  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  // Mirrors columns while set, like every other pixel container.
  bool Reversed = false;

  // Note the order: the frame-B value comes first.
  void Set(int x, int y, double frameB, double frameA);
  // The cell at (x, y), or nullptr outside the grid.
  TVeFlickCell* Cell(int x, int y);
  const TVeFlickCell* Cell(int x, int y) const;

  bool ChooseFrameA(int x, int y) const;
  bool Parity(int x, int y) const;

  // The half-disc of already visited neighbours, nearest first.
  static const TVeFlickNeighbour* Neighbours();

private:
  int FWidth, FHeight;
  std::vector<TVeFlickCell> FCells;
};
