#include "driver/run_sequence.h"

#include "util/console.h"
#include "processing/filterer.h"
#include "run/file_handle.h"

const char* bannerText() {
  return "TORVA: Trace Organiser for Retention, Volume and Area 1.1 (18-Nov-11) \n"
         "Extracted-ion chromatograms, denoising and peak areas for LC-MS runs\n"
         "Written by the TORVA developers\n";
}

const char* usageText() {
  static const std::string text = std::string(bannerText()) +
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

ExitStatus runSequence(const Options& options) {
  console::outFlush("\n" + std::string(bannerText()) + "\n\n");

  // Run store and signal processor with the command line's parameters.
  fileHandle run;
  run.SRM = options.srm;
  filterer processor;
  processor.cutoff = options.cutoff;
  processor.massTolerance = options.massTolerance;
  processor.timeTolerance = options.timeTolerance;
  processor.skipDenoise = options.skipDenoise ? 1 : 0;

  console::outFlush("source: " + options.input + "\n");
  console::outFlush("dest: " + options.summary + "\n");

  // Import of the spectrum file or folder, grouped into channels.
  if (!run.importFolder(options.input.c_str(), 1)) {
    console::outFlush("Cannot read mzXML file\n");
    return ExitStatus::UnreadableInput;
  }
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

  // Chromatograms and peak detection. Only the transition report reads the
  // traces afterwards; without it each trace is dropped once it is quantified.
  if (options.hasTransitionReport) {
    processor.generateXIC(run);
    processor.processXIC(run);
  } else {
    processor.generateAndProcessXIC(run);
  }

  // Culling of repeated features (untargeted runs only).
  if (options.cull && !options.hasPeakList && !options.hasPeakFile && !options.hasTargetFile) processor.cullXIC(run);

  // Reports, always in this order.
  if (options.hasTransitionReport && run.outputXIC(options.transitionReport.c_str()) != 1) failed = true;
  if (options.hasMap && !run.exportMap(options.map.c_str())) failed = true;
  if (options.hasSummary &&
      !run.exportSum(options.summary.c_str(), static_cast<float>(options.timeTolerance),
                     static_cast<float>(options.massTolerance), static_cast<float>(options.cutoff))) {
    failed = true;
  }

  console::outFlush("Done\n\n");
  return failed ? ExitStatus::RequestFailed : ExitStatus::Ok;
}
