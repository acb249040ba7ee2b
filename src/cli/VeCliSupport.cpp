#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <unistd.h>

#include "VeCli.h"

bool VeSameText(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

std::string VeTrim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && std::isspace(static_cast<unsigned char>(s[b])))
    ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1])))
    --e;
  return s.substr(b, e - b);
}

int64_t VeParseInteger(const std::string& text, const std::string& what) {
  std::string t = VeTrim(text);
  size_t i = 0;
  bool neg = false;
  if (i < t.size() && (t[i] == '-' || t[i] == '+')) neg = t[i++] == '-';
  if (i >= t.size()) throw EVeUsage("invalid number \"" + text + "\" for " + what);
  int64_t v = 0;
  for (; i < t.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(t[i])))
      throw EVeUsage("invalid number \"" + text + "\" for " + what);
    v = v * 10 + (t[i] - '0');
    if (v > (int64_t(1) << 40)) throw EVeUsage("number \"" + text + "\" too large for " + what);
  }
  return neg ? -v : v;
}

bool VeParseBool(const std::string& text, const std::string& what) {
  std::string t = VeTrim(text);
  if (VeSameText(t, "true") || VeSameText(t, "yes") || VeSameText(t, "on") || t == "1") return true;
  if (VeSameText(t, "false") || VeSameText(t, "no") || VeSameText(t, "off") || t == "0")
    return false;
  throw EVeUsage("invalid value \"" + text + "\" for " + what + " (expected true or false)");
}

int32_t VeParseColor(const std::string& text, const std::string& what) {
  std::string t = VeTrim(text);
  std::string hex;
  if (!t.empty() && t[0] == '#')
    hex = t.substr(1);
  else if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X'))
    hex = t.substr(2);
  else {
    int64_t v = VeParseInteger(t, what);
    if (v < 0 || v > 0xFFFFFF) throw EVeUsage("colour \"" + text + "\" out of range for " + what);
    return int32_t(v);
  }
  if (hex.size() != 6)
    throw EVeUsage("invalid colour \"" + text + "\" for " + what + " (expected #RRGGBB)");
  int32_t v = 0;
  for (char c : hex) {
    if (!std::isxdigit(static_cast<unsigned char>(c)))
      throw EVeUsage("invalid colour \"" + text + "\" for " + what + " (expected #RRGGBB)");
    v = v * 16 + (std::isdigit(static_cast<unsigned char>(c))
                      ? c - '0'
                      : std::tolower(static_cast<unsigned char>(c)) - 'a' + 10);
  }
  return v;
}

TVeCliRegion VeParseRegion(const std::string& text) {
  std::vector<int64_t> v;
  size_t start = 0;
  while (true) {
    size_t comma = text.find(',', start);
    std::string part = text.substr(start, comma == std::string::npos ? comma : comma - start);
    v.push_back(VeParseInteger(part, "--region"));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  if (v.size() != 4) throw EVeUsage("--region needs four numbers: LEFT,TOP,RIGHT,BOTTOM");
  TVeCliRegion r{v[0], v[1], v[2], v[3]};
  if (r.Left < 0 || r.Top < 0 || r.Right <= r.Left || r.Bottom <= r.Top)
    throw EVeUsage("--region " + text + " is empty or negative");
  return r;
}

std::pair<int, int> VeParseShard(const std::string& text) {
  // Digits only: "+1/4", " 1/4" or "1/4x" are more likely typing slips than meant.
  auto number = [&](size_t from, size_t to, int& out) {
    if (to <= from || to - from > 6) return false;
    out = 0;
    for (size_t i = from; i < to; ++i) {
      if (text[i] < '0' || text[i] > '9') return false;
      out = out * 10 + (text[i] - '0');
    }
    return true;
  };
  size_t slash = text.find('/');
  int part = 0, parts = 0;
  if (slash == std::string::npos || !number(0, slash, part) ||
      !number(slash + 1, text.size(), parts))
    throw EVeUsage("--shard " + text + ": expected PART/PARTS, such as 1/4 (parts 1 to 999999)");
  if (parts == 0) throw EVeUsage("--shard " + text + ": the number of parts must be at least 1");
  if (part < 1 || part > parts)
    throw EVeUsage("--shard " + text + ": parts are numbered from 1 to " + std::to_string(parts));
  return {part, parts};
}

namespace {

// Lower-case, drop "&" accelerators and fold the typographic dash and the Cyrillic "С" that
// some captions use into their plain forms, so labels can be typed on any keyboard.
std::string FoldLabel(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (c == '&') continue;
    if (c == 0xE2 && i + 2 < s.size() && static_cast<unsigned char>(s[i + 1]) == 0x80 &&
        (static_cast<unsigned char>(s[i + 2]) == 0x93 ||
         static_cast<unsigned char>(s[i + 2]) == 0x94)) {
      out += '-';
      i += 2;
      continue;
    }
    if ((c == 0xD0 && i + 1 < s.size()) &&
        (static_cast<unsigned char>(s[i + 1]) == 0xA1 ||
         static_cast<unsigned char>(s[i + 1]) == 0xE1)) { // "С" / "с"
      out += 'c';
      ++i;
      continue;
    }
    out += char(std::tolower(c));
  }
  return out;
}

} // namespace

