#include "run/file_handle.h"

bool fileHandle::exportSum(const char*, float, float, float) { return true; }
