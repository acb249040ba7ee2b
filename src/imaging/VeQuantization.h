#pragma once
// Colour quantization: a weighted k-means over the distinct colours of a picture in linear
// RGB, seeded by a median cut, with centres snapped to what the hardware can show, pinned
// colours, and a pair mode for modes that mix two alternating frames.
//
// The core works on its own small views of palettes (IVeQuantizationPalette) so that it
// depends only on linear values, bytes and nearest searches.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "VeThreadJob.h"

// Linear RGB triple as the quantizer stores it.
struct TVeQuantizationLin {
  double R = 0, G = 0, B = 0;
  bool operator==(const TVeQuantizationLin&) const = default;
};

// Read-only view of a palette the quantizer searches (hardware, initial, pinned). Searches
// run concurrently on worker threads, so they must not change the palette.
class IVeQuantizationPalette {
public:
  virtual ~IVeQuantizationPalette() = default;
  virtual int Count() const = 0;
  virtual TVeQuantizationLin Lin(int index) const = 0;
  virtual uint32_t RGBQuad(int index) const = 0;
  // Nearest by the "Delta RGB" distance, first index on ties; -1 when empty.
  virtual int FindNearestLin(const TVeQuantizationLin& lin) const = 0;
  // Nearest luminance to the colour's, first index on ties.
  virtual int FindNearestGray(const TVeQuantizationLin& lin) const = 0;
};

// An explicit list of colours (bytes plus exact linear value), searched by linear scans.
class TVeQuantizationPalette : public IVeQuantizationPalette {
public:
  struct TEntry {
    uint32_t Quad; // red << 16 | green << 8 | blue
    TVeQuantizationLin Lin;
  };
  std::vector<TEntry> Entries;

  int Count() const override { return int(Entries.size()); }
  TVeQuantizationLin Lin(int index) const override { return Entries[size_t(index)].Lin; }
  uint32_t RGBQuad(int index) const override { return Entries[size_t(index)].Quad; }
  int FindNearestLin(const TVeQuantizationLin& lin) const override;
  int FindNearestGray(const TVeQuantizationLin& lin) const override;

  int FindExact(uint32_t quad) const;
  // Appends from bytes (linear value through the sRGB curve).
  int AddRGB(uint8_t r, uint8_t g, uint8_t b);
  // Appends without searching.
  int AddLin(const TVeQuantizationLin& lin);
  // By bytes: an existing entry takes the exact linear value, else a new entry is appended.
  int AddUniqueLin(const TVeQuantizationLin& lin);
  // By bytes, keeping the first entry's linear value.
  int AddUnique(uint32_t quad, const TVeQuantizationLin& lin);
  // Stable ascending sort by luminance of the entries from..Count-1.
  void SortByLuminance(int from);
};

// Colour helpers with the exact constants of the colour model.
double VeQuantizationByteToLinear(uint8_t value);
uint8_t VeQuantizationLinearToByte(double value);
uint32_t VeQuantizationLinToQuad(const TVeQuantizationLin& lin);
double VeQuantizationLuminance(const TVeQuantizationLin& lin);
double VeQuantizationDistance(const TVeQuantizationLin& a, const TVeQuantizationLin& b);

// One distinct colour of the input.
struct TVeQuantizationColor {
  uint8_t R = 0, G = 0, B = 0;
  TVeQuantizationLin Lin;
  uint32_t Weight = 1; // pixels of this colour
  int Cluster = -1;    // current cluster
  int Nearest = -1;    // result of the last assignment
  double Distance = 0; // to the current cluster's centre
  bool DistanceValid = false;
  // Bounds of the metric distance (square root of "Delta RGB") that let a pass skip the
  // search: Upper to the current centre, Lower to every other centre.
  double Upper = 0, Lower = 0;
  uint32_t Key() const { return uint32_t(R) << 16 | uint32_t(G) << 8 | B; }
};

