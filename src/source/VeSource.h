#pragma once
// The open source picture and the folder list that feeds it.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "VeAnimation.h"
#include "VeBitmap32.h"
#include "VePalette.h"
#include "VePictureCodecs.h"
#include "VeSourceEngines.h"
#include "VeSourcePrepare.h"

class TVeSourceFiles;

// What PictureToBitmap32 is asked to deliver.
enum : unsigned { vpwPicture = 1, vpwFilePalette = 2, vpwUsedColors = 4, vpwAll = 7 };

struct TVePictureResult {
  TVeBitmap32 Image;                          // alpha 255 everywhere
  std::unique_ptr<TVePalette256> FilePalette; // absent without one or above 729 colours
  std::unique_ptr<TVePalette256> UsedColors;
};

// A decoded picture as a 32-bit picture with its own palette and the palette of the colours
// it uses. Indexed pictures without a palette fail with "Invalid palette".
TVePictureResult PictureToBitmap32(const TVePicture& picture, unsigned wanted = vpwAll);
// The distinct colours of a picture in pixel order, as a picture without a palette gets them
// for both its palettes; null when there are too many.
std::unique_ptr<TVePalette256> VeCollectColors(const TVeBitmap32& image);
// The same from a BMP, PNG or GIF file's bytes (DetectPictureType's number), decoding a PNG
// without a palette straight into the 32-bit rows.
TVePictureResult VeDecodeToBitmap32(int type, const uint8_t* data, size_t size,
                                    unsigned wanted = vpwAll);

// A picture file's bytes (DetectPictureType's number of a picture) decoded into r as
// TVeSource takes them, with both palettes. With a feed, r.Image's rows are handed to the
// feed's reader as they are finished, and the feed is ended, well or not.
void VeDecodeSourcePicture(int type, const uint8_t* data, size_t size, TVePictureResult& r,
                           TVeRowFeed* feed = nullptr);

// The picture type of a file by its first bytes (BMP, JPEG, PNG or GIF), vptNone for anything
// else; read failures throw as VeReadFileHead does.
int VePictureFileType(const std::string& path);
// A picture file's bytes, refused with "File too large: "path"" above the source's limit.
std::vector<uint8_t> VeReadPictureFile(const std::string& path);

class TVeSource;

class IVeSourceClient {
public:
  virtual ~IVeSourceClient() = default;
  virtual void SourceImageChanged(TVeSource* source, const TVeBitmap32* image) = 0;
  virtual void SourceRegionChanged(TVeSource* source, const TVeBitmap32* regionImage,
                                   const TVePalette256* filePalette,
                                   const TVePalette256* usedColors) = 0;
};

class TVeSource {
public:
  // A dropped file goes here instead of being opened, when set.
  std::function<void(const std::string& path)> OnOpenFile;
  // The import dialog: gets the sorted engines, returns the picture to take (and the frames
  // of a flickering file) or no picture when the user cancels. Without it the first (highest
  // ranked) engine is imported as it is.
  struct TImported {
    std::unique_ptr<TVeBitmap32> Picture;
    std::unique_ptr<TVeBitmapList> Frames;
  };
  std::function<TImported(TVeSourceEngineList& engines)> OnImport;

  TVeSource() = default;
  TVeSource(const TVeSource&) = delete;
  TVeSource& operator=(const TVeSource&) = delete;
  ~TVeSource();

  const std::string& Name() const { return FName; }
  // The file the picture came from; empty for a pasted or dropped picture.
  const std::string& Path() const { return FPath; }
  const TVeBitmap32* Image() const { return FImage.get(); }
  const TVeRect& Region() const { return FRegion; }
  // The whole picture is its own region: no copy of a large picture is kept for it.
  const TVeBitmap32* RegionImage() const {
    return FRegionImage ? FRegionImage.get() : FImage.get();
  }
  const TVePalette256* FilePalette() const { return FFilePalette.get(); }
  const TVePalette256* UsedColors() const { return FUsedColors.get(); }
  // The frames of an imported flickering file (its two screens), else nullptr.
  const TVeBitmapList* Frames() const { return FFrames.get(); }
  bool Empty() const { return !FImage; }
  // An animated GIF: its frame count (0 for any other picture) and the frame shown as the
  // picture, which a conversion takes. Choosing a frame keeps the region.
  int AnimationFrames() const;
  int AnimationFrame() const { return FAnimationFrame; }
  void SetAnimationFrame(int frame);

  // Pictures by content, anything else through the native loaders. Errors propagate;
  // a failed picture leaves the source empty and the clients told.
  void OpenFile(const std::string& path);
  // Bytes whose picture type (1-4, DetectPictureType) is known.
  void OpenData(const uint8_t* data, size_t size, int type, const std::string& name);
  // Picture files above this size are refused before they are read.
  static constexpr int64_t MaxPictureFileSize = int64_t(512) << 20;
  // A bitmap from the clipboard or a drop, named "Unnamed".
  void OpenPicture(const TVePicture& picture, const std::string& name = "Unnamed");
  // A drop of files: the first one is opened, or handed to OnOpenFile when set.
  void OpenDroppedFiles(const std::vector<std::string>& paths);
  void Close();
  void SetRegion(const TVeRect& region);

  // A new client is told both things at once.
  void AddClient(IVeSourceClient* client);
  void RemoveClient(IVeSourceClient* client);

private:
  void Take(TVePictureResult&& result, const std::string& name);
  void Clear();
  void NotifyImage();
  void NotifyRegion();

  std::string FName;
  std::unique_ptr<TVeBitmap32> FImage;
  TVeRect FRegion;
  std::unique_ptr<TVeBitmap32> FRegionImage;
  std::string FPath, FOpeningPath;
  std::unique_ptr<TVePalette256> FFilePalette;
  std::unique_ptr<TVePalette256> FUsedColors;
  std::unique_ptr<TVeBitmapList> FFrames;
  std::unique_ptr<TVeAnimation> FAnimation;
  int FAnimationFrame = 0;
  std::vector<IVeSourceClient*> FClients;
  std::vector<TVeSourceFiles*> FFileLists; // detached when this source goes
  friend class TVeSourceFiles;
};

class IVeSourceFilesClient {
public:
  virtual ~IVeSourceFilesClient() = default;
  virtual void SourceFilesChanged(TVeSourceFiles* files) = 0;
};

class TVeSourceFiles {
public:
  TVeSourceFiles() = default;
  TVeSourceFiles(const TVeSourceFiles&) = delete;
  TVeSourceFiles& operator=(const TVeSourceFiles&) = delete;
  ~TVeSourceFiles();

  const std::vector<std::string>& Files() const { return FFiles; }
  TVeSource* Source() const { return FSource; }
  void SetSource(TVeSource* source);

  // Every .JPG, .JPEG, .BMP, .PNG and .GIF file of the folder as full paths, sorted without
  // regard to case. Listing errors clear the list, close the source and propagate.
  void Fill(const std::string& folder);
  void Clear();
  // File names without folder, as the list box shows them.
  std::vector<std::string> Names() const;
  // Opens entry index in the source (the list box's selection).
  void Open(int index);

  void AddClient(IVeSourceFilesClient* client);
  void RemoveClient(IVeSourceFilesClient* client);

private:
  void Notify();

  std::vector<std::string> FFiles;
  TVeSource* FSource = nullptr;
  std::vector<IVeSourceFilesClient*> FClients;
  friend class TVeSource;
};
