#ifndef TORVA_DRIVER_PROGRESS_H
#define TORVA_DRIVER_PROGRESS_H

#include <chrono>
#include <cstddef>
#include <string>

// A progress display on standard error: one line per phase, redrawn in place
// with a bar and counts, and a closing line with the run's figures. When not
// shown (standard error is not a terminal, or --quiet) it prints nothing.
class Progress {
 public:
  explicit Progress(bool shown);

  // Whether progress should be shown: standard error is a terminal and the
  // user did not ask for quiet.
  static bool wanted(bool quiet);

  // Starts a phase ("import", "chromatograms", ...); `unit` names what is counted.
  void start(const std::string& phase, const std::string& unit);
  // Redraws the phase's line with `done` (possibly in part) of `total`.
  void update(double done, std::size_t total);
  // Completes the phase's line with a note of what it produced.
  void finish(const std::string& note);

  struct Figures {
    std::size_t spectra = 0;
    std::size_t channels = 0;
    std::size_t chromatograms = 0;
    std::size_t features = 0;  // chromatograms with a peak
  };
  // The closing line: the figures, wall time since construction, peak memory.
  void close(const Figures& figures);

 private:
  void draw(double done);

  bool shown_;
  std::string phase_;
  std::string unit_;
  std::size_t total_ = 0;
  bool drawn_ = false;
  int lastPercent_ = -1;
  std::chrono::steady_clock::time_point begin_;
};

#endif
