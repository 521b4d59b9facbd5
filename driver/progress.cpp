#include "driver/progress.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "util/console.h"

namespace {

constexpr int kBarWidth = 30;

}  // namespace

Progress::Progress(bool shown) : shown_(shown), begin_(std::chrono::steady_clock::now()) {}

bool Progress::wanted(bool quiet) { return !quiet && isatty(STDERR_FILENO) == 1; }

void Progress::start(const std::string& phase, const std::string& unit) {
  phase_ = phase;
  unit_ = unit;
  total_ = 0;
  lastPercent_ = -1;
  drawn_ = false;
}

void Progress::update(double done, std::size_t total) {
  total_ = total;
  const int percent = total == 0 ? 100 : static_cast<int>(100 * done / static_cast<double>(total));
  if (percent == lastPercent_) return;  // redraw only when the figure moves
  lastPercent_ = percent;
  draw(done);
}

// "\rphase [#######.......] 45% of 3 channels", clearing the rest of the line.
void Progress::draw(double done) {
  if (!shown_) return;
  drawn_ = true;
  const double share = total_ == 0 ? 1.0 : std::min(1.0, done / static_cast<double>(total_));
  const int filled = static_cast<int>(kBarWidth * share);
  std::string line = "\r" + phase_ + " [" + std::string(static_cast<std::size_t>(filled), '#') +
                     std::string(static_cast<std::size_t>(kBarWidth - filled), '.') + "] " +
                     std::to_string(static_cast<int>(100 * share)) + "% of " + std::to_string(total_) + " " +
                     unit_ + "\033[K";
  console::err(line);
}

void Progress::finish(const std::string& note) {
  if (!shown_) return;
  draw(static_cast<double>(total_));
  console::err(note.empty() ? "\n" : ": " + note + "\n");
}

void Progress::close(const Figures& figures) {
  if (!shown_) return;
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin_).count();
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  char text[256];
  std::snprintf(
      text, sizeof text,
      "torva: %zu spectra, %zu channels, %zu chromatograms, %zu features in %.1f s, peak memory %.0f MB\n",
      figures.spectra, figures.channels, figures.chromatograms, figures.features, seconds,
      static_cast<double>(usage.ru_maxrss) / 1024.0);
  console::err(text);
}
