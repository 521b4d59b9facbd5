#include "processing/filterer.h"

filterer::filterer() = default;
filterer::~filterer() = default;
