#include "VePlatformZxSpectrumUlaPlus.h"

#include <algorithm>

#include "VeImage.h"
#include "VePalette.h"
#include "VeQuantization.h"
#include "VeThreadJob.h"

// ---- Palette ------------------------------------------------------------------------------

TVePaletteType ULAPlusPaletteType(TVePaletteType type) {
  return type == ptV10 || type == ptV11Gray ? type : ptV11;
}

int ULAPlusBlue(TVePaletteType type, int b) {
  static const int v10[4] = {0, 3, 4, 7};
  static const int v11[4] = {0, 3, 5, 7};
  return (ULAPlusPaletteType(type) == ptV10 ? v10 : v11)[b & 3];
}

uint32_t ULAPlusColorRGB(TVePaletteType type, int n) {
  const uint32_t g = ULAPlusLevel(n >> 5 & 7), r = ULAPlusLevel(n >> 2 & 7);
  const uint32_t b = ULAPlusLevel(ULAPlusBlue(type, n & 3));
  return r << 16 | g << 8 | b;
}

void ULAPlusMakePalette(TVePalette256& palette, TVePaletteType type) {
  type = ULAPlusPaletteType(type);
  palette.BeginUpdate();
  palette.Clear();
  for (int n = 0; n < ULAPlusColorCount; ++n) {
    const uint32_t q = ULAPlusColorRGB(type, n);
    const int i = palette.AddRGB(uint8_t(q >> 16), uint8_t(q >> 8), uint8_t(q));
    if (type == ptV11Gray) palette.GetPColor(i)->MakeGray();
  }
  palette.EndUpdate();
}

void ULAPlusMakeGrayPalette(TVePalette256& palette, TVePaletteType type) {
  if (type == ptV11Gray) type = ptV11;
  palette.BeginUpdate();
  palette.Clear();
  for (int n = 0; n < ULAPlusColorCount; ++n) {
    const uint32_t q = ULAPlusColorRGB(type, n);
    const uint8_t r = uint8_t(q >> 16), g = uint8_t(q >> 8), b = uint8_t(q);
    if (r == g && g == b) palette.AddRGB(r, g, b);
  }
  palette.SortByLuminance();
  palette.EndUpdate();
}

// ---- Working palette ----------------------------------------------------------------------

void ULAPlusAddHidden(TVePalette256& working) {
  const int i = working.AddRGB(0, 0, 0);
  working.GetPColor(i)->Excluded = true;
}

void ULAPlusLayOut(TVePalette256& working, const std::vector<std::vector<TVeColor>>& papers,
                   const std::vector<std::vector<TVeColor>>& inks) {
  working.BeginUpdate();
  working.Clear();
  for (int g = 0; g < ULAPlusGroupCount; ++g)
    for (const auto* side : {&papers, &inks}) {
      const std::vector<TVeColor> none;
      const std::vector<TVeColor>& colors = size_t(g) < side->size() ? (*side)[size_t(g)] : none;
      for (int i = 0; i < 8; ++i) {
        if (size_t(i) < colors.size())
          working.AddColor(colors[size_t(i)]);
        else
          ULAPlusAddHidden(working);
      }
    }
  working.EndUpdate();
}

void ULAPlusLayOut17(TVePalette256& working, const TVePalette256& colors) {
  const int n = std::min(colors.Count(), 17);
  auto range = [&](int first, int last) {
    std::vector<TVeColor> out;
    for (int i = first; i <= last && i < n; ++i)
      out.push_back(colors.Color(i));
    return out;
  };
  std::vector<std::vector<TVeColor>> papers{range(0, 7)}, inks{range(1, 8)};
  if (n > 9) {
    papers.push_back(range(0, 7));
    inks.push_back(range(9, 16));
    papers.push_back(range(8, 15));
    inks.push_back(range(9, 16));
  }
  ULAPlusLayOut(working, papers, inks);
}

void ULAPlusWriteTable(uint8_t* table, const TVePalette256& working, const TVePalette256& ulaPlus) {
  auto number = [&](int entry) -> uint8_t {
    if (entry >= working.Count() || working.Color(entry).Excluded) return 0;
    const int n = ulaPlus.FindExact(working.GetRGBQuad(entry));
    return n < 0 ? 0 : uint8_t(n);
  };
  // A colour table lists a group's ink colours first, then its paper colours.
  for (int g = 0; g < ULAPlusGroupCount; ++g)
    for (int i = 0; i < 8; ++i) {
      table[16 * g + i] = number(16 * g + 8 + i);
      table[16 * g + 8 + i] = number(16 * g + i);
    }
}

