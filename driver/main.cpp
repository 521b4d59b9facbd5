#include "driver/options.h"
#include "driver/run_sequence.h"
#include "input/console.h"

int main(int argc, char** argv) {
  Options options;
  if (parseOptions(argc, argv, options) == ParseOutcome::Usage) {
    console::outFlush(usageText());
    return static_cast<int>(ExitStatus::Usage);
  }
  if (!options.hasInput) {
    console::outFlush("Please enter input file (-i).\n");
    return static_cast<int>(ExitStatus::Ok);
  }
  return static_cast<int>(runSequence(options));
}
