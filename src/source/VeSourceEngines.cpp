#include "VeSourceEngines.h"

#include <algorithm>

#include "VeDestEngineOptions.h"
#include "VeErrors.h"
#include "VePictureCodecs.h"
#include "VeSourcePrepare.h"

int VeMatchPriority(TVeSourceMatch m) {
  return (m & smVerified ? 8 : 0) + (m & smExtension ? 4 : 0) + (m & smNameHint ? 2 : 0) +
         (m & smExactSize ? 1 : 0);
}

// ---------------------------------------------------------------------------------------

TVeSourceEngine::TVeSourceEngine(TVeLoadSource* source, const char* className)
    : Source(source), FileName(source ? source->Name : std::string()), Description(className),
      Palette(std::make_unique<TVePalette256>()) {}

TVeSourceMatch TVeSourceEngine::Check(TVeLoadSource*) {
  return 0;
}

std::unique_ptr<TVeBitmap> TVeSourceEngine::CreateBitmap() {
  return nullptr;
}

void TVeSourceEngine::GetVariantPalette(int, TVePalette256&) {}

std::string TVeSourceEngine::SizeText() const {
  return " " + std::to_string(Width) + "x" + std::to_string(Height) + "x" +
         std::to_string(BitsPerPixel);
}

void TVeSourceEngine::MakeBlackWhitePalette(bool whiteFirst) {
  Palette->BeginUpdate();
  Palette->Clear();
  Palette->AddRGB(whiteFirst ? 255 : 0, whiteFirst ? 255 : 0, whiteFirst ? 255 : 0);
  Palette->AddRGB(whiteFirst ? 0 : 255, whiteFirst ? 0 : 255, whiteFirst ? 0 : 255);
  Palette->EndUpdate();
  PaletteColumns = 2;
}

void TVeSourceEngine::MakeZxPalette(uint8_t normal) {
  Palette->BeginUpdate();
  Palette->Clear();
  for (int i = 0; i < 16; ++i) {
    const uint8_t l = i < 8 ? normal : 255;
    Palette->AddRGB(i & 2 ? l : 0, i & 4 ? l : 0, i & 1 ? l : 0);
  }
  Palette->EndUpdate();
}

void TVeSourceEngine::ZxAttribute(uint8_t attribute, int& ink, int& paper) {
  ink = attribute & 7;
  paper = attribute >> 3 & 7;
  if (attribute & 0x40) ink += 8, paper += 8;
}

void TVeSourceEngine::Unpack1Bit(TVeBitmap& bmp, int x, int y, uint8_t bits, int ink, int paper,
                                 int pixelsPerByte) {
  for (int i = 0; i < pixelsPerByte; ++i)
    bmp.SetPixel(x + i, y, bits & (0x80 >> i) ? ink : paper);
}

void TVeSourceEngine::UnpackTwoPlanes(TVeBitmap& bmp, int x, int y, uint8_t first, uint8_t second,
                                      bool msbFirst, TVeBitmap* firstPlane,
                                      TVeBitmap* secondPlane) {
  for (int i = 0; i < 8; ++i) {
    const int shift = msbFirst ? 7 - i : i;
    const int b0 = first >> shift & 1, b1 = second >> shift & 1;
    bmp.SetPixel(x + i, y, b1 * 2 + b0);
    if (firstPlane) firstPlane->SetPixel(x + i, y, b0);
    if (secondPlane) secondPlane->SetPixel(x + i, y, b1);
  }
}

void TVeSourceEngine::Unpack2Bit(TVeBitmap& bmp, int x, int y, uint8_t bits) {
  for (int i = 0; i < 4; ++i)
    bmp.SetPixel(x + i, y, bits >> (6 - 2 * i) & 3);
}

void TVeSourceEngine::Unpack2BitPairs(TVeBitmap& bmp, int x, int y, uint8_t high, uint8_t low) {
  for (int i = 0; i < 4; ++i)
    bmp.SetPixel(x + i, y, (high >> (6 - 2 * i) & 3) * 4 + (low >> (6 - 2 * i) & 3));
}

void TVeSourceEngine::Unpack4BitPairs(TVeBitmap& bmp, int x, int y, uint8_t high, uint8_t low) {
  bmp.SetPixel(x, y, (high & 0xF0) | low >> 4);
  bmp.SetPixel(x + 1, y, (high & 0x0F) << 4 | (low & 0x0F));
}

void TVeSourceEngine::SavePalette() {
  if (!SavedPalette) SavedPalette = std::make_unique<TVePalette256>();
  SavedPalette->AssignAll(Palette.get());
  Palette->MakeMixTable(SavedPalette.get(), 100, 0);
  PaletteColumns = SavedPalette->Count();
}