// ---- Candidates ---------------------------------------------------------------------------

uint8_t TVeULAPlusColor::Attribute() const {
  int ink = Ink & 7, paper = Paper & 7;
  if (Single) {
    if (SingleTag)
      ink = 0;
    else
      paper = 0;
  }
  return uint8_t(ULAPlusGroup(Paper) << 6 | paper << 3 | ink);
}

namespace {
void NoteColors(TVeULAPlusColor& c) {
  c.PaperRGB = c.Palette->GetRGBQuad(0);
  c.InkRGB = c.Palette->GetRGBQuad(1);
  c.PaperLin = c.Palette->GetLinRGB(0);
  c.InkLin = c.Palette->GetLinRGB(1);
}
} // namespace

TVeULAPlusPreparePaletteList::TVeULAPlusPreparePaletteList(const TVePalette256& picture) {
  const int n = picture.Count();
  for (int i = 0; i < n; ++i) {
    auto c = std::make_unique<TVeULAPlusColor>(picture, TVeCellSingle{}, uint8_t(1), i);
    NoteColors(*c);
    Add(std::move(c));
  }
  for (int j = 0; j < n; ++j)
    for (int k = j + 1; k < n; ++k) {
      auto c = std::make_unique<TVeULAPlusColor>(picture, j, k);
      NoteColors(*c);
      Add(std::move(c));
    }
}

TVeULAPlusPalette64List::TVeULAPlusPalette64List(const TVePalette256& working,
                                                 const TVePalette256* restrict) {
  auto usable = [&](int entry) {
    if (entry >= working.Count() || working.Color(entry).Excluded) return false;
    return !restrict || restrict->FindExact(working.GetRGBQuad(entry)) >= 0;
  };
  std::vector<uint32_t> offered;
  for (int i = 0; i < working.Count(); ++i) {
    if (!usable(i)) continue;
    const uint32_t rgb = working.GetRGBQuad(i);
    if (std::find(offered.begin(), offered.end(), rgb) != offered.end()) continue;
    offered.push_back(rgb);
    Add(std::make_unique<TVeULAPlusColor>(working, TVeCellSingle{}, uint8_t(ULAPlusIsPaper(i)), i));
  }
  for (int g = 0; g < ULAPlusGroupCount; ++g)
    for (int j = 16 * g; j < 16 * g + 8; ++j) {
      if (!usable(j)) continue;
      for (int k = 16 * g + 8; k < 16 * g + 16; ++k)
        if (usable(k)) Add(std::make_unique<TVeULAPlusColor>(working, j, k));
    }
}

// ---- Screens ------------------------------------------------------------------------------

void TVeULAPlusScreen::SetPixel(int x, int y, int value) {
  TVeZxSpectrumColorScreen::SetPixel(x, y, FTwoColor ? value == FInkIndex : value);
}

int TVeULAPlusExtendedScreen::GetAttr(int cellX, int cellY) const {
  if (Reversed) cellX = 31 - cellX;
  return Data()[ZxPixelBytes + ZxScreenOffset(cellY, cellX)];
}

void TVeULAPlusExtendedScreen::SetAttr(int cellX, int cellY, int attr) {
  if (Reversed) cellX = 31 - cellX;
  Data()[ZxPixelBytes + ZxScreenOffset(cellY, cellX)] = uint8_t(attr);
}

// ---- Final conversion ---------------------------------------------------------------------

// Both images choose among pairs of their palette's entries, so the bounded search applies.
TVeULAPlusImage::TVeULAPlusImage(int cellWidth, const TVeBitmap32& source, int cellHeight)
    : TVeCellImage(cellWidth, source, cellHeight) {
  FPairBounds = true;
}

void TVeULAPlusImage::Prepare() {
  FitLuminance(*FPalette);
}

std::unique_ptr<TVeBitmap> TVeULAPlusImage::CreateResult() {
  return std::make_unique<TVeBitmap8>(FWidth, FPalette.get(), FHeight);
}

TVeCellPaletteList* TVeULAPlusImage::CreateCellPalettes() {
  return new TVeULAPlusPalette64List(*FPalette, Restrict);
}

void TVeULAPlusImage::WriteCellAttr(TVeCellScreen* screen, int cellX, TVeCellPalette* pal,
                                    int cellY) {
  if (screen) screen->SetAttr(cellX, cellY, static_cast<TVeULAPlusColor*>(pal)->Attribute());
}

void TVeULAPlusImage::WriteResultPixel(TVeBitmap* result, int x, int k, TVeCellPalette* pal,
                                       int y) {
  const auto* c = static_cast<TVeULAPlusColor*>(pal);
  result->SetPixel(x, y, k == 1 ? c->Ink : c->Paper);
}

