#ifndef TORVA_REPORT_SAMPLE_SHEET_H
#define TORVA_REPORT_SAMPLE_SHEET_H

#include <string>
#include <vector>

// What an injection of a cohort is: a study sample, a pooled QC, a blank or a standard.
enum class InjectionType { Sample, Qc, Blank, Standard };

// The sheet's name of a type: sample, qc, blank, standard.
const char* injectionTypeName(InjectionType type);

// One row of the sample sheet with the columns of a study design.
struct CohortSample {
  std::string name;
  std::string file;
  std::string group;                           // empty when the sheet has no group column
  InjectionType type = InjectionType::Sample;  // `type`; every sample when the column is absent
  long order = 0;           // `order`: injection order; sheet order (1, 2, ...) when absent
  std::string batch = "1";  // `batch`: one batch when absent
};

// Reads a tab-separated sample sheet: `sample` and `file` required, `group`, `type`, `order` and
// `batch` optional, in any order, other columns ignored. A present `type` column holds sample,
// qc, blank or standard (any case) on every line; a present `order` column a whole number of at
// least 1 on every line, each number once; a present `batch` column a label on every line.
// Returns false with `error` naming the file and line on the first fault.
bool readCohortSheet(const std::string& path, std::vector<CohortSample>& samples, std::string& error);

#endif
