#include <exception>
#if defined(__GLIBC__)
#include <malloc.h>
#endif
#include <new>
#include <string>

#include "driver/options.h"
#include "driver/run_checks.h"
#include "driver/run_sequence.h"
#include "input/input_error.h"
#include "util/console.h"

namespace {

// A run allocates large buffers per channel and per batch of traces and frees
// them again. By default the C library hands the free memory at the top of
// its heaps back to the system, so that the next buffers are faulted in and
// cleared page by page once more (a quarter of an untargeted run's page
// faults). That memory is kept for reuse instead. (Blocks large enough to be
// mapped on their own still go back: keeping them too would raise an SRM
// run's peak by a quarter.)
void keepFreedMemory() {
#if defined(__GLIBC__)
  const int oneGiB = 1 << 30;
  mallopt(M_TRIM_THRESHOLD, oneGiB);
#endif
}

// The feature pipeline grows and frees many vectors of a few hundred kilobytes to a few megabytes (traces,
// their points, the compound step's traces); by default each such block is mapped on its own, and every map
// is faulted in page by page again. Taken from the heap instead, they reuse its pages: a quarter less time on
// the benchmark's run, for 6 to 8 % more peak memory (bench/RESULTS.md). Set only for that pipeline: the
// chromatogram path gains nothing and an SRM run's peak would rise from 18 to 23 MiB.
void keepMidSizeBlocksOnTheHeap() {
#if defined(__GLIBC__)
  const int blocksOfTheirOwn = 32 << 20;  // the most the C library's own adaptive threshold reaches
  mallopt(M_MMAP_THRESHOLD, blocksOfTheirOwn);
#endif
}

}  // namespace

int main(int argc, char** argv) {
  keepFreedMemory();
  Options options;
  switch (parseOptions(argc, argv, options)) {
    case ParseOutcome::Usage:
      console::outFlush(usageText());
      return static_cast<int>(ExitStatus::Usage);
    case ParseOutcome::Help:
      console::outFlush(helpText());
      return static_cast<int>(ExitStatus::Ok);
    case ParseOutcome::Version:
      console::outFlush(versionText());
      return static_cast<int>(ExitStatus::Ok);
    case ParseOutcome::Refused:
      console::err("torva: " + options.refusal + "\n");
      return static_cast<int>(ExitStatus::RequestFailed);
    case ParseOutcome::EmptySummary:
      return static_cast<int>(writeEmptySummary(options.emptySummary));
    case ParseOutcome::Run:
      break;
  }
  if (!options.hasInput) {
    // The text on standard output is the one the tool has always printed; the
    // status says that nothing was done.
    console::outFlush("Please enter input file (-i).\n");
    return static_cast<int>(ExitStatus::RequestFailed);
  }
  if (options.resolver) keepMidSizeBlocksOnTheHeap();
  for (const std::string& warning : optionWarnings(options))
    console::err("torva: warning: " + warning + "\n");
  // Mistakes that would lose data or be found only after all the work end
  // the run before it starts.
  const std::string refusal = reportRefusal(options);
  if (!refusal.empty()) {
    console::err("torva: " + refusal + "\n");
    return static_cast<int>(ExitStatus::RequestFailed);
  }
  // A run too large for the machine's memory ends with a message and a
  // failure status instead of an abort.
  try {
    return static_cast<int>(runSequence(options));
  } catch (const InputError& error) {
    // An input file the readers cannot go on with: its message on standard
    // output, as the readers' other messages, and status 1.
    console::outFlush(error.what());
    return static_cast<int>(ExitStatus::Usage);
  } catch (const std::bad_alloc&) {
    console::outFlush("");
    console::err("torva: out of memory while processing '" + options.input + "'\n");
  } catch (const std::exception& error) {
    console::outFlush("");
    console::err("torva: " + std::string(error.what()) + " while processing '" + options.input + "'\n");
  }
  return static_cast<int>(ExitStatus::RequestFailed);
}
