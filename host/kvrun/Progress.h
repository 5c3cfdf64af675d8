// The progress line of long library calls on a terminal: percentage when
// the total is known, bytes or entries done, rate and time left, redrawn in
// place at most ten times a second (and at once when its prefix changes)
// and cleared when the call ends. With several threads, ThreadsProgress
// keeps one line for all of them.
#pragma once

#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "core/Progression.h"

namespace kvrun {

class ProgressLine {
public:
  // Draws on `fd` only when `enabled` (stderr is a terminal, no --quiet).
  ProgressLine(int fd, bool enabled) : fd_(fd), enabled_(enabled) {}
  ~ProgressLine() { finish(); }

  // A progress point; null when the call has ended.
  void update(const STProgression* point);
  void finish();
  // Text put before the line (for instance how many calls it sums); a new
  // one is drawn at the next point, however soon.
  void setPrefix(std::string prefix) {
    if (prefix == prefix_) return;
    prefix_ = std::move(prefix);
    prefixChanged_ = true;
  }
  // Takes the line off the screen while other text is written, and puts it back.
  void hide();
  void show();

  // The line for a point after `seconds` of work (without redrawing codes).
  static std::string format(const STProgression& point, double seconds);

private:
  using Clock = std::chrono::steady_clock;
  int fd_;
  bool enabled_;
  bool started_ = false;
  bool drawn_ = false;
  bool hidden_ = false;
  bool prefixChanged_ = false;
  std::string prefix_, text_;
  Clock::time_point start_, lastDraw_;
};

// One progress line for the long calls of every thread: bytes and entries
// summed over the calls running, the percentage of the bytes of all when
// each running call knows its total (or the call's own when only one runs).
// The output lines of the threads pass through write(), which takes the
// line off the screen while they are written.
class ThreadsProgress {
public:
  ThreadsProgress(int fd, bool enabled, int threads) : line_(fd, enabled), points_(static_cast<std::size_t>(threads)) {}

  // A point of thread `index` (0 based); null when its call has ended.
  void update(int index, const STProgression* point);
  // Writes text to `to` (flushed) with the line out of the way.
  void write(std::FILE* to, const char* data, std::size_t size);

  // The line for the points of several calls (those not running are absent).
  static STProgression combine(const std::vector<STProgression>& running);

private:
  std::mutex lock_;
  ProgressLine line_;
  std::vector<STProgression> points_;
  std::vector<char> running_ = std::vector<char>(points_.size(), 0);
};

}  // namespace kvrun
