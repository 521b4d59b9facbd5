#include "driver/run_sequence.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "driver/progress.h"
#include "driver/quant_step.h"
#include "driver/resolver_step.h"
#include "processing/filterer.h"
#include "report/report_file.h"
#include "report/summary_table.h"
#include "report/transition_report.h"
#include "store/file_handle.h"
#include "util/console.h"
#include "util/parallel_for.h"

const char* bannerText() {
  return "TORVA: Trace Organiser for Retention, Volume and Area 1.1 (18-Nov-11) \n"
         "Extracted-ion chromatograms, denoising and peak areas for LC-MS runs\n"
         "Written by the TORVA developers\n";
}

const char* usageText() {
  static const std::string text =
      std::string(bannerText()) +
      "\nUsage:TORVA <-i source_file> [-o trans_file] [-m map_file] [-s summary_file] \n"
      "\t        [-p peaks] [-P peak_file] [-d] [-l] [-c] [-S]\n"
      "\t        [-C cutoff] [-T time_error] [-M mass_error] \n"
      "\t----------------------------------------------------------------\n"
      "       \t(source_file)      path of source mzXML file\n"
      "       \t[trans_file]       path of all transition data\n"
      "       \t[map_file]         path of binned map of data\n"
      "       \t[summary_file]     path of summary data\n"
      "       \t[-S ]   specify SRM mode\n"
      "       \t[-p ]   list of peaks to quantify\n"
      "       \t[-P ]   list of peaks in peak_file to quantify\n"
      "       \t[-d ]   deisotope spectra (for precursor ion/full scanning only)\n"
      "       \t[-l ]   remove water loss (for precursor ion/full scanning only)\n"
      "       \t[-c ]   cull similar XICs following peak detection\n"
      "       \t[-C ]   'cutoff' intensity cutoff for peak detection (10,000)\n"
      "\nUsage examples: \n"
      "./TORVA  -i /home/guest/raw_data/example.mzXML -s /home/guest/output/example.txt -c -l -d \n";
  return text.c_str();
}

const char* helpText() {
  static const std::string text =
      std::string(bannerText()) +
      "\n"
      "Usage: torva -i INPUT [-s SUMMARY] [-o TRANSITIONS] [-m MAP] [options]\n"
      "\n"
      "Input and reports (each report a tab-separated text file):\n"
      "  -i PATH        mzML or mzXML file, plain or gzip-compressed, or a folder of\n"
      "                 them (required)\n"
      "  -s PATH        summary report: one line per feature\n"
      "  -o PATH        transition report: every chromatogram with its trace\n"
      "  -m PATH        binned map: one row per spectrum, summed intensity per m/z bin\n"
      "\n"
      "Targets (without them every intense peak seeds a chromatogram):\n"
      "  -p MZ,MZ,...   target m/z values, comma separated\n"
      "  -P PATH        file of target m/z values, one per line or comma separated\n"
      "  --targets PATH file of targets with a retention-time window each: lines\n"
      "                 MZ<tab>RT_LOW<tab>RT_HIGH, times in minutes\n"
      "  --empty-summary PATH\n"
      "                 write a summary report without features to PATH and stop,\n"
      "                 reading nothing (for workflows with nothing to search)\n"
      "\n"
      "Targeted quantitation (a named target list; see the README):\n"
      "  --quant PATH   target list: compound, precursor_mz, product_mz, rt,\n"
      "                 rt_window (minutes), role, internal_standard, polarity\n"
      "  --quant-out PATH\n"
      "                 one row per target transition in list order, found or not\n"
      "  --quant-traces PATH\n"
      "                 each target's trace around its window, for torva-view\n"
      "\n"
      "Processing:\n"
      "  -C N           intensity cutoff, counts (default 10000): peaks must exceed it\n"
      "                 to seed a chromatogram; summary areas must exceed it\n"
      "  -M DA          m/z half-window, daltons (default 0.5)\n"
      "  --ppm X        m/z half-window of X ppm of each m/z instead of -M: for\n"
      "                 chromatogram windows, feature mass, isotope and water-loss\n"
      "                 matching, culling and the summary's merge of duplicates\n"
      "                 (default off: -M applies)\n"
      "  -T MIN         time tolerance, minutes (default 0.5): culling and the\n"
      "                 summary's merge of duplicates\n"
      "  -S             SRM mode: one channel per transition (default off)\n"
      "  -d             fold isotope peaks into their parents; full scan only (default off)\n"
      "  -l             fold water and oxygen losses into their parents; full scan only\n"
      "                 (default off)\n"
      "  -c             cull repeated chromatograms of a channel; untargeted only\n"
      "                 (default off)\n"
      "  -n             skip the wavelet denoising of each chromatogram (default off)\n"
      "  --seeds peaks|traces\n"
      "                 untargeted seeds: every peak above -C and 2.5% of its spectrum's\n"
      "                 ion current (peaks, the default), or one per centroid mass\n"
      "                 trace of each full-scan channel, at its apex (traces: peaks\n"
      "                 followed within --ppm, default 10, over at least 5 spectra\n"
      "                 with at most 2 missing in a row, apex above -C when given,\n"
      "                 else 3 times the median centroid intensity)\n"
      "  --detect peaks|resolver\n"
      "                 peaks (the default): the chromatograms and reports above;\n"
      "                 resolver: also split each centroid mass trace of the spectra\n"
      "                 of one MS level (--ms-level, default 1) and polarity into\n"
      "                 peaks, written to --features\n"
      "  --features PATH feature table of the resolver: one row per feature, or per\n"
      "                 target with -p, -P or --targets\n"
      "  --fill-gaps    with --targets: a window that no feature takes is measured\n"
      "                 anyway, and a feature holding two targets' windows is split\n"
      "                 between them (status filled), as a cohort's gap filling needs\n"
      "  --min-sn X     least signal-to-noise of a resolved feature (default 5)\n"
      "  --min-points N least centroids of a resolved feature (default 5)\n"
      "  --compounds    group the resolved features into compounds (13C isotopes,\n"
      "                 adducts, in-source fragments) and link the MS2 spectra: the\n"
      "                 feature table's compound_id, ion, charge, neutral_mass,\n"
      "                 representative and ms2_scans columns\n"
      "  --adducts FILE the ions of the grouping (default: compounds/adducts.tsv,\n"
      "                 built in); implies --compounds\n"
      "  --export DIR   write DIR/gnps.mgf, DIR/gnps_quant.csv, DIR/sirius.ms and\n"
      "                 DIR/run.mztab of the grouped features; implies --compounds\n"
      "  --feature-spectra PATH\n"
      "                 write each feature's chromatogram, MS1 spectrum at its apex\n"
      "                 and linked MS2 spectra there, for torva-view --features;\n"
      "                 implies --compounds\n"
      "  --ms-level N   keep only spectra of MS level N (default: all levels)\n"
      "  --map-range LOW:HIGH:WIDTH\n"
      "                 m/z range and bin width of the binned map, daltons\n"
      "                 (default 400:900:1)\n"
      "\n"
      "Running:\n"
      "  --threads N    worker threads (default: every core, at most 16); the\n"
      "                 reports are the same for every N\n"
      "  --quiet        no progress display on standard error (it is shown only\n"
      "                 when standard error is a terminal)\n"
      "  -h             short usage text (exit status 1)\n"
      "  --help         this help (exit status 0)\n"
      "  --version      version\n"
      "\n"
      "Exit status: 0 success; 1 usage text; 2 a refused command line, or a run\n"
      "in which something requested failed; 255 input that cannot be read.\n"
      "Reports are explained in the README, section \"Reading the reports\".\n";
  return text.c_str();
}

