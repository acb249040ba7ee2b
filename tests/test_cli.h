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

  fs::path Dir;
};
