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
  bool draw = true;
  if (!started_) {
    started_ = true;
    start_ = now;
  } else if (now - lastDraw_ < std::chrono::milliseconds(100) && point->nPourcent != 100 && !prefixChanged_) {
    // A call that starts or ends beside others shows at once ("2 calls: ").
    draw = false;
  }
  // The text is kept current even between redraws: show() puts back the latest.
  double seconds = std::chrono::duration<double>(now - start_).count();
  text_ = prefix_ + format(*point, seconds);
  if (!draw || hidden_) return;
  lastDraw_ = now;
  prefixChanged_ = false;
  writeAll(fd_, "\r" + text_ + "\x1b[K");
  drawn_ = true;
}

void ProgressLine::finish() {
  if (drawn_) writeAll(fd_, "\r\x1b[K");
  drawn_ = false;
  started_ = false;
  text_.clear();
}

void ProgressLine::hide() {
  if (drawn_) writeAll(fd_, "\r\x1b[K");
  drawn_ = false;
  hidden_ = true;
}

void ProgressLine::show() {
  hidden_ = false;
  if (!enabled_ || !started_ || text_.empty()) return;
  writeAll(fd_, "\r" + text_ + "\x1b[K");
  drawn_ = true;
}

STProgression ThreadsProgress::combine(const std::vector<STProgression>& running) {
  STProgression sum{sizeof(STProgression), -1, -1, -1, -1};
  if (running.size() == 1) return running[0];
  bool totalsKnown = true;
  for (const auto& p : running) {
    if (p.oOctets >= 0) {
      sum.oOctets = (sum.oOctets < 0 ? 0 : sum.oOctets) + p.oOctets;
      if (p.oOctetsTotal > 0) sum.oOctetsTotal = (sum.oOctetsTotal < 0 ? 0 : sum.oOctetsTotal) + p.oOctetsTotal;
    }
    if (p.oOctets < 0 || p.oOctetsTotal <= 0) totalsKnown = false;
    if (p.oEntrees >= 0) sum.oEntrees = (sum.oEntrees < 0 ? 0 : sum.oEntrees) + p.oEntrees;
  }
  if (!totalsKnown) {
    sum.oOctetsTotal = -1;
  } else if (sum.oOctetsTotal > 0) {
    sum.nPourcent = static_cast<int>(sum.oOctets * 100 / sum.oOctetsTotal);
  }
  return sum;
}

void ThreadsProgress::update(int index, const STProgression* point) {
  std::lock_guard<std::mutex> guard(lock_);
  const auto i = static_cast<std::size_t>(index);
  if (i >= points_.size()) return;
  running_[i] = point != nullptr;
  if (point != nullptr) points_[i] = *point;
  std::vector<STProgression> running;
  for (std::size_t k = 0; k < points_.size(); ++k) {
    if (running_[k]) running.push_back(points_[k]);
  }
  if (running.empty()) {
    line_.finish();
    return;
  }
  line_.setPrefix(running.size() > 1 ? std::to_string(running.size()) + " calls: " : "");
  STProgression sum = combine(running);
  line_.update(&sum);
}

void ThreadsProgress::write(std::FILE* to, const char* data, std::size_t size) {
  std::lock_guard<std::mutex> guard(lock_);
  line_.hide();
  std::fwrite(data, 1, size, to);
  std::fflush(to);
  line_.show();
}

}  // namespace kvrun
