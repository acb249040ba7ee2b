#include "VeHAMImage.h"

#include <algorithm>
#include <unordered_map>

#include "VeErrors.h"
#include "VeQuantization.h"

namespace {

inline void CheckAbort(const TVeCancelFlag* abort) {
  if (abort && abort->load(std::memory_order_relaxed) != 0) VeAbort();
}

inline double Dist(const TVeLinRGBColor& a, const TVeLinRGBColor& b) {
  const double r = a.R - b.R, g = a.G - b.G, bl = a.B - b.B;
  return VeLumR * r * r + VeLumG * g * g + VeLumB * bl * bl;
}

constexpr uint32_t Black = 0;

// The chain that starts at a head, in line order.
template <class F> void ForChain(TVeHAMColor* head, F&& f) {
  for (TVeHAMColor* c = head; c; c = c->Successor)
    f(c);
}

// Links the closest pair of a colour among slots first..na-1 of a without a link forward (next)
// and one among first..nb-1 of b without a link back (prev), the first such pair on ties;
// false when no pair is left.
template <TVeHAMColor* TVeHAMColor::*Next, TVeHAMColor* TVeHAMColor::*Prev>
bool LinkClosest(TVeHAMLine& a, int na, TVeHAMLine& b, int nb, int first) {
  TVeHAMColor *bestA = nullptr, *bestB = nullptr;
  double best = 0;
  for (int i = first; i < na; ++i) {
    TVeHAMColor* ca = a.GetColor(i);
    if (ca->*Next) continue;
    for (int j = first; j < nb; ++j) {
      TVeHAMColor* cb = b.GetColor(j);
      if (cb->*Prev) continue;
      const double d = Dist(ca->Lin, cb->Lin);
      if (!bestA || d < best) {
        best = d;
        bestA = ca;
        bestB = cb;
      }
    }
  }
  if (!bestA) return false;
  bestA->*Next = bestB;
  bestB->*Prev = bestA;
  return true;
}

} // namespace

// ---- Lines ----------------------------------------------------------------------------------

TVeHAMColor* TVeHAMLine::AddSlot(uint32_t quad, const TVeLinRGBColor& lin) {
  auto c = std::make_unique<TVeHAMColor>();
  c->SetColor(quad, lin);
  c->Index = SlotCount();
  FSlots.push_back(std::move(c));
  return FSlots.back().get();
}

void TVeHAMLine::Reorder(std::vector<TVeHAMColor*> order) {
  if (order.size() != FSlots.size()) VeInternalError();
  std::vector<std::unique_ptr<TVeHAMColor>> old = std::move(FSlots);
  FSlots.clear();
  for (TVeHAMColor* c : order) {
    auto it = std::find_if(old.begin(), old.end(), [c](const auto& p) { return p.get() == c; });
    if (it == old.end()) VeInternalError();
    c->Index = int(FSlots.size());
    FSlots.push_back(std::move(*it));
  }
}

void TVeHAMUnusedList::Sort() {
  std::stable_sort(
      FItems.begin(), FItems.end(),
      [](const TVeHAMUnusedEntry& a, const TVeHAMUnusedEntry& b) { return a.Length < b.Length; });
}

// ---- Construction -----------------------------------------------------------------------------

TVeHAMPalette::TVeHAMPalette(const TVeCancelFlag* abort, int type, int lineLimit, int maxChanges,
                             int colorsPerLine, const TVePalette& target, const TVeImage& picture)
    : FAbort(abort), FType(std::clamp(type, 0, 2)), FLineLimit(std::max(lineLimit, 0)),
      FMaxChanges(std::max(maxChanges, 1)), FFirst(FType == 2 ? 0 : 1), FTarget(&target) {
  // Black plus at least two colours a line may choose.
  FColorsPerLine = std::max(colorsPerLine, FFirst + 2);
  if (target.GetCount() <= 0) VeInternalError();
  FMaxChanges = std::min(FMaxChanges, FColorsPerLine - FFirst);
  for (int y = 0; y < picture.Height(); ++y) {
    CheckAbort(FAbort);
    BuildLine(y, picture);
  }
  for (;;) {
    CheckAbort(FAbort);
    ++FPasses;
    for (auto& line : FLines) {
      line->Locked = false;
      line->ChangeCost = 0;
      for (int i = 0; i < line->SlotCount(); ++i) {
        TVeHAMColor* c = line->GetColor(i);
        c->Sum = {};
        c->Count = 0;
        c->Predecessor = c->Successor = nullptr;
        c->TentativePredecessor = c->TentativeSuccessor = nullptr;
      }
    }
    Link();
    if (FLineLimit > 0 && !SlotCountsDiffer()) LimitLines();
    ReorderSlots();
    Accumulate();
    const bool changed = SnapChains();
    // The links of this pass are whole: a pass cut short here still gives a valid table.
    if (FPasses >= MaxPasses) break;
    const bool differ = SlotCountsDiffer();
    const bool refilled = RefillIdleChains();
    if (!changed && !differ && !refilled) break;
  }
  Finish();
  FChanges.assign(size_t(FMaxChanges), TVeHAMChange{});
}

