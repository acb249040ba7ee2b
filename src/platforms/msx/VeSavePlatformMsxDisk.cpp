#include "VeSavePlatformMsxDisk.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <iterator>

#include "VeDiskWriters.h"
#include "VeErrors.h"
#include "VePlatformMsx.h"
#include "VeStream.h"

namespace {

// The 2DD layout: boot sector, FATs at 1 and 4, root directory at 7, data from sector 14.
constexpr int SectorBytes = 512, TotalSectors = 1440, ClusterSectors = 2, FatSectors = 3;
constexpr int RootEntries = 112, FirstFat = 1, RootAt = FirstFat + 2 * FatSectors;
constexpr int DataAt = RootAt + RootEntries * 32 / SectorBytes;
constexpr int Clusters = (TotalSectors - DataAt) / ClusterSectors; // numbered from 2
constexpr int ClusterBytes = ClusterSectors * SectorBytes;
constexpr uint8_t Media = 0xF9;
constexpr uint16_t Date2000 = (2000 - 1980) << 9 | 1 << 5 | 1;

// The screen mode of a BSAVE screen's extension, 0 for none.
int ScreenOf(const std::string& ext) {
  static const char* const names[] = {"sc2", "sc3", "sc4", "sc5", "sc6",
                                      "sc7", "sc8", "sca", "scc"};
  static const int screens[] = {2, 3, 4, 5, 6, 7, 8, 10, 12};
  for (size_t i = 0; i < std::size(names); ++i)
    if (ext == names[i]) return screens[i];
  return 0;
}

// Screens 4, 5, 6, 7 and 10 keep their palette registers in the file's video memory.
bool PaletteInVram(int screen) {
  return screen == 4 || screen == 5 || screen == 6 || screen == 7 || screen == 10;
}

// A whole screen as the MSX engines write it; interlaced pairs (a second page beside) are not
// taken, as a BASIC loader cannot show them.
bool BsaveScreen(const TVeStream& s) {
  bool secondPage = false;
  for (int i = 0; i < s.SubCount(); ++i)
    secondPage = secondPage || s.GetSubStream(i)->Extension.rfind("s1", 0) == 0;
  return ScreenOf(s.Extension) != 0 && !secondPage && s.Size() > size_t(MsxBsaveHeaderBytes) &&
         s[0] == 0xFE;
}

void Put16(uint8_t* to, unsigned v) {
  to[0] = uint8_t(v);
  to[1] = uint8_t(v >> 8);
}

void SetFat(uint8_t* fat, int cluster, unsigned value) {
  uint8_t* p = fat + cluster * 3 / 2;
  if (cluster % 2 == 0) {
    p[0] = uint8_t(value);
    p[1] = uint8_t((p[1] & 0xF0) | ((value >> 8) & 0x0F));
  } else {
    p[0] = uint8_t((p[0] & 0x0F) | ((value & 0x0F) << 4));
    p[1] = uint8_t(value >> 4);
  }
}

std::vector<uint8_t> WriteDisk(const std::vector<const TVeStreamList*>& frames,
                               const std::string& name, const std::string&) {
  std::vector<TVeMsxDiskFile> screens;
  std::vector<std::vector<uint8_t>> palettes;
  for (size_t f = 0; f < frames.size(); ++f) {
    const TVeStream* found = nullptr;
    for (int i = 0; frames[f] && !found && i < frames[f]->Count(); ++i)
      if (BsaveScreen(*frames[f]->GetStream(i))) found = frames[f]->GetStream(i);
    if (!found)
      throw EVeError("Screen " + std::to_string(f + 1) +
                     " is no MSX BSAVE screen a disk loader can show (interlaced pages and "
                     "other files are not taken)");
    screens.push_back({VeDiskFileName(name, f, frames.size(), found->Extension), found->Bytes()});
    std::vector<uint8_t> palette;
    for (int i = 0; i < found->SubCount(); ++i)
      if (found->GetSubStream(i)->Extension == "pl3" &&
          found->GetSubStream(i)->Size() >= size_t(MsxPaletteBytes))
        palette.assign(found->GetSubStream(i)->Data(),
                       found->GetSubStream(i)->Data() + MsxPaletteBytes);
    palettes.push_back(std::move(palette));
  }
  if (screens.empty()) throw EVeError("A disk image needs at least one screen");
  std::vector<TVeMsxDiskFile> files = {{"AUTOEXEC.BAS", MsxAutoexec(screens, palettes)}};
  files.insert(files.end(), screens.begin(), screens.end());
  return MsxDiskImage(files);
}

} // namespace