const char* versionText() { return "TORVA 1.1 (18-Nov-11)\n"; }

namespace {

// Why the input path cannot be read, for its message; "" for a file, whose
// reason the import tells.
std::string unreadableReason(const std::string& path) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return std::strerror(errno);
  if (S_ISDIR(info.st_mode)) return "the folder cannot be listed";
  return "";
}

Progress::Figures figuresOf(const fileHandle& run) {
  Progress::Figures figures;
  figures.spectra = run.scans.size();
  figures.channels = run.channels.size();
  for (const channel& ch : run.channels) {
    figures.chromatograms += ch.chroms.size();
    for (const chrom& X : ch.chroms) {
      if (X.area > 0) ++figures.features;
    }
  }
  return figures;
}

}  // namespace

ExitStatus writeEmptySummary(const std::string& path) {
  ReportFile report(path.c_str());
  report.endLine(summaryHead());
  return report.close() ? ExitStatus::Ok : ExitStatus::RequestFailed;
}

ExitStatus runSequence(const Options& options) {
  return runSequence(options, Progress::wanted(options.quiet));
}

ExitStatus runSequence(const Options& options, bool showProgress) {
  Progress progress(showProgress);
  if (options.threads > 0) setWorkerCount(options.threads);
  console::outFlush("\n" + std::string(bannerText()) + "\n\n");

  // Run store and signal processor with the command line's parameters.
  fileHandle run;
  run.SRM = options.srm;
  run.keptMsLevel = options.msLevel;
  run.mzdataByRoot = options.resolver;
  filterer processor;
  processor.cutoff = options.cutoff;
  processor.massTolerance = options.massTolerance;
  processor.massPpm = options.massPpm;
  processor.timeTolerance = options.timeTolerance;
  processor.skipDenoise = options.skipDenoise ? 1 : 0;
  // Mass traces follow peaks within --ppm (10 ppm without it); their apex must
  // exceed -C when given, else a noise level estimated from each channel.
  processor.seedFromTraces = options.traceSeeds;
  if (options.massPpm > 0) processor.traceSettings.ppm = options.massPpm;
  if (options.hasCutoff) processor.traceSettings.noiseLevel = options.cutoff;
  if (showProgress) {
    run.fileProgress = [&progress](std::size_t done, std::size_t total) {
      progress.update(static_cast<double>(done), total);
    };
    processor.channelProgress = [&progress](double done, std::size_t total) { progress.update(done, total); };
  }

  console::outFlush("source: " + options.input + "\n");
  console::outFlush("dest: " + options.summary + "\n");

  // Import of the spectrum file or folder, grouped into channels.
  progress.start("import", "files");
  if (!run.importFolder(options.input.c_str(), 1)) {
    progress.finish("cannot read " + options.input);
    console::outFlush("Cannot read mzXML file\n");
    // A file that was opened has had its reason told by the import.
    const std::string reason = unreadableReason(options.input);
    if (!reason.empty()) console::err("torva: cannot read input '" + options.input + "': " + reason + "\n");
    return ExitStatus::UnreadableInput;
  }
  progress.finish(std::to_string(run.scans.size()) + " spectra in " + std::to_string(run.channels.size()) +
                  " channels");
  bool failed = run.inputFailed;

  // Target lists.
  if (options.hasPeakList) run.addPeaks(options.peakList);
  if (options.hasPeakFile) {
    const int result = run.importPeaks(options.peakFile.c_str());
    if (result == 0) {
      console::err("torva: cannot open target file '" + options.peakFile + "'\n");
      failed = true;
    } else if (result < 0) {
      console::err("torva: target file '" + options.peakFile +
                   "' rejected: its first line is not plain text\n");
      failed = true;
    }
  }

  if (options.hasTargetFile) {
    std::string error;
    const int result = run.importTargetWindows(options.targetFile.c_str(), error);
    if (result == 0) {
      console::err("torva: cannot open target file '" + options.targetFile + "'\n");
      failed = true;
    } else if (result < 0) {
      console::err("torva: target file '" + options.targetFile + "' rejected: " + error + "\n");
      failed = true;
    }
  }

  // Spectral filters (full-scan mode only).
  if (options.deisotope && !options.srm) processor.deIsotope(run);
  if (options.removeWaterLoss && !options.srm) processor.removeH2O(run);

  // The resolver pipeline's features (--detect resolver), from the filtered spectra.
  if (options.resolver) {
    progress.start("resolved features", "groups");
    if (!runResolverStep(options, run)) failed = true;
    progress.finish("");
  }

  // Chromatograms, peak detection and culling of repeated features (untargeted
  // runs only). With a transition report each channel's rows are written as
  // soon as they are final and their traces dropped; either way the
  // chromatograms keep only their figures afterwards.
  const bool cull = options.cull && !options.hasPeakList && !options.hasPeakFile && !options.hasTargetFile;
  std::unique_ptr<TransitionReport> transitions;
  // A run that asks only for the targeted quantitation, or only for the resolver's
  // features, needs no untargeted chromatograms: they are made only for -s or -o
  // (and, without the resolver, -m).
  const bool quantOnly =
      options.hasQuantOut && !options.hasSummary && !options.hasTransitionReport && !options.hasMap;
  const bool chromatograms =
      !quantOnly && (!options.resolver || options.hasSummary || options.hasTransitionReport);
  progress.start("chromatograms and peaks", "channels");
  if (!chromatograms) {
    // nothing: the quantitation and the resolver make their own traces
  } else if (options.hasTransitionReport) {
    transitions = std::make_unique<TransitionReport>(options.transitionReport.c_str());
    filterer::TraceSink sink;
    sink.channelBegins = [&](const channel& ch) { transitions->beginChannel(ch); };
    sink.rows = [&](const channel&, const std::vector<chrom>& rows) { transitions->addRows(rows); };
    sink.channelEnds = [&](const channel&) { transitions->endChannel(); };
    processor.streamXIC(run, cull, sink);
  } else {
    processor.generateAndProcessXIC(run);
  }
  progress.finish(std::to_string(figuresOf(run).chromatograms) + " chromatograms, " +
                  std::to_string(figuresOf(run).features) + " features");
  if (!options.hasTransitionReport && cull) processor.cullXIC(run);

  // Targeted quantitation of a named target list.
  if (options.hasQuantTargets && !runQuantStep(options, run, processor)) failed = true;

  // Reports, always in this order.
  const std::size_t reports =
      (options.hasTransitionReport ? 1 : 0) + (options.hasMap ? 1 : 0) + (options.hasSummary ? 1 : 0);
  std::size_t written = 0;
  progress.start("reports", "reports");
  if (options.hasTransitionReport) {
    // Written already; closing tells whether all of it reached the file.
    if (!transitions->close()) failed = true;
    progress.update(static_cast<double>(++written), reports);
  }
  if (options.hasMap) {
    MapRange range;
    if (options.hasMapRange) range = {options.mapLow, options.mapHigh, options.mapWidth};
    if (!run.exportMap(options.map.c_str(), range)) failed = true;
    progress.update(static_cast<double>(++written), reports);
  }
  if (options.hasSummary) {
    if (!run.exportSum(options.summary.c_str(), static_cast<float>(options.timeTolerance),
                       static_cast<float>(options.massTolerance), static_cast<float>(options.cutoff),
                       options.massPpm)) {
      failed = true;
    }
    progress.update(static_cast<double>(++written), reports);
  }
  progress.finish("");
  progress.close(figuresOf(run));

  console::outFlush("Done\n\n");
  return failed ? ExitStatus::RequestFailed : ExitStatus::Ok;
}
