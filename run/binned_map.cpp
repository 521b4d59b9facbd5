#include "run/file_handle.h"

bool fileHandle::exportMap(const char*) { return true; }
