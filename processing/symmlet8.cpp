#include "processing/symmlet8.h"

const double FastSymmlet8::L[8] = {0, 0, 0, 0, 0, 0, 0, 0};
const double FastSymmlet8::H[8] = {0, 0, 0, 0, 0, 0, 0, 0};

void FastSymmlet8::transform(std::vector<double>&, int) {}
void FastSymmlet8::transform(std::vector<double>&, int, int) {}
void FastSymmlet8::invTransform(std::vector<double>&, int) {}
void FastSymmlet8::invTransform(std::vector<double>&, int, int) {}
void FastSymmlet8::expand(std::vector<double>&, int) {}
void FastSymmlet8::threshold(std::vector<double>&, int, int, double&) {}