TVeHAMPalette::~TVeHAMPalette() = default;

void TVeHAMPalette::BuildLine(int y, const TVeImage& picture) {
  const int w = picture.Width();
  const TVePixel* row = picture.Scanline(y);
  std::vector<TVeHAMPixelColor> colors;
  std::unordered_map<uint32_t, size_t> at;
  for (int x = 0; x < w; ++x) {
    const uint32_t q = row[x].GetStdRGB().RGBQuad();
    auto [it, fresh] = at.emplace(q, colors.size());
    if (fresh)
      colors.push_back({q, row[x].GetLinRGB(), 1});
    else
      ++colors[it->second].Count;
  }
  std::stable_sort(colors.begin(), colors.end(),
                   [](const TVeHAMPixelColor& a, const TVeHAMPixelColor& b) {
                     return a.Lin.Luminance() < b.Lin.Luminance();
                   });
  // The slot colours: the line's own, or a quantized set when there are too many.
  std::vector<std::pair<uint32_t, TVeLinRGBColor>> slots;
  const TVeLinRGBColor black{};
  for (const TVeHAMPixelColor& c : colors)
    slots.emplace_back(c.Quad, c.Lin);
  if (FType != 2 && slots.front().first != Black) slots.insert(slots.begin(), {Black, black});
  if (int(slots.size()) > FColorsPerLine) {
    const int k = FType == 0 ? FColorsPerLine - 1 : FColorsPerLine;
    TVePalette256 preset, out;
    if (FType == 1) preset.AddRGB(0, 0, 0);
    // One line is little work: no job lists for it.
    TVeQuantization q(FAbort, std::max(k, 2), false);
    q.Hardware = FTarget;
    if (FType == 1) q.Initial = q.Pinned = &preset;
    q.SingleThread = true;
    q.AddPixels(row, size_t(w));
    q.Execute(out);
    if (out.Count() > k) VeInternalError();
    slots.clear();
    for (int i = 0; i < out.Count(); ++i)
      slots.emplace_back(out.GetRGBQuad(i), out.GetLinRGB(i));
    if (FType != 2) {
      auto b =
          std::find_if(slots.begin(), slots.end(), [](const auto& s) { return s.first == Black; });
      if (b != slots.begin()) {
        if (b != slots.end()) slots.erase(b);
        slots.insert(slots.begin(), {Black, black});
      }
    }
    if (int(slots.size()) > FColorsPerLine) VeInternalError();
  }
  auto line = std::make_unique<TVeHAMLine>(this);
  line->Colors = std::move(colors);
  for (const auto& s : slots)
    line->AddSlot(s.first, s.second);
  FLines.push_back(std::move(line));
}

bool TVeHAMPalette::SlotCountsDiffer() const {
  for (size_t y = 1; y < FLines.size(); ++y)
    if (FLines[y]->SlotCount() != FLines[y - 1]->SlotCount()) return true;
  return false;
}

void TVeHAMPalette::Link() {
  const int carry = FColorsPerLine - FMaxChanges - FFirst;
  for (int n = LineCount() - 2; n >= 0; --n) {
    CheckAbort(FAbort);
    TVeHAMLine& a = *FLines[size_t(n)];
    TVeHAMLine& b = *FLines[size_t(n) + 1];
    // Every changeable slot of both lines may pair: held to the indices below the smaller
    // slot count, a colour both lines share could miss its partner and be lost.
    for (int t = 0; t < carry; ++t)
      if (!LinkClosest<&TVeHAMColor::Successor, &TVeHAMColor::Predecessor>(a, a.SlotCount(), b,
                                                                           b.SlotCount(), FFirst))
        break;
    while (b.SlotCount() > a.SlotCount()) {
      TVeHAMColor* from = nullptr;
      for (int j = FFirst; j < b.SlotCount() && !from; ++j)
        if (!b.GetColor(j)->Predecessor) from = b.GetColor(j);
      if (!from) VeInternalError();
      TVeHAMColor* copy = a.AddSlot(from->Quad, from->Lin);
      copy->Successor = from;
      from->Predecessor = copy;
    }
    while (a.SlotCount() > b.SlotCount()) {
      TVeHAMColor* from = nullptr;
      for (int i = FFirst; i < a.SlotCount() && !from; ++i)
        if (!a.GetColor(i)->Successor) from = a.GetColor(i);
      if (!from) VeInternalError();
      TVeHAMColor* copy = b.AddSlot(from->Quad, from->Lin);
      from->Successor = copy;
      copy->Predecessor = from;
    }
  }
}

