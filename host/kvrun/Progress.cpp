// Drawing the progress line.
#include "Progress.h"

#include <unistd.h>

#include <cmath>
#include <cstdio>

namespace kvrun {

namespace {

std::string bytesText(double n) {
  static const char* const kUnits[] = {"B", "KiB", "MiB", "GiB", "TiB"};
  int u = 0;
  while (n >= 1024 && u < 4) {
    n /= 1024;
    ++u;
  }
  char buf[32];
  std::snprintf(buf, sizeof buf, u == 0 ? "%.0f %s" : "%.1f %s", n, kUnits[u]);
  return buf;
}

std::string durationText(double seconds) {
  auto s = static_cast<long long>(std::llround(seconds));
  char buf[32];
  if (s >= 3600)
    std::snprintf(buf, sizeof buf, "%lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
  else
    std::snprintf(buf, sizeof buf, "%lld:%02lld", s / 60, s % 60);
  return buf;
}

void writeAll(int fd, const std::string& s) {
  std::size_t done = 0;
  while (done < s.size()) {
    ssize_t n = write(fd, s.data() + done, s.size() - done);
    if (n <= 0) return;
    done += static_cast<std::size_t>(n);
  }
}

}  // namespace

std::string ProgressLine::format(const STProgression& p, double seconds) {
  std::string line;
  if (p.nPourcent >= 0) line += std::to_string(p.nPourcent) + "%";
  if (p.oEntrees >= 0) line += (line.empty() ? "" : "  ") + std::to_string(p.oEntrees) + " entries";
  if (p.oOctets >= 0) {
    line += (line.empty() ? "" : "  ") + bytesText(static_cast<double>(p.oOctets));
    if (p.oOctetsTotal > 0) line += " of " + bytesText(static_cast<double>(p.oOctetsTotal));
  }
  if (seconds >= 0.05) {
    double units = p.oOctets >= 0 ? static_cast<double>(p.oOctets) : static_cast<double>(p.oEntrees);
    double rate = units / seconds;
    if (p.oOctets >= 0) {
      line += "  " + bytesText(rate) + "/s";
    } else if (p.oEntrees >= 0) {
      char buf[32];
      std::snprintf(buf, sizeof buf, "  %.0f entries/s", rate);
      line += buf;
    }
    if (p.oOctetsTotal > 0 && p.oOctets >= 0 && rate > 0)
      line += "  " + durationText(static_cast<double>(p.oOctetsTotal - p.oOctets) / rate) + " left";
  }
  return line;
}

void ProgressLine::update(const STProgression* point) {
  if (point == nullptr) {
    finish();
    return;
  }
  if (!enabled_) return;
  Clock::time_point now = Clock::now();
  if (!started_) {
    started_ = true;
    start_ = now;
  } else if (now - lastDraw_ < std::chrono::milliseconds(100) && point->nPourcent != 100) {
    return;
  }
  lastDraw_ = now;
  double seconds = std::chrono::duration<double>(now - start_).count();
  writeAll(fd_, "\r" + format(*point, seconds) + "\x1b[K");
  drawn_ = true;
}

void ProgressLine::finish() {
  if (drawn_) writeAll(fd_, "\r\x1b[K");
  drawn_ = false;
  started_ = false;
}

}  // namespace kvrun