void TVeSourceEngine::SetDefaultZxPaletteTypes() {
  PaletteTypes = {ptPulsar, ptColoredLinear, ptVardel};
  PaletteType = ptColoredLinear;
}

// ---------------------------------------------------------------------------------------

TVeSourceEngineList::~TVeSourceEngineList() {
  while (!FEngines.empty())
    FEngines.pop_back();
}

void TVeSourceEngineList::SortByPriority() {
  for (bool moved = true; moved;) {
    moved = false;
    for (size_t i = 1; i < FEngines.size(); ++i)
      if (FEngines[i]->Priority > FEngines[i - 1]->Priority) {
        std::swap(FEngines[i], FEngines[i - 1]);
        moved = true;
      }
  }
}

namespace {

std::vector<TVeSourceEngineClass>& Registry() {
  static std::vector<TVeSourceEngineClass> list;
  return list;
}

TVeAspectLookup& AspectLookup() {
  static TVeAspectLookup lookup;
  return lookup;
}

} // namespace

void RegisterSourceEngine(const TVeSourceEngineClass& engineClass) {
  Registry().push_back(engineClass);
}

const std::vector<TVeSourceEngineClass>& RegisteredSourceEngines() {
  return Registry();
}

std::vector<std::string> VeSourceFileExtensions() {
  std::vector<std::string> all;
  for (const TVeSourceEngineClass& c : RegisteredSourceEngines())
    for (const std::string& e : c.Extensions) {
      // Registered by hand: a missing dot or a capital letter must not split one extension.
      std::string ext = VeLowerExt(e.empty() || e[0] == '.' ? e : "." + e);
      if (!ext.empty() && std::find(all.begin(), all.end(), ext) == all.end()) all.push_back(ext);
    }
  return all;
}

void TruncateSourceEngines(size_t count) {
  if (count < Registry().size()) Registry().resize(count);
}

std::unique_ptr<TVeSourceEngineList> ProbeSource(TVeLoadSource* source) {
  auto list = std::make_unique<TVeSourceEngineList>();
  for (const TVeSourceEngineClass& c : Registry()) {
    try {
      const TVeSourceMatch match = c.Check ? c.Check(source) : 0;
      if (!match) continue;
      std::unique_ptr<TVeSourceEngine> engine = c.Create(source);
      if (!engine) continue;
      engine->MatchSet = match;
      engine->Priority = VeMatchPriority(match);
      list->Add(std::move(engine));
    } catch (const std::exception&) {
      // A failing probe or constructor only removes this loader from the candidates.
    }
  }
  list->SortByPriority();
  return list;
}

void VeSetAspectLookup(TVeAspectLookup lookup) {
  AspectLookup() = std::move(lookup);
}

std::pair<int, int> VeAspectPair(int index) {
  if (AspectLookup()) {
    const auto pair = AspectLookup()(index);
    if (pair.first > 0 && pair.second > 0) return pair;
  }
  if (index < 0 || index >= VeAspectCount) return {1, 1};
  return {VeAspectRatios[index].X, VeAspectRatios[index].Y};
}

// ---------------------------------------------------------------------------------------

TVeImportModel::TVeImportModel(TVeSourceEngineList& engines, int first) : FEngines(engines) {
  if (FEngines.Count() == 0) throw EVeError("Unknown image type");
  SelectEngine(first);
}

std::vector<std::string> TVeImportModel::Descriptions() const {
  std::vector<std::string> d;
  for (int i = 0; i < FEngines.Count(); ++i)
    d.push_back(FEngines.Engines(i)->Description);
  return d;
}

void TVeImportModel::SelectEngine(int index) {
  if (index < 0 || index >= FEngines.Count()) VeInternalError();
  FIndex = index;
  const auto [a, b] = VeAspectPair(Engine()->PixelAspect);
  if (b < a) {
    FPixelWidth = 1;
    FPixelHeight = std::max(VeRound(double(a) / b), 1);
  } else {
    FPixelWidth = std::max(VeRound(double(b) / a), 1);
    FPixelHeight = 1;
  }
  Redecode();
}

void TVeImportModel::SetPixelWidth(int value) {
  FPixelWidth = std::clamp(value, 1, 16);
  Redecode();
}

void TVeImportModel::SetPixelHeight(int value) {
  FPixelHeight = std::clamp(value, 1, 16);
  Redecode();
}

void TVeImportModel::SetPaletteType(TVePaletteType type) {
  if (Engine()->PaletteType == type) return;
  Engine()->PaletteType = type;
  Redecode();
}

