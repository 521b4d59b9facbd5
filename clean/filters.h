#ifndef TORVA_CLEAN_FILTERS_H
#define TORVA_CLEAN_FILTERS_H

#include <vector>

#include "report/sample_sheet.h"

// The figures of one feature that the blank and QC filters judge it by. `areas` holds one area per
// injection of `samples` (same order), NaN where the feature was not found.

// Mean area over the injections of `type`, an absent area counting as 0; NaN when there is none.
double meanArea(const std::vector<CohortSample>& samples, const std::vector<double>& areas,
                InjectionType type);

// Blank filter: kept when the mean in the study samples is at least `ratio` times the mean in
// the blanks (a feature never seen in a blank is always kept).
bool passesBlankFilter(double sampleMean, double blankMean, double ratio);

// Share of the QC injections in which the feature has an area (NaN without QCs).
double qcPresence(const std::vector<CohortSample>& samples, const std::vector<double>& areas);

// Coefficient of variation of the QC areas, percent (sample standard deviation over the mean);
// NaN with fewer than two QC areas.
double qcCv(const std::vector<CohortSample>& samples, const std::vector<double>& areas);

// Median of the finite values, NaN when there is none.
double medianOf(std::vector<double> values);

#endif
