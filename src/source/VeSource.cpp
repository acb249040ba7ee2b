#include "VeSource.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <unordered_map>
#include <utility>

#include "VeAnimation.h"
#include "VeErrors.h"
#include "VeRowFeed.h"

// ---------------------------------------------------------------------------------------
// PictureToBitmap32

namespace {

// Adds colours to a palette as its add-colour operation would (a repeated colour is
// counted), but finds repeats by hashing. At the 730th colour the palette is dropped.
class TCollector {
public:
  explicit TCollector(bool active) {
    if (active) FPalette = std::make_unique<TVePalette256>();
    if (active) FPalette->BeginUpdate();
  }
  bool Active() const { return FPalette != nullptr; }
  void Add(uint32_t rgb) {
    if (!FPalette) return;
    if (rgb == FLast) {
      ++FPalette->GetPColor(FLastIndex)->UseCount;
      return;
    }
    auto it = FIndex.find(rgb);
    int index;
    if (it != FIndex.end()) {
      index = it->second;
      ++FPalette->GetPColor(index)->UseCount;
    } else if (FPalette->Count() >= TVePalette256::MaxColors) {
      FPalette.reset(); // too many colours: this palette is simply absent
      FIndex.clear();
      return;
    } else {
      index = FPalette->AddRGB(uint8_t(rgb >> 16), uint8_t(rgb >> 8), uint8_t(rgb));
      FIndex.emplace(rgb, index);
    }
    FLast = rgb;
    FLastIndex = index;
  }
  std::unique_ptr<TVePalette256> Take() {
    if (FPalette) FPalette->EndUpdate();
    return std::move(FPalette);
  }

private:
  std::unique_ptr<TVePalette256> FPalette;
  std::unordered_map<uint32_t, int> FIndex;
  uint32_t FLast = 0xFFFFFFFF;
  int FLastIndex = 0;
};

// A picture without a palette: both palettes collect its distinct colours in pixel order,
// which ends at the colour too many.
void CollectTrueColors(TVePictureResult& r, unsigned wanted) {
  TCollector colors((wanted & (vpwFilePalette | vpwUsedColors)) != 0);
  const uint32_t* p = r.Image.Data();
  for (size_t i = 0, n = r.Image.PixelCount(); i < n && colors.Active(); ++i)
    colors.Add(p[i] & 0xFFFFFF);
  r.FilePalette = colors.Take();
  if (r.FilePalette && (wanted & vpwUsedColors))
    r.UsedColors = std::make_unique<TVePalette256>(*r.FilePalette);
}

} // namespace

std::unique_ptr<TVePalette256> VeCollectColors(const TVeBitmap32& image) {
  TCollector colors(true);
  const uint32_t* p = image.Data();
  for (size_t i = 0, n = image.PixelCount(); i < n && colors.Active(); ++i)
    colors.Add(p[i] & 0xFFFFFF);
  return colors.Take();
}

void VeDecodeSourcePicture(int type, const uint8_t* data, size_t size, TVePictureResult& r,
                           TVeRowFeed* feed) {
  try {
    if (type == vptJPEG)
      VeDecodeJpegInto(data, size, r.Image, feed);
    else if (type == vptPNG && VeDecodePngTrueColor(data, size, r.Image, feed))
      CollectTrueColors(r, vpwAll); // the reader has every row by now
    else
      r = VeDecodeToBitmap32(type, data, size, vpwAll);
    if (feed) {
      if (!feed->Begun()) feed->Begin(&r.Image);
      feed->End(true);
    }
  } catch (...) {
    if (feed) feed->End(false);
    throw;
  }
}

TVePictureResult VeDecodeToBitmap32(int type, const uint8_t* data, size_t size, unsigned wanted) {
  TVePictureResult r;
  if (type == vptPNG && VeDecodePngTrueColor(data, size, r.Image)) {
    CollectTrueColors(r, wanted);
    if (!(wanted & vpwFilePalette)) r.FilePalette.reset();
    if (!(wanted & vpwPicture)) r.Image = TVeBitmap32();
    return r;
  }
  return PictureToBitmap32(VeDecodePicture(type, data, size), wanted);
}