void TVeHAMPalette::LimitLines() {
  const int lines = LineCount();
  if (lines < 2 || lines - FLineLimit <= 0) return;
  // Every changeable slot paired with one of the next line: the carried slots with their
  // successors, the others greedily by distance among those left.
  for (int n = lines - 2; n >= 0; --n) {
    TVeHAMLine& a = *FLines[size_t(n)];
    TVeHAMLine& b = *FLines[size_t(n) + 1];
    const int count = a.SlotCount();
    for (int i = FFirst; i < count; ++i) {
      TVeHAMColor* c = a.GetColor(i);
      if (c->Successor) {
        c->TentativeSuccessor = c->Successor;
        c->Successor->TentativePredecessor = c;
      }
    }
    while (LinkClosest<&TVeHAMColor::TentativeSuccessor, &TVeHAMColor::TentativePredecessor>(
        a, count, b, count, FFirst)) {
    }
    double cost = 0;
    for (int i = FFirst; i < count; ++i)
      if (TVeHAMColor* c = a.GetColor(i); c->TentativeSuccessor)
        cost += Dist(c->Lin, c->TentativeSuccessor->Lin);
    a.ChangeCost = cost;
  }
  for (int t = 0; t < lines - FLineLimit; ++t) {
    TVeHAMLine* pick = nullptr;
    for (int n = lines - 2; n >= 0; --n) {
      TVeHAMLine* l = FLines[size_t(n)].get();
      if (!l->Locked && (!pick || l->ChangeCost < pick->ChangeCost)) pick = l;
    }
    if (!pick) break;
    pick->Locked = true;
    for (int i = FFirst; i < pick->SlotCount(); ++i) {
      TVeHAMColor* c = pick->GetColor(i);
      if (!c->Successor && c->TentativeSuccessor) {
        c->Successor = c->TentativeSuccessor;
        c->Successor->Predecessor = c;
      }
    }
  }
}

void TVeHAMPalette::ReorderSlots() {
  for (int n = LineCount() - 2; n >= 0; --n) {
    TVeHAMLine& a = *FLines[size_t(n)];
    const int count = a.SlotCount();
    std::vector<TVeHAMColor*> order(size_t(count), nullptr);
    std::vector<TVeHAMColor*> rest;
    for (int i = 0; i < count; ++i) {
      TVeHAMColor* c = a.GetColor(i);
      if (i < FFirst) {
        order[size_t(i)] = c;
      } else if (c->Successor) {
        const int to = c->Successor->Index;
        if (to < FFirst || to >= count || order[size_t(to)]) VeInternalError();
        order[size_t(to)] = c;
      } else {
        rest.push_back(c);
      }
    }
    size_t r = 0;
    for (int i = FFirst; i < count; ++i)
      if (!order[size_t(i)]) order[size_t(i)] = rest.at(r++);
    a.Reorder(std::move(order));
  }
}

void TVeHAMPalette::Accumulate() {
  for (auto& line : FLines) {
    CheckAbort(FAbort);
    for (const TVeHAMPixelColor& p : line->Colors) {
      TVeHAMColor* best = nullptr;
      double bestD = 0;
      for (int i = 0; i < line->SlotCount(); ++i) {
        TVeHAMColor* c = line->GetColor(i);
        const double d = Dist(p.Lin, c->Lin);
        if (!best || d < bestD) {
          bestD = d;
          best = c;
        }
      }
      best->Sum = TVeLinRGBColor::AddScaled(best->Sum, int(p.Count), p.Lin);
      best->Count += p.Count;
    }
  }
}

