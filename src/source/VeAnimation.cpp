#include "VeAnimation.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <gif_lib.h>
#include <map>

#include "VeErrors.h"
#include "VeGifMemory.h"
#include "VePictureCodecs.h"
#include "VeSaveResult.h"
#include "VeSource.h"

namespace {

[[noreturn]] void TooLong(int64_t frames, int limit) {
  throw EVeError("Animation too long (" + std::to_string(frames) + " frames; the limit is " +
                 std::to_string(limit) + ")");
}

// Refuses frames more frames of w x h when the animation would pass the pixel limit.
void CheckPixels(int64_t frames, int64_t w, int64_t h, int64_t maxPixels) {
  if (frames * w * h > maxPixels)
    throw EVeError("Animation too large (" + std::to_string(frames) + " frames of " +
                   std::to_string(w) + "x" + std::to_string(h) + " pixels; the limit is " +
                   std::to_string(maxPixels) + " pixels in all)");
}

uint32_t Opaque(uint32_t quad) {
  return (quad >> 24) == 0 ? 0xFFFFFFFFu : quad | 0xFF000000u;
}

} // namespace

int VeGifFrameCount(const uint8_t* data, size_t size, int limit) {
  TVeGifInput input{data, size, 0};
  int error = 0;
  TVeGifCloser gif{DGifOpen(&input, VeGifRead, &error)};
  if (!gif.Gif) return 0;
  // Pictures count from their descriptor, so that a file cut inside its second picture is
  // still told as an animation (and refused as one), not taken as a still.
  int count = 0;
  while (count < limit) {
    GifRecordType record;
    if (DGifGetRecordType(gif.Gif, &record) == GIF_ERROR) break;
    if (record == TERMINATE_RECORD_TYPE) break;
    if (record == EXTENSION_RECORD_TYPE) {
      int code = 0;
      GifByteType* ext = nullptr;
      if (DGifGetExtension(gif.Gif, &code, &ext) == GIF_ERROR) break;
      while (ext)
        if (DGifGetExtensionNext(gif.Gif, &ext) == GIF_ERROR) return count;
    } else if (record == IMAGE_DESC_RECORD_TYPE) {
      if (DGifGetImageDesc(gif.Gif) == GIF_ERROR) break;
      ++count;
      int codeSize = 0;
      GifByteType* block = nullptr;
      // The compressed data is skipped block by block, never decoded.
      if (DGifGetCode(gif.Gif, &codeSize, &block) == GIF_ERROR) break;
      while (block)
        if (DGifGetCodeNext(gif.Gif, &block) == GIF_ERROR) return count;
    }
  }
  return count;
}