TVePictureResult PictureToBitmap32(const TVePicture& pic, unsigned wanted) {
  TVePictureResult r;
  const int w = pic.Width, h = pic.Height, bpp = pic.BitsPerPixel;
  r.Image.SetSize(w, h);
  const bool indexed = bpp == 1 || bpp == 4 || bpp == 8;
  if (indexed) {
    if (pic.Palette.empty()) throw EVeError("Invalid palette");
    const size_t n = std::min<size_t>(pic.Palette.size(), 256);
    // What each index looks like: transparency lies on white.
    std::vector<uint32_t> look(256, 0); // beyond the palette: black, alpha 0 until the end
    std::vector<bool> inPalette(256, false);
    for (size_t i = 0; i < n; ++i) {
      const unsigned a = i < pic.PaletteAlpha.size() ? pic.PaletteAlpha[i] : 255;
      look[i] = 0xFF000000u | VeBlendOnWhite(pic.Palette[i], a);
      inPalette[i] = true;
    }
    if (wanted & (vpwFilePalette | vpwUsedColors)) {
      r.FilePalette = std::make_unique<TVePalette256>();
      r.FilePalette->BeginUpdate();
      for (size_t i = 0; i < n; ++i)
        r.FilePalette->AddRGB(uint8_t(pic.Palette[i] >> 16), uint8_t(pic.Palette[i] >> 8),
                              uint8_t(pic.Palette[i]));
      r.FilePalette->EndUpdate();
    }
    TCollector used((wanted & vpwUsedColors) && bpp != 1);
    const int mask = (1 << bpp) - 1;
    for (int y = 0; y < h; ++y) {
      const uint8_t* src = pic.Row(y);
      uint32_t* dst = r.Image.Scanline(y);
      for (int x = 0; x < w; ++x) {
        int index;
        if (bpp == 8)
          index = src[x];
        else if (bpp == 4)
          index = src[x >> 1] >> (x & 1 ? 0 : 4) & mask;
        else
          index = src[x >> 3] >> (7 - (x & 7)) & 1;
        dst[x] = look[size_t(index)];
        if (used.Active() && inPalette[size_t(index)]) used.Add(dst[x] & 0xFFFFFF);
      }
    }
    if (wanted & vpwUsedColors) {
      if (bpp == 1)
        r.UsedColors = std::make_unique<TVePalette256>(*r.FilePalette);
      else
        r.UsedColors = used.Take();
    }
  } else if (bpp == 24 || bpp == 32) {
    const int step = bpp / 8;
    for (int y = 0; y < h; ++y) {
      const uint8_t* src = pic.Row(y);
      uint32_t* dst = r.Image.Scanline(y);
      for (int x = 0; x < w; ++x, src += step)
        dst[x] = 0xFF000000u | uint32_t(src[0]) | uint32_t(src[1]) << 8 | uint32_t(src[2]) << 16;
    }
    CollectTrueColors(r, wanted);
  } else {
    throw EVeError("Unsupported picture format");
  }
  if (!(wanted & vpwFilePalette)) r.FilePalette.reset();
  if (!(wanted & vpwPicture)) r.Image = TVeBitmap32();
  // Every pixel ends opaque.
  for (size_t i = 0; i < r.Image.PixelCount(); ++i)
    r.Image.Data()[i] |= 0xFF000000u;
  return r;
}

// ---------------------------------------------------------------------------------------
// TVeSource

TVeSource::~TVeSource() {
  for (TVeSourceFiles* f : FFileLists)
    f->FSource = nullptr;
}

void TVeSource::Clear() {
  FImage.reset();
  FRegionImage.reset();
  FFilePalette.reset();
  FUsedColors.reset();
  FFrames.reset();
  FAnimation.reset();
  FAnimationFrame = 0;
  FRegion = TVeRect();
  FName.clear();
  FPath.clear();
}

void TVeSource::Take(TVePictureResult&& result, const std::string& name) {
  FImage = std::make_unique<TVeBitmap32>(std::move(result.Image));
  FFilePalette = std::move(result.FilePalette);
  FUsedColors = std::move(result.UsedColors);
  FName = name;
  FPath = std::exchange(FOpeningPath, std::string());
  FRegion = {0, 0, FImage->Width(), FImage->Height()};
  FRegionImage.reset();
  NotifyImage();
  NotifyRegion();
}