bool TVeHAMPalette::SnapChains() {
  bool changed = false;
  for (auto& line : FLines) {
    for (int i = FFirst; i < line->SlotCount(); ++i) {
      TVeHAMColor* head = line->GetColor(i);
      if (head->Predecessor) continue;
      TVeLinRGBColor sum;
      double count = 0;
      ForChain(head, [&](TVeHAMColor* c) {
        sum += c->Sum;
        count += c->Count;
      });
      if (!(count > 0)) continue;
      const TVeLinRGBColor mean{sum.R / count, sum.G / count, sum.B / count};
      const int k = FTarget->FindNearestLin(mean);
      const uint32_t quad = FTarget->GetRGBQuad(k);
      const TVeLinRGBColor lin = FTarget->GetLinRGB(k);
      ForChain(head, [&](TVeHAMColor* c) {
        if (c->Quad != quad) changed = true;
        c->SetColor(quad, lin);
      });
    }
  }
  return changed;
}

double TVeHAMPalette::NearestSlotDistance(const TVeHAMLine& line, const TVeLinRGBColor& c) const {
  double best = -1;
  for (int i = 0; i < line.SlotCount(); ++i) {
    const double d = Dist(c, line.GetColor(i)->Lin);
    if (best < 0 || d < best) best = d;
  }
  return best < 0 ? 0 : best;
}

bool TVeHAMPalette::RefillIdleChains() {
  bool changed = false;
  FUnused.Clear();
  for (int y = 0; y < LineCount(); ++y) {
    TVeHAMLine& line = *FLines[size_t(y)];
    for (int i = FFirst; i < line.SlotCount(); ++i) {
      TVeHAMColor* head = line.GetColor(i);
      if (head->Predecessor) continue;
      int length = 0;
      double count = 0;
      ForChain(head, [&](TVeHAMColor* c) {
        ++length;
        count += c->Count;
      });
      if (!(count > 0)) FUnused.Add({y, head, length});
    }
  }
  FUnused.Sort();
  for (int u = 0; u < FUnused.Count(); ++u) {
    CheckAbort(FAbort);
    const TVeHAMUnusedEntry& e = FUnused[u];
    const TVeHAMPixelColor* worst = nullptr;
    double worstV = 0;
    int y = e.Line;
    for (TVeHAMColor* c = e.Head; c; c = c->Successor, ++y) {
      const TVeHAMLine& line = *FLines.at(size_t(y));
      for (const TVeHAMPixelColor& p : line.Colors) {
        const double v = p.Count * NearestSlotDistance(line, p.Lin);
        if (v > worstV) {
          worstV = v;
          worst = &p;
        }
      }
    }
    if (worst) {
      // Snapped at once, and a change only when the chain really takes another colour:
      // otherwise the snapping of the next pass undoes every refill and the loop never ends.
      const int k = FTarget->FindNearestLin(worst->Lin);
      const uint32_t quad = FTarget->GetRGBQuad(k);
      const TVeLinRGBColor lin = FTarget->GetLinRGB(k);
      ForChain(e.Head, [&](TVeHAMColor* c) {
        if (c->Quad != quad) changed = true;
        c->SetColor(quad, lin);
      });
    }
  }
  for (auto& line : FLines) {
    while (line->SlotCount() < FColorsPerLine) {
      const TVeHAMPixelColor* worst = nullptr;
      double worstV = 0;
      for (const TVeHAMPixelColor& p : line->Colors) {
        const double v = p.Count * NearestSlotDistance(*line, p.Lin);
        if (v > worstV) {
          worstV = v;
          worst = &p;
        }
      }
      if (!worst) break;
      const int k = FTarget->FindNearestLin(worst->Lin);
      line->AddSlot(FTarget->GetRGBQuad(k), FTarget->GetLinRGB(k));
      changed = true;
    }
  }
  return changed;
}

// Every slot shows a colour of the machine, and a slot that carries over keeps its colour:
// chains no pixel used may still hold unsnapped or differing colours here.
void TVeHAMPalette::Finish() {
  for (auto& line : FLines)
    for (int i = 0; i < line->SlotCount(); ++i) {
      TVeHAMColor* c = line->GetColor(i);
      if (c->Predecessor) {
        c->SetColor(c->Predecessor->Quad, c->Predecessor->Lin);
      } else {
        const int k = FTarget->FindNearestLin(c->Lin);
        c->SetColor(FTarget->GetRGBQuad(k), FTarget->GetLinRGB(k));
      }
    }
}

