#include "processing/filterer.h"
#include "run/file_handle.h"

void filterer::removeH2O(fileHandle&) {}
bool filterer::isOLoss(datapeak&, datapeak&) { return false; }
bool filterer::isH2OLoss(datapeak&, datapeak&) { return false; }