int VePictureFileType(const std::string& path) {
  const std::vector<uint8_t> head = VeReadFileHead(path, 12);
  const int type = DetectPictureType(head.data(), head.size());
  return type >= vptBMP && type <= vptGIF ? type : vptNone;
}

std::vector<uint8_t> VeReadPictureFile(const std::string& path) {
  std::error_code ec;
  const auto size = std::filesystem::file_size(path, ec);
  if (!ec && size > uintmax_t(TVeSource::MaxPictureFileSize))
    throw EVeError("File too large: \"" + path + "\"");
  return VeReadFile(path);
}

void TVeSource::OpenFile(const std::string& path) {
  FOpeningPath = path; // taken by the picture once it is in place
  const std::string name = VeExtractFileName(path);
  const int type = VePictureFileType(path);
  if (type != vptNone) {
    std::vector<uint8_t> data;
    try {
      data = VeReadPictureFile(path);
    } catch (...) {
      Clear();
      NotifyImage();
      NotifyRegion();
      throw;
    }
    OpenData(data.data(), data.size(), type, name);
    return;
  }
  TVeFileLoadSource source(path);
  if (source.Size == 0) throw EVeError(source.EmptyReason());
  std::unique_ptr<TVeSourceEngineList> engines = ProbeSource(&source);
  if (engines->Count() == 0) throw EVeError("Unknown image type");
  TImported imported;
  if (OnImport) {
    imported = OnImport(*engines);
  } else {
    TVeImportModel model(*engines);
    imported.Picture = model.ImportImage();
    imported.Frames = model.ImportFrames();
  }
  if (!imported.Picture) return; // cancelled: nothing changes
  Clear();
  TVePictureResult r;
  r.Image = std::move(*imported.Picture);
  for (size_t i = 0; i < r.Image.PixelCount(); ++i)
    r.Image.Data()[i] |= 0xFF000000u;
  // Frames of another size than the picture belong to nothing shown.
  if (imported.Frames && imported.Frames->Count() > 0 &&
      imported.Frames->GetBitmap(0)->Width() == r.Image.Width() &&
      imported.Frames->GetBitmap(0)->Height() == r.Image.Height())
    FFrames = std::move(imported.Frames);
  Take(std::move(r), name);
}

void TVeSource::OpenData(const uint8_t* data, size_t size, int type, const std::string& name) {
  Clear();
  try {
    TVePictureResult r;
    VeDecodeSourcePicture(type, data, size, r);
    // The first frame is the still picture; an animation whose later frames cannot be read
    // stays that still.
    if (type == vptGIF && VeGifFrameCount(data, size, 2) > 1) {
      try {
        FAnimation = std::make_unique<TVeAnimation>(VeDecodeGifAnimation(data, size));
      } catch (const EVeError&) {
        FAnimation.reset();
      }
    }
    Take(std::move(r), name);
  } catch (...) {
    Clear();
    NotifyImage();
    NotifyRegion();
    throw;
  }
}

void TVeSource::OpenPicture(const TVePicture& picture, const std::string& name) {
  FOpeningPath.clear();
  Clear();
  try {
    Take(PictureToBitmap32(picture, vpwAll), name);
  } catch (...) {
    Clear();
    NotifyImage();
    NotifyRegion();
    throw;
  }
}

void TVeSource::OpenDroppedFiles(const std::vector<std::string>& paths) {
  if (paths.empty()) return;
  if (OnOpenFile)
    OnOpenFile(paths.front());
  else
    OpenFile(paths.front());
}

void TVeSource::Close() {
  Clear();
  NotifyImage();
  NotifyRegion();
}

int TVeSource::AnimationFrames() const {
  return FAnimation ? int(FAnimation->Frames.size()) : 0;
}

void TVeSource::SetAnimationFrame(int frame) {
  if (!FAnimation || frame < 0 || frame >= AnimationFrames() || frame == FAnimationFrame) return;
  FAnimationFrame = frame;
  // The file's palettes describe its first picture.
  FFilePalette.reset();
  FUsedColors.reset();
  FImage = std::make_unique<TVeBitmap32>(FAnimation->Frames[size_t(frame)].Image);
  FRegionImage.reset();
  if (FRegion != TVeRect{0, 0, FImage->Width(), FImage->Height()})
    FRegionImage = std::make_unique<TVeBitmap32>(VeRegionPicture(*FImage, FRegion));
  NotifyImage();
  NotifyRegion();
}

