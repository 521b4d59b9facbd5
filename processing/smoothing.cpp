#include "processing/filterer.h"

void filterer::SGsmooth(int, chrom&) {}
void filterer::trapizoid(chrom&, int, int) {}
