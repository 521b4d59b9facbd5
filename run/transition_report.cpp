#include "run/file_handle.h"

int fileHandle::outputXIC(const char*) { return 1; }
