#include "processing/filterer.h"
#include "run/file_handle.h"

void filterer::cullXIC(fileHandle&) {}