TVeAnimation VeDecodeGifAnimation(const uint8_t* data, size_t size, int maxFrames,
                                  int64_t maxPixels) {
  TVeGifInput input{data, size, 0};
  int error = 0;
  TVeGifCloser gif{DGifOpen(&input, VeGifRead, &error)};
  if (!gif.Gif) VeGifFailed(error);
  GifFileType* g = gif.Gif;
  TVeAnimation anim;
  // The canvas keeps alpha: 0 where nothing is drawn yet, shown white in the frames.
  std::vector<uint32_t> canvas, saved;
  uint32_t background = 0;
  GraphicsControlBlock gcb{DISPOSAL_UNSPECIFIED, false, 0, NO_TRANSPARENT_COLOR};
  int lastDisposal = DISPOSAL_UNSPECIFIED;
  int64_t lastLeft = 0, lastTop = 0, lastRight = 0, lastBottom = 0;
  std::vector<GifPixelType> line;
  for (;;) {
    GifRecordType record;
    if (DGifGetRecordType(g, &record) == GIF_ERROR) VeGifFailed(g->Error);
    if (record == TERMINATE_RECORD_TYPE) break;
    if (record == EXTENSION_RECORD_TYPE) {
      int code = 0;
      GifByteType* ext = nullptr;
      if (DGifGetExtension(g, &code, &ext) == GIF_ERROR) VeGifFailed(g->Error);
      if (code == GRAPHICS_EXT_FUNC_CODE && ext && ext[0] >= 4)
        DGifExtensionToGCB(ext[0], ext + 1, &gcb);
      while (ext)
        if (DGifGetExtensionNext(g, &ext) == GIF_ERROR) VeGifFailed(g->Error);
      continue;
    }
    if (record != IMAGE_DESC_RECORD_TYPE) continue;
    if (DGifGetImageDesc(g) == GIF_ERROR) VeGifFailed(g->Error);
    const GifImageDesc& desc = g->Image;
    const int64_t left = desc.Left, top = desc.Top, fw = desc.Width, fh = desc.Height;
    VeCheckPictureSize(fw, fh);
    const ColorMapObject* map = desc.ColorMap ? desc.ColorMap : g->SColorMap;
    const int transparent = gcb.TransparentColor;
    if (anim.Frames.empty()) {
      // As a still GIF: a first frame reaching past the screen widens it, and around it lies
      // the transparent colour, or else the background.
      const int64_t width = std::max<int64_t>(g->SWidth, left + fw);
      const int64_t height = std::max<int64_t>(g->SHeight, top + fh);
      VeCheckPictureSize(width, height);
      anim.Width = int(width);
      anim.Height = int(height);
      const int bg = g->SBackGroundColor;
      if (transparent < 0 && map && map->Colors && bg < map->ColorCount)
        background = VeRGBQuad(map->Colors[bg].Red, map->Colors[bg].Green, map->Colors[bg].Blue);
      else if (transparent < 0)
        background = VeRGBQuad(0, 0, 0);
    }
    const int64_t w = anim.Width, h = anim.Height;
    if (int64_t(anim.Frames.size()) >= maxFrames)
      TooLong(int64_t(anim.Frames.size()) + 1, maxFrames);
    CheckPixels(int64_t(anim.Frames.size()) + 1, w, h, maxPixels);
    if (anim.Frames.empty()) canvas.assign(size_t(w * h), background);

    // The previous frame leaves the canvas as its disposal says.
    if (lastDisposal == DISPOSE_BACKGROUND) {
      for (int64_t y = lastTop; y < lastBottom; ++y)
        std::fill_n(canvas.begin() + y * w + lastLeft, lastRight - lastLeft, background);
    } else if (lastDisposal == DISPOSE_PREVIOUS && !saved.empty()) {
      canvas = saved;
    }
    if (gcb.DisposalMode == DISPOSE_PREVIOUS) saved = canvas;

    // Drawn pixels land inside the canvas; the rest of a frame reaching out is read and lost.
    const int64_t x0 = std::min(left, w), x1 = std::min(left + fw, w);
    const int64_t y0 = std::min(top, h), y1 = std::min(top + fh, h);
    line.resize(size_t(fw));
    auto readRow = [&](int64_t y) {
      if (DGifGetLine(g, line.data(), int(fw)) == GIF_ERROR) VeGifFailed(g->Error);
      if (top + y >= h) return;
      uint32_t* row = canvas.data() + (top + y) * w;
      for (int64_t x = x0; x < x1; ++x) {
        const int index = line[size_t(x - left)];
        if (index == transparent) continue;
        if (map && map->Colors && index < map->ColorCount)
          row[x] =
              VeRGBQuad(map->Colors[index].Red, map->Colors[index].Green, map->Colors[index].Blue);
        else
          row[x] = VeRGBQuad(0, 0, 0);
      }
    };
    VeGifForRows(desc.Interlace, fh, readRow);

    TVeAnimationFrame frame;
    frame.Image.SetSizeUnfilled(int(w), int(h));
    std::transform(canvas.begin(), canvas.end(), frame.Image.Data(), Opaque);
    frame.DelayMs = gcb.DelayTime * 10;
    anim.Frames.push_back(std::move(frame));
    lastDisposal = gcb.DisposalMode;
    lastLeft = x0, lastTop = y0, lastRight = x1, lastBottom = y1;
    gcb = GraphicsControlBlock{DISPOSAL_UNSPECIFIED, false, 0, NO_TRANSPARENT_COLOR};
  }
  if (anim.Frames.empty()) throw EVeError("Invalid GIF file: no picture");
  return anim;
}

