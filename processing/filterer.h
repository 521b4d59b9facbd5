#ifndef TORVA_PROCESSING_FILTERER_H
#define TORVA_PROCESSING_FILTERER_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "processing/mass_traces.h"
#include "records/chrom.h"
#include "records/records.h"

struct RunData;
class ChannelSpectra;
struct channel;

// The signal processor: the processing parameters of a run and the operations
// that build, denoise, quantify and thin out chromatograms and filter spectra.
// It keeps nothing between calls; every operation works on the store it is handed.
class filterer {
 public:
  filterer();
  virtual ~filterer();

  std::int32_t cutoff = 1000;    // intensity cutoff (the driver sets -C)
  double massTolerance = 0.5;    // half-width of every m/z window, daltons
  double massPpm = 0;            // when positive, windows are this many ppm of their m/z instead
  double timeTolerance = 1.0;    // retention-time tolerance, minutes
  std::int32_t skipDenoise = 0;  // non-zero: peak detection skips wavelet denoising
  // When set, an untargeted run seeds the chromatograms of its MS1 channels
  // from mass traces (one per trace, at its apex) instead of picking every
  // spectrum's intense peaks; other channels are picked as usual.
  bool seedFromTraces = false;
  MassTraceSettings traceSettings;

  // Half-width of the m/z window around `mz` (massTolerance daltons, or massPpm of mz).
  double massWindowAt(double mz) const;

  // When set, told (channels done, channels in all) as chromatogram generation
  // and peak detection go through the channels, a channel's part counted by
  // its chromatograms; for a progress display only.
  std::function<void(double done, std::size_t total)> channelProgress;
  // Notes that `part` of `whole` chromatograms of channel `ch` are done.
  void noteChannel(const std::vector<channel>& channels, const channel& ch, std::size_t part = 0,
                   std::size_t whole = 1) const;

  // Chromatogram generation.
  void pickPeaks(scan* spectrum, std::vector<datapeak>& out);
  void generateXIC(RunData& run);
  // The chromatograms of one channel: seeded first when `seed` is set, else
  // the ones already there (untraced) get their traces. `spectra`, when given,
  // is the channel's prepared spectra (else they are prepared here).
  void generateChannelXIC(RunData& run, channel& ch, bool seed, const ChannelSpectra* spectra = nullptr);

  // Peak detection and quantitation of every chromatogram.
  void processXIC(RunData& run);
  // The same for one channel; progress is noted when `channels` holds it.
  void processChannelXIC(RunData& run, channel& ch, const std::vector<channel>* channels,
                         const ChannelSpectra* spectra = nullptr);

  // generateXIC followed by processXIC, for runs whose later steps read only the
  // peak figures: each chromatogram's trace is built, quantified and dropped at
  // once, so the chromatograms keep empty times, intensities and scanNumbers.
  // Every other field is exactly what the two separate steps give.
  void generateAndProcessXIC(RunData& run);
  void generateAndProcessChannelXIC(RunData& run, channel& ch, bool seed,
                                    const ChannelSpectra* spectra = nullptr);

  // Receives the transition rows of a streamed run, channel by channel: each
  // channel's begins, its final chromatograms with their traces in report
  // order (in one or more parts, none for a channel without any), its end.
  struct TraceSink {
    std::function<void(const channel&)> channelBegins;
    std::function<void(const channel&, const std::vector<chrom>&)> rows;
    std::function<void(const channel&)> channelEnds;
  };
  // generateXIC, processXIC and (when `cull`) cullXIC with the traces handed
  // to `sink` as soon as they are final and dropped after: a channel's
  // traces are built a part at a time, so memory stays bounded by the part,
  // not the channel. With culling the figures are found first and the
  // survivors' traces built again. The chromatograms keep every figure and
  // empty times, intensities and scanNumbers.
  void streamXIC(RunData& run, bool cull, const TraceSink& sink);
  // Trace points held at once by one part of a streamed channel (some 40 MB of
  // traces; a part holds at least one chromatogram).
  std::size_t streamPartPoints = std::size_t{1} << 21;

  // Savitzky-Golay smoothing (window selector: <=5 -> 7 points, 6..10 -> 17,
  // >=11 -> 25) and the trapezoid area between `start` and `end` (exclusive).
  void SGsmooth(int window, chrom& X);
  void trapizoid(chrom& X, int start, int end);

  // Repeated shifted Symmlet-8 wavelet shrinkage of X.intensities.
  void waveletDenoise(double& fraction, int passes, chrom& X);

  // Spectral filters.
  void deIsotope(RunData& run);
  bool isIsotope(datapeak& candidate, datapeak& lighter);
  void removeH2O(RunData& run);
  bool isOLoss(datapeak& candidate, datapeak& parent);
  bool isH2OLoss(datapeak& candidate, datapeak& parent);

  // Culling of chromatograms that repeat a stronger neighbour's feature.
  void cullXIC(RunData& run);
  // Positions, in order, of the chromatograms of one channel that culling keeps.
  std::vector<std::size_t> cullSurvivors(const std::vector<chrom>& chroms) const;
};

#endif