void TVeSource::SetRegion(const TVeRect& region) {
  if (region == FRegion) return;
  FRegion = region;
  FRegionImage.reset();
  if (FImage && FRegion != TVeRect{0, 0, FImage->Width(), FImage->Height()})
    FRegionImage = std::make_unique<TVeBitmap32>(VeRegionPicture(*FImage, FRegion));
  NotifyRegion();
}

void TVeSource::AddClient(IVeSourceClient* client) {
  if (!client || std::find(FClients.begin(), FClients.end(), client) != FClients.end()) return;
  FClients.push_back(client);
  client->SourceImageChanged(this, FImage.get());
  client->SourceRegionChanged(this, RegionImage(), FFilePalette.get(), FUsedColors.get());
}

void TVeSource::RemoveClient(IVeSourceClient* client) {
  FClients.erase(std::remove(FClients.begin(), FClients.end(), client), FClients.end());
}

void TVeSource::NotifyImage() {
  const auto clients = FClients; // a client may detach itself while being told
  for (IVeSourceClient* c : clients)
    c->SourceImageChanged(this, FImage.get());
}

void TVeSource::NotifyRegion() {
  const auto clients = FClients;
  for (IVeSourceClient* c : clients)
    c->SourceRegionChanged(this, RegionImage(), FFilePalette.get(), FUsedColors.get());
}

// ---------------------------------------------------------------------------------------
// TVeSourceFiles

namespace {

std::string Upper(std::string s) {
  for (char& c : s)
    c = char(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

} // namespace

TVeSourceFiles::~TVeSourceFiles() {
  SetSource(nullptr);
}

void TVeSourceFiles::SetSource(TVeSource* source) {
  if (FSource == source) return;
  if (FSource)
    FSource->FFileLists.erase(
        std::remove(FSource->FFileLists.begin(), FSource->FFileLists.end(), this),
        FSource->FFileLists.end());
  FSource = source;
  if (FSource) FSource->FFileLists.push_back(this);
}

void TVeSourceFiles::Fill(const std::string& folder) {
  FFiles.clear();
  if (FSource) FSource->Close();
  try {
    namespace fs = std::filesystem;
    for (const fs::directory_entry& e : fs::directory_iterator(folder)) {
      if (e.is_directory()) continue;
      const std::string name = e.path().filename().string();
      if (name == "." || name == "..") continue;
      const std::string ext = Upper(e.path().extension().string());
      if (ext == ".JPG" || ext == ".JPEG" || ext == ".BMP" || ext == ".PNG" || ext == ".GIF")
        FFiles.push_back(e.path().string());
    }
  } catch (const std::filesystem::filesystem_error& e) {
    FFiles.clear();
    if (FSource) FSource->Close();
    Notify();
    throw EVeError(std::string("Cannot list folder: ") + e.what());
  }
  std::stable_sort(FFiles.begin(), FFiles.end(),
                   [](const std::string& a, const std::string& b) { return Upper(a) < Upper(b); });
  Notify();
}

void TVeSourceFiles::Clear() {
  FFiles.clear();
  Notify();
}

std::vector<std::string> TVeSourceFiles::Names() const {
  std::vector<std::string> names;
  for (const std::string& f : FFiles)
    names.push_back(VeExtractFileName(f));
  return names;
}

void TVeSourceFiles::Open(int index) {
  if (index < 0 || index >= int(FFiles.size()) || !FSource) return;
  FSource->OpenFile(FFiles[size_t(index)]);
}

void TVeSourceFiles::AddClient(IVeSourceFilesClient* client) {
  if (client && std::find(FClients.begin(), FClients.end(), client) == FClients.end())
    FClients.push_back(client);
}

void TVeSourceFiles::RemoveClient(IVeSourceFilesClient* client) {
  FClients.erase(std::remove(FClients.begin(), FClients.end(), client), FClients.end());
}

void TVeSourceFiles::Notify() {
  const auto clients = FClients;
  for (IVeSourceFilesClient* c : clients)
    c->SourceFilesChanged(this);
}