namespace {

// The field of a pattern: its position, length and digit count (0 for "%d").
struct TPatternField {
  size_t Pos = std::string::npos;
  size_t Length = 0;
  int Digits = 0;
};

TPatternField FindField(const std::string& name) {
  TPatternField f;
  for (size_t i = 0; i + 1 < name.size(); ++i) {
    if (name[i] != '%') continue;
    size_t j = i + 1;
    bool zero = j < name.size() && name[j] == '0';
    if (zero) ++j;
    int digits = 0;
    while (j < name.size() && name[j] >= '0' && name[j] <= '9' && digits < 100)
      digits = digits * 10 + (name[j++] - '0');
    if (j < name.size() && name[j] == 'd' && (zero || digits == 0) && digits <= 9) {
      f.Pos = i;
      f.Length = j + 1 - i;
      f.Digits = digits;
      return f;
    }
  }
  return f;
}

} // namespace

bool VeIsFramePattern(const std::string& path) {
  return FindField(VeExtractFileName(path)).Pos != std::string::npos;
}

std::vector<std::string> VeExpandFramePattern(const std::string& pattern) {
  const std::string name = VeExtractFileName(pattern);
  const std::string folder = pattern.substr(0, pattern.size() - name.size());
  const TPatternField f = FindField(name);
  if (f.Pos == std::string::npos) return {};
  const std::string prefix = name.substr(0, f.Pos), suffix = name.substr(f.Pos + f.Length);
  std::vector<std::pair<uint64_t, std::string>> found;
  DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
  if (!dir) throw EVeError(pattern + ": " + std::strerror(errno));
  while (dirent* e = ::readdir(dir)) {
    const std::string n = e->d_name;
    if (n.size() <= prefix.size() + suffix.size() || n.compare(0, prefix.size(), prefix) != 0 ||
        n.compare(n.size() - suffix.size(), suffix.size(), suffix) != 0)
      continue;
    const std::string number = n.substr(prefix.size(), n.size() - prefix.size() - suffix.size());
    if (number.size() > 18 ||
        !std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; }))
      continue;
    // As printf writes the number: exactly the field's digits, or more without a leading zero.
    const size_t need = size_t(std::max(f.Digits, 1));
    if (number.size() < need || (number.size() > need && number[0] == '0')) continue;
    found.emplace_back(std::stoull(number), folder + n);
  }
  ::closedir(dir);
  std::sort(found.begin(), found.end());
  std::vector<std::string> files;
  for (auto& p : found)
    files.push_back(std::move(p.second));
  return files;
}

TVeAnimation VeLoadPictureSequence(const std::vector<std::string>& files, int maxFrames,
                                   int64_t maxPixels) {
  if (int64_t(files.size()) > maxFrames) TooLong(int64_t(files.size()), maxFrames);
  TVeAnimation anim;
  for (const std::string& file : files) {
    TVePictureResult picture;
    try {
      const int type = VePictureFileType(file);
      if (type == vptNone) throw EVeError("Unknown image type");
      std::vector<uint8_t> data = VeReadPictureFile(file);
      VeDecodeSourcePicture(type, data.data(), data.size(), picture);
    } catch (const EVeError& e) {
      std::string m = e.what();
      throw EVeError(m.find(file) != std::string::npos ? m : file + ": " + m);
    }
    const TVeBitmap32& image = picture.Image;
    if (anim.Frames.empty()) {
      anim.Width = image.Width();
      anim.Height = image.Height();
    } else if (image.Width() != anim.Width || image.Height() != anim.Height) {
      throw EVeError(file + ": the picture is " + std::to_string(image.Width()) + "x" +
                     std::to_string(image.Height()) + ", the first frame " +
                     std::to_string(anim.Width) + "x" + std::to_string(anim.Height));
    }
    CheckPixels(int64_t(anim.Frames.size()) + 1, anim.Width, anim.Height, maxPixels);
    anim.Frames.push_back({std::move(picture.Image), VeSequenceDelayMs});
  }
  if (anim.Frames.empty()) throw EVeError("No pictures in the sequence");
  return anim;
}