int VeMatchLabel(const std::string& text, const std::vector<std::string>& labels) {
  std::string t = VeTrim(text);
  for (size_t i = 0; i < labels.size(); ++i)
    if (labels[i] == t) return int(i);
  std::string f = FoldLabel(t);
  for (size_t i = 0; i < labels.size(); ++i)
    if (FoldLabel(labels[i]) == f) return int(i);
  bool digits = !t.empty();
  for (char c : t)
    digits = digits && std::isdigit(static_cast<unsigned char>(c));
  if (digits && t.size() < 6) {
    int v = std::stoi(t);
    if (v < int(labels.size())) return v;
  }
  return -1;
}

TVeCliProgressBar::TVeCliProgressBar(std::string caption, TPoll poll)
    : FCaption(std::move(caption)), FPoll(std::move(poll)) {
  FActive = isatty(STDERR_FILENO) != 0;
  if (FActive) FThread = std::thread([this] { Run(); });
}

TVeCliProgressBar::~TVeCliProgressBar() {
  Finish();
}

void TVeCliProgressBar::Finish() {
  if (!FActive) return;
  FStop = true;
  if (FThread.joinable()) FThread.join();
  std::fprintf(stderr, "\r\033[K");
  std::fflush(stderr);
  FActive = false;
}

void TVeCliProgressBar::Print(FILE* out, const std::string& line) {
  std::lock_guard<std::mutex> lock(FLock);
  if (FActive) {
    std::fprintf(stderr, "\r\033[K");
    std::fflush(stderr);
  }
  std::fprintf(out, "%s\n", line.c_str());
  std::fflush(out);
}

void TVeCliProgressBar::Run() {
  const int width = 30;
  // Short runs finish before the bar would be worth drawing.
  for (int i = 0; i < 5 && !FStop; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(40));
  int tick = 0;
  while (!FStop) {
    auto [done, total] = FPoll();
    std::unique_lock<std::mutex> lock(FLock);
    std::string bar(size_t(width), '.');
    if (total > 0) {
      int filled = int(std::min<uint64_t>(done, total) * width / total);
      bar.replace(0, size_t(filled), size_t(filled), '#');
      std::fprintf(stderr, "\r%s [%s] %3d%%", FCaption.c_str(), bar.c_str(),
                   int(std::min<uint64_t>(done, total) * 100 / total));
    } else {
      // No total announced: a marker that moves back and forth shows the work goes on.
      int at = tick % (2 * (width - 3));
      if (at >= width - 3) at = 2 * (width - 3) - at;
      bar.replace(size_t(at), 3, "<=>");
      std::fprintf(stderr, "\r%s [%s]", FCaption.c_str(), bar.c_str());
    }
    ++tick;
    std::fflush(stderr);
    lock.unlock();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
}
