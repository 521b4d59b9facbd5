#include "run/file_handle.h"

fileHandle::fileHandle() = default;
fileHandle::~fileHandle() = default;
