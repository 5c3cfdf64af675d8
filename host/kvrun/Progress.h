// The progress line of long library calls on a terminal: percentage when
// the total is known, bytes or entries done, rate and time left, redrawn in
// place at most ten times a second and cleared when the call ends.
#pragma once

#include <chrono>
#include <string>

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

  // The line for a point after `seconds` of work (without redrawing codes).
  static std::string format(const STProgression& point, double seconds);

private:
  using Clock = std::chrono::steady_clock;
  int fd_;
  bool enabled_;
  bool started_ = false;
  bool drawn_ = false;
  Clock::time_point start_, lastDraw_;
};

}  // namespace kvrun