void TVeULAPlusImage::WriteScreenPixel(TVeCellScreen* screen, int x, int k, TVeCellPalette* pal,
                                       int y) {
  if (!screen) return;
  const auto* c = static_cast<TVeULAPlusColor*>(pal);
  // A single colour sits on its entry's side, whatever the index.
  screen->SetPixel(x, y, c->Single ? !c->SingleTag : k);
}

void TVeULAPlusImage::ReportProgress(TVeDestProgress*, int total, int done) {
  Passes.Report(2, total, done);
}

// ---- Trial conversion ---------------------------------------------------------------------

TVeULAPlusQuantizationImage::TVeULAPlusQuantizationImage(int cellWidth, const TVeBitmap32& source,
                                                         int cellHeight,
                                                         TVeULAPlusPreparePaletteList& list)
    : TVeCellImage(cellWidth, source, cellHeight), FList(list) {
  FPairBounds = true;
}

std::unique_ptr<TVeBitmap> TVeULAPlusQuantizationImage::CreateResult() {
  return std::make_unique<TVeBitmap8>(FWidth, FPalette.get(), FHeight);
}

void TVeULAPlusQuantizationImage::DitherCell(TVeBitmap* result, TVeCellScreen* screen,
                                             TVeCellPalette* pal, const TVeCellRect& rect,
                                             int cellY, int cellX) {
  ++static_cast<TVeULAPlusColor*>(pal)->Cells;
  TVeCellImage::DitherCell(result, screen, pal, rect, cellY, cellX);
}

void TVeULAPlusQuantizationImage::WriteResultPixel(TVeBitmap*, int, int k, TVeCellPalette* pal,
                                                   int) {
  auto* c = static_cast<TVeULAPlusColor*>(pal);
  ++(k == 1 ? c->InkUses : c->PaperUses);
}

void TVeULAPlusQuantizationImage::ReportProgress(TVeDestProgress*, int total, int done) {
  Passes.Report(0, total, done);
}

// ---- Grouping -----------------------------------------------------------------------------

namespace {
double Distance(const TVeLinRGBColor& a, const TVeLinRGBColor& b) {
  const double dr = a.R - b.R, dg = a.G - b.G, db = a.B - b.B;
  return VeLumR * dr * dr + VeLumG * dg * dg + VeLumB * db * db;
}

constexpr double Far = 1e30;

// Each pair's largest summed distance to any other pair, for a range of pairs.
struct TMaxDistanceJob : TVeJob {
  TMaxDistanceJob(TVeJobList* list, std::vector<TVeULAPlusColor*>& pairs, int first, int last)
      : TVeJob(list), Pairs(pairs), First(first), Last(last) {}
  void Execute() override { Run(Pairs, First, Last); }
  static void Run(std::vector<TVeULAPlusColor*>& pairs, int first, int last) {
    for (int i = first; i <= last; ++i) {
      TVeULAPlusColor& p = *pairs[size_t(i)];
      double best = 0;
      for (size_t j = 0; j < pairs.size(); ++j)
        if (int(j) != i)
          best = std::max(best, Distance(p.PaperLin, pairs[j]->PaperLin) +
                                    Distance(p.InkLin, pairs[j]->InkLin));
      p.MaxDistance = best;
    }
  }
  std::vector<TVeULAPlusColor*>& Pairs;
  int First, Last;
};

void MaxDistances(const TVeCancelFlag* cancel, std::vector<TVeULAPlusColor*>& pairs) {
  const int n = int(pairs.size());
  if (ProcessorCount() < 2 || n < 64) {
    TMaxDistanceJob::Run(pairs, 0, n - 1);
    return;
  }
  TVeRangeSplitter s;
  s.Init(n, 0);
  TVeJobList list;
  int first, last;
  while (s.Next(first, last))
    new TMaxDistanceJob(&list, pairs, first, last);
  list.Run(cancel);
}
} // namespace

void TVeULAPlusQuantization::TSide::Add(uint32_t rgb, const TVeLinRGBColor& lin, double weight) {
  for (size_t i = 0; i < Colors.size(); ++i)
    if (Colors[i] == rgb) {
      Weights[i] += weight;
      return;
    }
  Colors.push_back(rgb);
  Lin.push_back(lin);
  Weights.push_back(weight);
}

double TVeULAPlusQuantization::TSide::Nearest(const TVeLinRGBColor& c) const {
  double best = Far;
  for (const TVeLinRGBColor& l : Lin)
    best = std::min(best, Distance(c, l));
  return best;
}

