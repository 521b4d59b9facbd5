#include "processing/filterer.h"
#include "run/file_handle.h"

void filterer::deIsotope(fileHandle&) {}
bool filterer::isIsotope(datapeak&, datapeak&) { return false; }