std::vector<uint8_t> MsxAutoexec(const std::vector<TVeMsxDiskFile>& screens,
                                 const std::vector<std::vector<uint8_t>>& palettes) {
  std::string text;
  unsigned number = 10;
  // Statements joined into lines well within the 255 characters BASIC reads a line.
  auto emit = [&](const std::vector<std::string>& statements) {
    std::string line;
    for (const std::string& st : statements) {
      if (!line.empty() && line.size() + st.size() > 200) {
        text += line + "\r\n";
        line.clear();
        number += 10;
      }
      line += line.empty() ? std::to_string(number) + " " + st : ":" + st;
    }
    text += line + "\r\n";
    number += 10;
  };
  bool msx2 = false;
  for (size_t i = 0; i < screens.size(); ++i) {
    const TVeMsxDiskFile& s = screens[i];
    std::string ext = s.Name.substr(s.Name.find('.') + 1);
    for (char& c : ext)
      c = char(std::tolower(static_cast<unsigned char>(c)));
    const int screen = ScreenOf(ext);
    if (!screen) VeInternalError();
    std::vector<std::string> st = {"SCREEN " + std::to_string(screen), "BLOAD\"" + s.Name + "\",S"};
    if (PaletteInVram(screen)) {
      st.push_back("COLOR=RESTORE");
      msx2 = true;
    }
    if (i < palettes.size() && palettes[i].size() >= size_t(MsxPaletteBytes)) {
      // Registers: red * 16 + blue, then green.
      for (int c = 0; c < 16; ++c) {
        const uint8_t rb = palettes[i][size_t(2 * c)], g = palettes[i][size_t(2 * c + 1)];
        st.push_back("COLOR=(" + std::to_string(c) + "," + std::to_string(rb >> 4 & 7) + "," +
                     std::to_string(g & 7) + "," + std::to_string(rb & 7) + ")");
      }
      msx2 = true;
    }
    st.push_back("A$=INPUT$(1)");
    emit(st);
  }
  // The start-up colours again on the way out (MSX2 only: an MSX1 knows no palette).
  text += std::to_string(number) + (msx2 ? " COLOR=NEW:SCREEN 0:END\r\n" : " SCREEN 0:END\r\n");
  text += '\x1A';
  return std::vector<uint8_t>(text.begin(), text.end());
}

std::vector<uint8_t> MsxDiskImage(const std::vector<TVeMsxDiskFile>& files) {
  if (int(files.size()) > RootEntries)
    throw EVeError("An MSX disk holds at most " + std::to_string(RootEntries) + " files");
  std::vector<uint8_t> disk(size_t(TotalSectors) * SectorBytes, 0);
  uint8_t* boot = disk.data();
  // No code of its own: the jump is never taken, and the routine MSX-DOS calls at C01E returns
  // at once, so Disk BASIC starts and runs AUTOEXEC.BAS.
  const uint8_t jump[3] = {0xEB, 0xFE, 0x90};
  std::memcpy(boot, jump, 3);
  std::memcpy(boot + 3, "VELMORA ", 8);
  Put16(boot + 11, SectorBytes);
  boot[13] = ClusterSectors;
  Put16(boot + 14, FirstFat); // reserved sectors
  boot[16] = 2;               // FATs
  Put16(boot + 17, RootEntries);
  Put16(boot + 19, TotalSectors);
  boot[21] = Media;
  Put16(boot + 22, FatSectors);
  Put16(boot + 24, 9); // sectors per track
  Put16(boot + 26, 2); // sides
  Put16(boot + 28, 0); // hidden sectors
  boot[30] = 0xC9;     // ret
  boot[510] = 0x55;
  boot[511] = 0xAA;

  std::vector<uint8_t> fat(size_t(FatSectors) * SectorBytes, 0);
  fat[0] = Media;
  fat[1] = 0xFF;
  fat[2] = 0xFF;
  uint8_t* root = disk.data() + size_t(RootAt) * SectorBytes;
  int cluster = 2;
  for (size_t i = 0; i < files.size(); ++i) {
    const TVeMsxDiskFile& f = files[i];
    const size_t dot = f.Name.find('.');
    const std::string base = f.Name.substr(0, dot);
    const std::string ext = dot == std::string::npos ? "" : f.Name.substr(dot + 1);
    if (base.empty() || base.size() > 8 || ext.size() > 3) VeInternalError();
    const int count = int((f.Bytes.size() + ClusterBytes - 1) / ClusterBytes);
    if (cluster + count > Clusters + 2)
      throw EVeError("The files do not fit on a 720 KB MSX disk: " + f.Name + " is one too many");
    uint8_t* e = root + i * 32;
    std::memset(e, ' ', 11);
    std::memcpy(e, base.data(), base.size());
    std::memcpy(e + 8, ext.data(), ext.size());
    e[11] = 0x20; // archive
    Put16(e + 24, Date2000);
    Put16(e + 26, count ? unsigned(cluster) : 0);
    const uint32_t size = uint32_t(f.Bytes.size());
    Put16(e + 28, size & 0xFFFF);
    Put16(e + 30, size >> 16);
    if (!f.Bytes.empty())
      std::memcpy(disk.data() + size_t(DataAt + (cluster - 2) * ClusterSectors) * SectorBytes,
                  f.Bytes.data(), f.Bytes.size());
    for (int c = 0; c < count; ++c)
      SetFat(fat.data(), cluster + c, c + 1 < count ? unsigned(cluster + c + 1) : 0xFFF);
    cluster += count;
  }
  for (int copy = 0; copy < 2; ++copy)
    std::memcpy(disk.data() + size_t(FirstFat + copy * FatSectors) * SectorBytes, fat.data(),
                fat.size());
  return disk;
}

void RegisterMsxDiskWriter() {
  for (const char* ext : {"sc2", "sc3", "sc4", "sc5", "sc6", "sc7", "sc8", "sca", "scc"}) {
    TVeDiskWriter w;
    w.Name = std::string("MSX 2DD disk ") + ext;
    w.Extension = ext;
    w.Accepts = BsaveScreen;
    w.Write = WriteDisk;
    VeRegisterDiskWriter(std::move(w));
  }
}