const std::vector<TVeHAMChange>& TVeHAMPalette::Changes(int y) {
  if (y <= 0 || y >= LineCount()) VeInternalError();
  const TVeHAMLine& line = *FLines[size_t(y)];
  const TVeStdRGBColor s0 = TVeStdRGBColor::FromRGBQuad(line.GetColor(0)->Quad);
  for (TVeHAMChange& c : FChanges)
    c = {0, s0.R, s0.G, s0.B, 1};
  size_t k = 0;
  for (int i = FFirst; i < line.SlotCount(); ++i) {
    const TVeHAMColor* c = line.GetColor(i);
    if (c->Predecessor) continue;
    if (k >= FChanges.size()) VeInternalError();
    const TVeStdRGBColor s = TVeStdRGBColor::FromRGBQuad(c->Quad);
    FChanges[k++] = {i, s.R, s.G, s.B, 0};
  }
  return FChanges;
}

// ---- Dithering --------------------------------------------------------------------------------

TVeHAMImage::~TVeHAMImage() = default;

std::unique_ptr<TVeBitmap> TVeHAMImage::Convert(const TVeCancelFlag* abort,
                                                const TVeDitherOptions& options,
                                                const TVePalette* target, TVeHAMPalette& ham,
                                                TVeData* screen) {
  if (ham.LineCount() != FHeight) VeInternalError();
  ApplyFixes(options.SaturationFix, options.LightnessFix);
  const bool gray = options.GrayPalette;
  if (gray) MakeGray();
  std::unique_ptr<TVeBitmap> result;
  if (target)
    result = VeCreateResultBitmap(FWidth, target, FHeight, false);
  else
    result = std::make_unique<TVeBitmap24>(FWidth, FHeight);
  FUsed = std::make_unique<TVePalette256>();
  const double strength = options.ErrorDiffusion / 100.0;
  const int method = options.DitherMethod;
  struct TSlot {
    TVeLinRGBColor Lin;
    double Y;
    uint32_t Quad;
    int Out;
    TVeStdRGBColor Std;
  };
  std::vector<TSlot> slots;
  Reversed = false;
  if (screen) screen->Reversed = false;
  for (int y = 0; y < FHeight; ++y) {
    CheckAbort(abort);
    const TVeHAMLine& line = *ham.Line(y);
    slots.clear();
    for (int i = 0; i < line.SlotCount(); ++i) {
      const TVeHAMColor* c = line.GetColor(i);
      int out = int(c->Quad);
      if (target) {
        out = target->FindExact(c->Quad);
        if (out < 0) VeInternalError();
      }
      slots.push_back(
          {c->Lin, c->Lin.Luminance(), c->Quad, out, TVeStdRGBColor::FromRGBQuad(c->Quad)});
    }
    if (y == 0) {
      WriteInitialPalette(target, line);
    } else {
      const std::vector<TVeHAMChange>& changes = ham.Changes(y);
      for (const TVeHAMChange& c : changes)
        WriteChange(target, c.Slot, y, c);
    }
    for (int x = 0; x < FWidth; ++x) {
      CheckAbort(abort);
      TVePixel* p = GetPixels(x, y);
      const TVeLinRGBColor v = p->GetLinRGB();
      const double vy = gray ? p->GetLinGray() : 0;
      int k = 0;
      double best = -1;
      for (size_t i = 0; i < slots.size(); ++i) {
        double d;
        if (gray) {
          const double dy = vy - slots[i].Y;
          d = dy * dy;
        } else {
          d = Dist(v, slots[i].Lin);
        }
        if (best < 0 || d < best) {
          best = d;
          k = int(i);
        }
      }
      const TSlot& s = slots[size_t(k)];
      const int sx = Reversed ? FWidth - 1 - x : x;
      if (screen) screen->SetPixel(sx, y, k);
      if (FUsed) {
        try {
          FUsed->AddUnique(s.Std.R, s.Std.G, s.Std.B);
        } catch (const ETooManyColors&) {
          FUsed.reset();
        }
      }
      result->SetPixel(sx, y, s.Out);
      if (gray)
        DiffuseGray(x, y, (vy - s.Y) * strength, method);
      else
        DiffuseColor(
            x, y,
            {(v.R - s.Lin.R) * strength, (v.G - s.Lin.G) * strength, (v.B - s.Lin.B) * strength},
            method);
    }
    if (options.Serpentine) Reversed = !Reversed;
  }
  Reversed = false;
  return result;
}
