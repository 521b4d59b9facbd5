// Chromatograms of a run with the transition report written as it goes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <numeric>
#include <utility>
#include <vector>

#include "processing/filterer.h"
#include "processing/spectrum_index.h"
#include "processing/xic_seeding.h"
#include "records/run_data.h"

namespace {

void dropTrace(chrom& X) {
  std::vector<double>().swap(X.times);
  std::vector<double>().swap(X.intensities);
  std::vector<std::int32_t>().swap(X.scanNumbers);
}

}  // namespace

void filterer::streamXIC(RunData& run, bool cull, const TraceSink& sink) {
  // The parts are channels of their own for the steps below, which must not
  // report them as progress: progress is told here instead.
  const auto progress = std::move(channelProgress);
  channelProgress = nullptr;
  const auto note = [&](const channel& ch, std::size_t done, std::size_t whole) {
    if (!progress) return;
    const double index = static_cast<double>(&ch - run.channels.data());
    progress(index + (whole == 0 ? 0.0 : static_cast<double>(done) / static_cast<double>(whole)),
             run.channels.size());
  };

  for (channel& ch : run.channels) {
    note(ch, 0, 1);
    sink.channelBegins(ch);
    if (!ch.scans.empty()) {
      appendSeededChroms(*this, run, ch);
      std::vector<chrom> seeds = std::move(ch.chroms);
      ch.chroms.clear();
      // The chromatograms that reach the report, as positions in `seeds`.
      // The channel's spectra are prepared once for every part.
      const ChannelSpectra spectra(run, ch);
      std::vector<std::size_t> rows(seeds.size());
      std::iota(rows.begin(), rows.end(), std::size_t{0});
      if (cull) {
        // Figures only, then culling by them.
        ch.chroms = seeds;
        generateAndProcessChannelXIC(run, ch, false, &spectra);
        rows = cullSurvivors(ch.chroms);
        ch.chroms.clear();
      }
      const std::size_t partSize = std::max<std::size_t>(1, streamPartPoints / ch.scans.size());
      channel part;
      part.scans = ch.scans;
      std::vector<chrom> kept;
      kept.reserve(rows.size());
      for (std::size_t begin = 0; begin < rows.size(); begin += partSize) {
        note(ch, begin, rows.size());
        const std::size_t end = std::min(rows.size(), begin + partSize);
        part.chroms.clear();
        for (std::size_t k = begin; k < end; ++k) part.chroms.push_back(std::move(seeds[rows[k]]));
        generateChannelXIC(run, part, false, &spectra);
        processChannelXIC(run, part, nullptr, &spectra);
        sink.rows(ch, part.chroms);
        for (chrom& X : part.chroms) {
          dropTrace(X);
          kept.push_back(std::move(X));
        }
      }
      ch.chroms = std::move(kept);
    }
    sink.channelEnds(ch);
  }
  channelProgress = std::move(progress);
}
