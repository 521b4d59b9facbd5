#include "tests/reference/reference_filters.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "util/console.h"
#include "run/report_file.h"
#include "util/mass_window.h"

namespace reference {

namespace {

// ---- Deisotoping ----

constexpr double kIsotopeSteps[] = {1.002513, 0.5012565, 0.334171};

bool isIsotope(const datapeak& candidate, const datapeak& lighter, double massTolerance) {
  for (double step : kIsotopeSteps) {
    const double expected = lighter.mz + step;
    if (candidate.mz - massTolerance < expected && expected < candidate.mz + massTolerance &&
        lighter.intensity > candidate.intensity) {
      return true;
    }
  }
  return false;
}

// ---- Water-loss removal ----

constexpr double kLossWindow = 0.5;

bool isLoss(const datapeak& candidate, const datapeak& parent, double loss) {
  const double expected = parent.mz - loss;
  return candidate.mz - kLossWindow < expected && expected < candidate.mz + kLossWindow &&
         parent.intensity > candidate.intensity;
}

// ---- Summary report ----

struct tuple {
  double mass = 0;
  double rt = 0;
  double area = 0;
  const channel* transition = nullptr;
  std::int32_t peakMax = 0;
  std::int32_t peakStart = 0;
  std::int32_t peakEnd = 0;
};

std::vector<tuple> gatherFeatures(const fileHandle& run) {
  std::vector<tuple> features;
  for (const channel& transition : run.channels) {
    for (const chrom& xic : transition.chroms) {
      tuple feature;
      feature.mass = run.SRM ? transition.precursorMz : xic.peakMz;
      feature.rt = xic.apexTime / 60.0;
      feature.area = xic.area;
      feature.transition = &transition;
      feature.peakMax = xic.apexScan;
      feature.peakStart = xic.startScan;
      feature.peakEnd = xic.endScan;
      features.push_back(feature);
    }
  }
  return features;
}

// Pairwise, erasing from the middle and restarting at the same position when
// the later entry wins.
void removeDuplicates(std::vector<tuple>& list, double daltons, double timeTolerance, double massPpm) {
  std::size_t i = 0;
  while (i + 1 < list.size()) {
    bool restart = false;
    std::size_t j = i + 1;
    while (j < list.size()) {
      const tuple& first = list[i];
      const tuple& second = list[j];
      const double massTolerance = massWindow(second.mass, daltons, massPpm);
      if (first.area == second.area) {
        list.erase(list.begin() + static_cast<std::ptrdiff_t>(j));
      } else if (first.transition->precursorMz == second.transition->precursorMz &&
                 second.mass - massTolerance < first.mass && first.mass < second.mass + massTolerance &&
                 second.rt - timeTolerance < first.rt && first.rt < second.rt + timeTolerance) {
        if (second.area > first.area) {
          list.erase(list.begin() + static_cast<std::ptrdiff_t>(i));
          restart = true;
          break;
        }
        list.erase(list.begin() + static_cast<std::ptrdiff_t>(j));
      } else {
        ++j;
      }
    }
    if (!restart) ++i;
  }
}

std::string channelLabel(const channel& transition) {
  std::string label = console::fixed(transition.precursorMz, 1);
  if (transition.collisionEnergy > 0) label += "@" + console::fixed(transition.collisionEnergy, 1);
  label += "[" + console::fixed(transition.productLow, 4) + "-" + console::fixed(transition.productHigh, 4) + "]";
  return label;
}

// ---- Binned map ----

constexpr int kBins = 500;

std::vector<double> binEdges() {
  std::vector<double> edges;
  edges.reserve(kBins + 1);
  float edge = 400.0f;
  for (int b = 0; b < kBins; ++b) {
    edges.push_back(static_cast<double>(edge));
    edge += 1.0f;
  }
  edges.push_back(900.0);
  return edges;
}

std::string mapRow(const scan& spectrum, const std::vector<double>& edges) {
  std::string line = console::fixed(spectrum.rt, 2) + "\t";
  for (int b = 1; b <= kBins; ++b) {
    double sum = 0;
    bool occupied = false;
    for (const datapeak& peak : spectrum.peaks) {
      if (edges[b - 1] < peak.mz && peak.mz <= edges[b]) {
        sum += peak.intensity;
        occupied = true;
      }
    }
    line += occupied ? console::fixed(sum, 2) + "\t" : std::string("0.0\t");
  }
  return line + "\n";
}

}  // namespace

void deIsotope(const filterer& params, fileHandle& run) {
  const double intensityCutoff = params.cutoff;
  for (scan& spectrum : run.scans) {
    const std::size_t oldCount = spectrum.peaks.size();
    const double ticFloor = 0.005 * spectrum.totIonCurrent;
    std::vector<datapeak> keptPeaks;
    keptPeaks.reserve(oldCount);

    for (const datapeak& original : spectrum.peaks) {
      datapeak peak = original;
      const bool intenseEnough = peak.intensity > intensityCutoff && peak.intensity > ticFloor;
      for (std::size_t k = 0; intenseEnough && k < keptPeaks.size(); ++k) {
        if (!isIsotope(peak, keptPeaks[k], params.massTolerance)) continue;
        const std::ptrdiff_t root = keptPeaks[k].isotope ? keptPeaks[k].parent : static_cast<std::ptrdiff_t>(k);
        peak.parent = root;
        keptPeaks[static_cast<std::size_t>(root)].intensity += peak.intensity;
        peak.isotope = true;
      }
      keptPeaks.push_back(peak);
    }

    std::vector<datapeak> survivors;
    survivors.reserve(keptPeaks.size());
    for (const datapeak& peak : keptPeaks) {
      if (!peak.isotope) survivors.push_back(peak);
    }
    spectrum.peaks = std::move(survivors);

    const std::size_t newCount = spectrum.peaks.size();
    if (newCount != oldCount) {
      console::outFlush("Scan: " + std::to_string(spectrum.num) + " Peaks after deisotoping: " +
                        std::to_string(newCount) + " (-" + std::to_string(oldCount - newCount) + ") \n");
    }
  }
}

void removeH2O(const filterer& params, fileHandle& run) {
  const double intensityCutoff = params.cutoff;
  for (scan& spectrum : run.scans) {
    const std::size_t oldCount = spectrum.peaks.size();
    const double ticFloor = 0.005 * spectrum.totIonCurrent;
    std::vector<datapeak> keptPeaks;  // in reverse list order
    keptPeaks.reserve(oldCount);

    for (std::size_t index = oldCount; index-- > 0;) {
      datapeak peak = spectrum.peaks[index];
      const bool intenseEnough = peak.intensity > intensityCutoff && peak.intensity > ticFloor;
      bool absorbed = false;
      for (std::size_t k = 0; intenseEnough && k < keptPeaks.size(); ++k) {
        if (isLoss(peak, keptPeaks[k], 16.0) || isLoss(peak, keptPeaks[k], 18.0)) {
          keptPeaks[k].intensity += peak.intensity;
          absorbed = true;
        }
      }
      if (!absorbed) keptPeaks.push_back(peak);
    }

    spectrum.peaks.assign(keptPeaks.rbegin(), keptPeaks.rend());

    const std::size_t newCount = spectrum.peaks.size();
    if (newCount != oldCount) {
      console::outFlush("Scan: " + std::to_string(spectrum.num) + " Peaks after Loss: " +
                        std::to_string(newCount) + " (-" + std::to_string(oldCount - newCount) + ") \n");
    }
  }
}

void cullXIC(const filterer& params, fileHandle& run) {
  const double timeWindow = 60 * params.timeTolerance;
  const double areaFloor = static_cast<double>(std::int64_t{5} * params.cutoff);

  for (channel& transition : run.channels) {
    std::vector<chrom> survivors;
    for (const chrom& candidate : transition.chroms) {
      bool matched = false;
      for (chrom& survivor : survivors) {
        const double massTolerance = params.massWindowAt(survivor.peakMz);
        if (candidate.peakMz > survivor.peakMz - massTolerance && candidate.peakMz < survivor.peakMz + massTolerance &&
            candidate.apexTime > survivor.apexTime - timeWindow &&
            candidate.apexTime < survivor.apexTime + timeWindow) {
          if (candidate.area > survivor.area) survivor = candidate;
          matched = true;
          break;
        }
      }
      if (!matched && candidate.area > areaFloor) survivors.push_back(candidate);
    }
    transition.chroms = std::move(survivors);
  }
}

bool exportSum(const fileHandle& run, const char* path, float timeTolerance, float massTolerance, float cutoff,
               double massPpm) {
  const double timeWindow = timeTolerance;
  const double massWindow = massTolerance;
  const double areaFloor = cutoff;

  std::vector<tuple> features = gatherFeatures(run);
  removeDuplicates(features, massWindow, timeWindow, massPpm);

  ReportFile report(path);
  report.endLine("mass\trt\tarea\tpeak max(scan)\tpeak start(scan)\tpeak end(scan)\ttransition\n");
  for (const tuple& feature : features) {
    if (!(feature.area > areaFloor && feature.rt > 0)) continue;
    std::string line = console::fixed(feature.mass, 5) + "\t" + console::fixed(feature.rt, 5) + "\t" +
                       console::fixed(feature.area, 5) + "\t";
    line += std::to_string(feature.peakMax) + "\t" + std::to_string(feature.peakStart) + "\t" +
            std::to_string(feature.peakEnd) + "\t";
    line += channelLabel(*feature.transition) + "\n";
    report.endLine(line);
  }
  return report.close();
}

bool exportMap(const fileHandle& run, const char* path) {
  const std::vector<double> edges = binEdges();
  ReportFile report(path);
  if (!report.isOpen()) return report.close();

  std::string head = "\t";
  for (int b = 0; b < kBins; ++b) head += console::general(edges[b]) + "\t";
  report.endLine(head + "\n");

  for (const scan& spectrum : run.scans) report.endLine(mapRow(spectrum, edges));
  return report.close();
}

}  // namespace reference