struct TVeQuantizationCluster {
  bool Fixed = false;    // pinned: the centre never moves
  bool Excluded = false; // pair mode: may not take colours
  bool CentreValid = false;
  TVeQuantizationLin Centre;
  uint32_t CentreQuad = 0;
  double CentreLuminance = 0;
  int MemberCount = 0;
  TVeQuantizationLin SearchedCentre; // the centre at the last nearest search
  int BaseA = -1, BaseB = -1;        // pair mode: numbers of the two bases (equal for a base)
};

class TVeQuantization {
public:
  TVeQuantization(const TVeCancelFlag* abort, int k, bool gray, bool method = false);
  ~TVeQuantization();

  // Optional inputs; the quantizer does not own them and they must outlive it.
  const IVeQuantizationPalette* Hardware = nullptr;
  const IVeQuantizationPalette* Initial = nullptr;
  const IVeQuantizationPalette* Pinned = nullptr;
  bool SingleThread = false;
  double PairThreshold = 1.0;             // pair mode: largest luminance difference (0..1)
  std::function<void(int pass)> Progress; // called on the calling thread once per pass

  int K() const { return FK; }

  // Colour collection. Colours with equal bytes merge; the first linear value stays.
  void AddColor(uint8_t r, uint8_t g, uint8_t b, uint32_t weight = 1);
  void AddColor(uint32_t quad, const TVeQuantizationLin& lin, uint32_t weight);
  void AddPixels(const uint32_t* rgbQuads, size_t count); // 0x??RRGGBB, top byte ignored
  void AddPalette(const IVeQuantizationPalette& palette, const std::vector<int>* useCounts);

  // Clusters the colours and fills the output palette ("Autogenerated" is the caller's
  // name for it): initial colours, cluster centres, black and white while short of k,
  // sorted by luminance after the initial colours.
  void Execute(TVeQuantizationPalette& output);
  void ExecutePairs(TVeQuantizationPalette& output);

  // Inspection, for tests.
  const std::vector<TVeQuantizationColor>& Colors();
  const std::vector<TVeQuantizationCluster>& Clusters() const { return FClusters; }
  int Passes() const { return FPasses; }

  // Longest k-means run; guards against a centre that snapping keeps moving in a cycle.
  static constexpr int MaxPasses = 2000;

private:
  struct TNearestJob;
  struct TCentreJob;

  void Check() const;
  void FinishCollection();
  void Cluster();
  void MedianCut(int first, int last, int n);
  void Pin();
  void KMeans();
  void UpdateCentres(bool basesOnly);
  void ComputeCentre(int cluster);
  void Snap(TVeQuantizationLin& lin) const;
  void SetCentre(TVeQuantizationCluster& c, const TVeQuantizationLin& lin);
  void FindNearest();
  void FindNearestRange(int first, int last, const std::vector<int>& order, double maxDrift);
  int MoveColors();
  void RebuildMembers();
  void DiscardEmpty();
  bool Split();
  void SolveBases();
  void UpdateMixes();
  void BuildOutput(TVeQuantizationPalette& output, bool pairs);
  template <class F> void ForRanges(int count, F&& body);

  const TVeCancelFlag* FAbort;
  int FK;
  bool FGray, FMethod;
  std::vector<uint32_t> FPendingKeys;               // colours by bytes, not yet merged
  std::vector<TVeQuantizationColor> FPendingColors; // colours with their own linear value
  std::vector<TVeQuantizationColor> FColors;
  std::vector<TVeQuantizationCluster> FClusters;
  std::vector<int> FMemberStart, FMembers; // members per cluster, in colour order
  std::vector<int> FBaseAt;                // pair mode: cluster index of base i
  bool FBoundsValid = false;               // colours' Upper and Lower hold
  std::vector<double> FDrift;              // per cluster: centre movement since the last search
  std::unique_ptr<TVeQuantizationPalette> FHardwareCopy;
  int FPasses = 0;
};