TVeULAPlusQuantization::TVeULAPlusQuantization(const TVeCancelFlag* cancel,
                                               const TVePalette256& hardware, bool gray)
    : FCancel(cancel), FHardware(hardware), FGray(gray) {}

void TVeULAPlusQuantization::Reduce(TSide& side) {
  if (side.Colors.size() <= 8) return;
  TVeQuantization q(FCancel, 8, FGray);
  q.Hardware = &FHardware;
  for (size_t i = 0; i < side.Colors.size(); ++i)
    q.AddColor(side.Colors[i], side.Lin[i], uint32_t(std::max(1.0, side.Weights[i])));
  TVePalette256 out;
  q.Execute(out);
  TSide reduced;
  for (int i = 0; i < out.Count() && i < 8; ++i)
    reduced.Add(out.GetRGBQuad(i), out.GetLinRGB(i), 1);
  side = std::move(reduced);
}

void TVeULAPlusQuantization::Recompute(const std::vector<TVeULAPlusColor*>& used) {
  for (TGroup& g : FGroups)
    g = TGroup();
  for (const TVeULAPlusColor* c : used)
    if (!c->Single && c->Group >= 0) {
      FGroups[c->Group].Paper.Add(c->PaperRGB, c->PaperLin, c->PaperUses);
      FGroups[c->Group].Ink.Add(c->InkRGB, c->InkLin, c->InkUses);
    }
  for (int gi = 0; gi < ULAPlusGroupCount; ++gi) {
    TGroup& g = FGroups[gi];
    auto weightOf = [](const TSide& s, uint32_t rgb) {
      for (size_t i = 0; i < s.Colors.size(); ++i)
        if (s.Colors[i] == rgb) return s.Weights[i];
      return -1.0;
    };
    // A single joins the side that shows its colour already.
    std::vector<const TVeULAPlusColor*> others;
    for (const TVeULAPlusColor* c : used) {
      if (!c->Single || c->Group != gi) continue;
      const double weight = c->PaperUses + c->InkUses;
      const double wp = weightOf(g.Paper, c->PaperRGB), wi = weightOf(g.Ink, c->PaperRGB);
      if (wp >= 0 && (wi < 0 || wp >= wi))
        g.Paper.Add(c->PaperRGB, c->PaperLin, weight);
      else if (wi >= 0)
        g.Ink.Add(c->PaperRGB, c->PaperLin, weight);
      else
        others.push_back(c);
    }
    // The others one by one, the worst represented first.
    while (!others.empty()) {
      size_t worst = 0;
      double worstScore = -1;
      for (size_t i = 0; i < others.size(); ++i) {
        const double score =
            g.Paper.Nearest(others[i]->PaperLin) + g.Ink.Nearest(others[i]->PaperLin);
        if (score > worstScore) {
          worst = i;
          worstScore = score;
        }
      }
      const TVeULAPlusColor* c = others[worst];
      others.erase(others.begin() + long(worst));
      const size_t np = g.Paper.Colors.size(), ni = g.Ink.Colors.size();
      const double dp = g.Paper.Nearest(c->PaperLin), di = g.Ink.Nearest(c->PaperLin);
      bool paper;
      if (np == 0 || ni == 0)
        paper = np == 0;
      else if (np < 8 || ni < 8)
        paper = np != ni ? (np < ni) : dp <= di;
      else
        paper = dp <= di;
      (paper ? g.Paper : g.Ink).Add(c->PaperRGB, c->PaperLin, c->PaperUses + c->InkUses);
    }
    Reduce(g.Paper);
    Reduce(g.Ink);
  }
}

int TVeULAPlusQuantization::NearestGroup(const TVeULAPlusColor& c, bool single) const {
  int best = 0;
  double bestCost = 0;
  for (int g = 0; g < ULAPlusGroupCount; ++g) {
    const TGroup& group = FGroups[g];
    const double cost =
        single ? std::min(group.Paper.Nearest(c.PaperLin), group.Ink.Nearest(c.PaperLin))
               : group.Paper.Nearest(c.PaperLin) + group.Ink.Nearest(c.InkLin);
    if (g == 0 || cost < bestCost) {
      best = g;
      bestCost = cost;
    }
  }
  return best;
}

int TVeULAPlusQuantization::Passes(const std::vector<TVeULAPlusColor*>& used) {
  int pass = 0;
  for (; pass < MaxPasses; ++pass) {
    VeCheckCancel(FCancel);
    Recompute(used);
    int moves = 0;
    for (TVeULAPlusColor* c : used)
      if (!c->Single) {
        c->NearestGroup = NearestGroup(*c, false);
        if (c->NearestGroup != c->Group) ++moves;
      }
    if (!moves) break;
    for (TVeULAPlusColor* c : used)
      if (!c->Single) c->Group = c->NearestGroup;
  }
  return pass;
}

