#include "processing/filterer.h"
#include "processing/symmlet8.h"

void filterer::waveletDenoise(double&, int, chrom&) {}