std::vector<uint8_t> VeWriteGifAnimation(const std::vector<const TVeBitmap32*>& frames,
                                         const std::vector<int>& delaysMs) {
  if (frames.empty() || frames.size() != delaysMs.size()) VeInternalError();
  const int width = frames[0]->Width(), height = frames[0]->Height();
  std::vector<uint8_t> out;
  TVeGifOutput output{&out};
  int error = 0;
  GifFileType* gif = EGifOpen(&output, VeGifWrite, &error);
  if (!gif) throw EVeError("Cannot write GIF");
  EGifSetGifVersion(gif, true);
  bool ok = EGifPutScreenDesc(gif, width, height, 8, 0, nullptr) != GIF_ERROR;
  // Loops for ever.
  static const GifByteType loop[3] = {1, 0, 0};
  ok = ok && EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE) != GIF_ERROR &&
       EGifPutExtensionBlock(gif, 11, "NETSCAPE2.0") != GIF_ERROR &&
       EGifPutExtensionBlock(gif, 3, loop) != GIF_ERROR &&
       EGifPutExtensionTrailer(gif) != GIF_ERROR;
  std::string tooMany;
  std::vector<GifPixelType> line(static_cast<size_t>(width));
  for (size_t k = 0; ok && k < frames.size(); ++k) {
    const TVeBitmap32& f = *frames[k];
    if (f.Width() != width || f.Height() != height) VeInternalError();
    std::vector<uint32_t> colors(f.Data(), f.Data() + f.PixelCount());
    for (uint32_t& c : colors)
      c &= 0xFFFFFF;
    std::sort(colors.begin(), colors.end());
    colors.erase(std::unique(colors.begin(), colors.end()), colors.end());
    if (colors.size() > 256) {
      tooMany = "Cannot write GIF: frame " + std::to_string(k) + " has " +
                std::to_string(colors.size()) + " colours, at most 256";
      ok = false;
      break;
    }
    int bits = 1;
    while ((size_t(1) << bits) < colors.size())
      ++bits;
    std::vector<GifColorType> table(size_t(1) << bits, GifColorType{0, 0, 0});
    for (size_t i = 0; i < colors.size(); ++i)
      table[i] = GifColorType{GifByteType(colors[i] >> 16), GifByteType(colors[i] >> 8),
                              GifByteType(colors[i])};
    ColorMapObject* map = GifMakeMapObject(1 << bits, table.data());
    GraphicsControlBlock gcb{DISPOSE_DO_NOT, false, std::clamp((delaysMs[k] + 5) / 10, 0, 65535),
                             NO_TRANSPARENT_COLOR};
    GifByteType ext[4];
    const size_t n = EGifGCBToExtension(&gcb, ext);
    ok = map && EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, int(n), ext) != GIF_ERROR &&
         EGifPutImageDesc(gif, 0, 0, width, height, false, map) != GIF_ERROR;
    for (int y = 0; ok && y < height; ++y) {
      const uint32_t* src = f.Scanline(y);
      for (int x = 0; x < width; ++x)
        line[size_t(x)] = GifPixelType(
            std::lower_bound(colors.begin(), colors.end(), src[x] & 0xFFFFFF) - colors.begin());
      ok = EGifPutLine(gif, line.data(), width) != GIF_ERROR;
    }
    GifFreeMapObject(map);
  }
  if (EGifCloseFile(gif, &error) == GIF_ERROR) ok = false;
  if (!tooMany.empty()) throw EVeError(tooMany);
  if (!ok) throw EVeError("Cannot write GIF");
  return out;
}