void TVeULAPlusQuantization::Execute(std::vector<TVeULAPlusColor*>& used, TVePalette256& working) {
  for (TVeULAPlusColor* c : used)
    c->Group = c->NearestGroup = -1;
  if (used.size() <= 32) {
    // Few enough to give every group eight in list order.
    for (size_t m = 0; m < used.size(); ++m)
      used[m]->Group = int(m / 8);
  } else {
    std::vector<TVeULAPlusColor*> pairs;
    for (TVeULAPlusColor* c : used)
      if (!c->Single) pairs.push_back(c);
    MaxDistances(FCancel, pairs);
    // The pairs farthest from all others seed the groups.
    for (int g = 0; g < ULAPlusGroupCount; ++g) {
      TVeULAPlusColor* seed = nullptr;
      for (TVeULAPlusColor* p : pairs)
        if (p->Group < 0 && (!seed || p->MaxDistance > seed->MaxDistance)) seed = p;
      if (seed) seed->Group = g;
    }
    Passes(used);
    Recompute(used);
    // Singles go where their colour is, else where there is room, else to the nearest group.
    for (TVeULAPlusColor* s : used) {
      if (!s->Single) continue;
      auto holds = [&](const TSide& side) {
        return std::find(side.Colors.begin(), side.Colors.end(), s->PaperRGB) != side.Colors.end();
      };
      for (int g = 0; g < ULAPlusGroupCount && s->Group < 0; ++g)
        if (holds(FGroups[g].Paper)) s->Group = g;
      for (int g = 0; g < ULAPlusGroupCount && s->Group < 0; ++g)
        if (holds(FGroups[g].Ink)) s->Group = g;
      if (s->Group < 0) {
        double bestCost = Far;
        for (int g = 0; g < ULAPlusGroupCount; ++g) {
          const TGroup& group = FGroups[g];
          if (group.Paper.Colors.size() >= 8 && group.Ink.Colors.size() >= 8) continue;
          const double cost =
              std::min(group.Paper.Nearest(s->PaperLin), group.Ink.Nearest(s->PaperLin));
          if (s->Group < 0 || cost < bestCost) {
            s->Group = g;
            bestCost = cost;
          }
        }
      }
      if (s->Group < 0) s->Group = NearestGroup(*s, true);
    }
    Passes(used);
  }
  Recompute(used);
  std::vector<std::vector<TVeColor>> papers(ULAPlusGroupCount), inks(ULAPlusGroupCount);
  for (int g = 0; g < ULAPlusGroupCount; ++g)
    for (int side = 0; side < 2; ++side) {
      const TSide& s = side == 0 ? FGroups[g].Paper : FGroups[g].Ink;
      TVePalette256 sorted;
      for (size_t i = 0; i < s.Colors.size(); ++i)
        sorted.AddLin(s.Lin[i]);
      sorted.SortByLuminance();
      for (int i = 0; i < sorted.Count(); ++i)
        (side == 0 ? papers : inks)[size_t(g)].push_back(sorted.Color(i));
    }
  ULAPlusLayOut(working, papers, inks);
}

// ---- Colours of a picture -----------------------------------------------------------------

void ULAPlusDitheredColors(const TVeCancelFlag* cancel, const TVeImage& picture,
                           const TVePalette256& palette, uint8_t ditherMethod, int strength,
                           TVePalette256& colors) {
  TVeImage copy(picture);
  TVeDitherOptions d;
  d.DitherMethod = ditherMethod;
  d.ErrorDiffusion = strength;
  d.Serpentine = true;
  std::unique_ptr<TVeBitmap> dithered = copy.DitherPalette(cancel, d, nullptr, palette);
  std::vector<int32_t> used(size_t(palette.Count()), 0);
  for (int y = 0; y < dithered->Height(); ++y)
    for (int x = 0; x < dithered->Width(); ++x)
      ++used[size_t(dithered->GetPixel(x, y))];
  colors.BeginUpdate();
  colors.Clear();
  for (int i = 0; i < palette.Count(); ++i) {
    if (!used[size_t(i)]) continue;
    int at = colors.FindExact(palette.GetRGBQuad(i));
    if (at < 0) {
      at = colors.AddColor(palette.Color(i));
      colors.GetPColor(at)->UseCount = 0;
    }
    colors.GetPColor(at)->UseCount += used[size_t(i)];
  }
  colors.EndUpdate();
}
