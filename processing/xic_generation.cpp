#include "processing/filterer.h"
#include "run/file_handle.h"

void filterer::pickPeaks(scan*, std::vector<datapeak>&) {}
void filterer::generateXIC(fileHandle&) {}