void TVeImportModel::SetPaletteVariant(const std::string& variant) {
  if (Engine()->PaletteVariant == variant) return;
  Engine()->PaletteVariant = variant;
  Redecode();
}

void TVeImportModel::SetCalculation(uint8_t calculation) {
  if (Engine()->Calculation == calculation) return;
  Engine()->Calculation = calculation;
  Redecode();
}

void TVeImportModel::Redecode() {
  FBitmap.reset();
  FPreview = TVeBitmap32();
  FBitmap = Engine()->CreateBitmap();
  if (!FBitmap) return;
  if (int64_t(FBitmap->Width()) * FPixelWidth * FBitmap->Height() * FPixelHeight >
      VeMaxPicturePixels)
    throw EVeError("Picture too large");
}

const TVeBitmap32& TVeImportModel::Preview() const {
  if (FPreview.Empty() && FBitmap)
    FPreview = std::move(*FBitmap->ToBitmap32(FPixelWidth, FPixelHeight));
  return FPreview;
}

std::string TVeImportModel::SizeLabel() const {
  const TVeSourceEngine* e = Engine();
  return std::to_string(e->Width * FPixelWidth) + "x" + std::to_string(e->Height * FPixelHeight) +
         "x" + std::to_string(e->BitsPerPixel);
}

int TVeImportModel::PaletteDisplayColumns() const {
  const TVeSourceEngine* e = Engine();
  const int n = e->Palette ? e->Palette->Count() : 0;
  if (n <= 16 && e->PaletteColumns == 16) return std::max(n, 1);
  return std::max(e->PaletteColumns, 1);
}

std::vector<std::string> TVeImportModel::SaveFormats() const {
  std::vector<std::string> f = {"BMP", "PNG"};
  if (FBitmap && FBitmap->BitCount() <= 8) f.push_back("GIF");
  return f;
}

std::vector<uint8_t> TVeImportModel::SaveImage(const std::string& format) const {
  if (!FBitmap || !FBitmap->Handle()) throw EVeError("Nothing to save");
  const TVeDib& dib = *FBitmap->Handle();
  std::vector<uint32_t> palette = dib.ColorTable;
  if (dib.BitCount <= 8 && palette.size() > (size_t(1) << dib.BitCount))
    palette.resize(size_t(1) << dib.BitCount);
  if (dib.BitCount <= 8 && palette.empty()) palette.push_back(0);
  auto row = [&dib](int y) {
    return dib.Bits.data() + size_t(dib.Height - 1 - y) * size_t(dib.Stride);
  };
  if (format == "BMP") return VeWriteBmp(dib.Width, dib.Height, dib.BitCount, palette, row);
  if (format == "PNG")
    return VeWritePng(dib.Width, dib.Height, dib.BitCount, palette, row, "Velmora");
  if (format == "GIF" && dib.BitCount <= 8)
    return VeWriteGif(dib.Width, dib.Height, dib.BitCount, palette, row);
  VeInternalError();
}

std::unique_ptr<TVeBitmap32> TVeImportModel::ImportImage() const {
  if (!FPreview.Empty()) return std::make_unique<TVeBitmap32>(FPreview);
  // Not shown yet: made once, for the caller alone.
  if (!FBitmap) return nullptr;
  return FBitmap->ToBitmap32(FPixelWidth, FPixelHeight);
}

std::unique_ptr<TVeBitmapList> TVeImportModel::ImportFrames() const {
  const TVeBitmapList* frames = FBitmap ? FBitmap->Frames() : nullptr;
  if (!frames || frames->Count() == 0) return nullptr;
  auto list = std::make_unique<TVeBitmapList>();
  for (int i = 0; i < frames->Count(); ++i)
    list->Add(frames->GetBitmap(i)->Scale(FPixelWidth, FPixelHeight));
  return list;
}

std::vector<std::unique_ptr<TVePalette256>> TVeImportModel::ImportPalettes() {
  std::vector<std::unique_ptr<TVePalette256>> list;
  TVeSourceEngine* e = Engine();
  if (!CanImportPalette()) return list;
  if (e->PaletteVariants.size() < 2) {
    auto p = std::make_unique<TVePalette256>(*e->Palette);
    p->Name = e->FileName;
    list.push_back(std::move(p));
    return list;
  }
  for (size_t i = 0; i < e->PaletteVariants.size(); ++i) {
    auto p = std::make_unique<TVePalette256>();
    e->GetVariantPalette(int(i), *p);
    p->Name = e->FileName + " " + e->PaletteVariants[i];
    list.push_back(std::move(p));
  }
  return list;
}
