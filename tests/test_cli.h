#pragma once
// Runs the built velmora-cli in a folder of its own and captures what it prints.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "VeBitmap32.h"
#include "VePictureCodecs.h"

namespace fs = std::filesystem;

struct TRun {
  int Status = -1;
  std::string Out, Err;
};

inline std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s)
    q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

inline std::string ReadAll(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

class CliTest : public ::testing::Test {
protected:
  void SetUp() override {
    if (std::string(VELMORA_CLI_PATH).empty()) GTEST_SKIP() << "velmora-cli is not built";
    Dir = fs::temp_directory_path() /
          ("velmora-cli-" + std::to_string(getpid()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(Dir);
    fs::create_directories(Dir);
  }
  void TearDown() override {
    if (!Dir.empty()) fs::remove_all(Dir);
  }

  TRun Run(const std::vector<std::string>& args) {
    std::string cmd = "cd " + Quote(Dir.string()) + " && " + Quote(VELMORA_CLI_PATH);
    for (auto& a : args)
      cmd += " " + Quote(a);
    fs::path err = Dir / ".stderr";
    cmd += " 2>" + Quote(err.string());
    TRun r;
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return r;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
      r.Out.append(buf, n);
    int st = pclose(p);
    r.Status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    r.Err = ReadAll(err);
    fs::remove(err);
    return r;
  }

  static std::vector<std::string> Lines(const std::string& s) {
    std::vector<std::string> out;
    std::istringstream in(s);
    std::string line;
    while (std::getline(in, line))
      out.push_back(line);
    return out;
  }

  static std::string Sample(const char* name) {
    return (fs::path(VELMORA_SAMPLES_DIR) / name).string();
  }

  static std::vector<uint8_t> Bytes(const fs::path& p) {
    std::string s = ReadAll(p);
    return std::vector<uint8_t>(s.begin(), s.end());
  }

  // The coffee sample as a JPEG, for tests that need one.
  static void WriteSampleJpeg(const fs::path& to) {
    std::vector<uint8_t> png = Bytes(Sample("coffee.png"));
    TVePicture pic = VeDecodePng(png.data(), png.size());
    TVeBitmap32 b32(pic.Width, pic.Height);
    for (int y = 0; y < pic.Height; ++y)
      for (int x = 0; x < pic.Width; ++x) {
        const uint8_t* p = pic.Row(y) + x * pic.BitsPerPixel / 8;
        b32.Pixel(x, y) = VeRGBQuad(p[2], p[1], p[0]);
      }
    std::vector<uint8_t> jpeg = VeWriteJpeg(b32);
    std::ofstream(to, std::ios::binary)
        .write(reinterpret_cast<const char*>(jpeg.data()), std::streamsize(jpeg.size()));
  }

  fs::path Dir;
};
