#include "report/sample_sheet.h"

#include <map>
#include <set>
#include <string_view>

#include "report/table_text.h"

namespace {

int columnOf(const std::vector<std::string_view>& header, const std::string& name) {
  for (std::size_t k = 0; k < header.size(); ++k)
    if (header[k] == name) return static_cast<int>(k);
  return -1;
}

bool readType(std::string text, InjectionType& type) {
  for (char& c : text) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  static const std::map<std::string, InjectionType> names = {{"sample", InjectionType::Sample},
                                                             {"qc", InjectionType::Qc},
                                                             {"blank", InjectionType::Blank},
                                                             {"standard", InjectionType::Standard}};
  const auto found = names.find(text);
  if (found == names.end()) return false;
  type = found->second;
  return true;
}

bool readOrder(const std::string& text, long& order) {
  long long value = 0;
  if (text.empty() || text[0] < '0' || text[0] > '9' || !readInteger(text, value) || value < 1 ||
      value > 1000000000)
    return false;
  order = static_cast<long>(value);
  return true;
}

}  // namespace

const char* injectionTypeName(InjectionType type) {
  switch (type) {
    case InjectionType::Qc:
      return "qc";
    case InjectionType::Blank:
      return "blank";
    case InjectionType::Standard:
      return "standard";
    case InjectionType::Sample:
      break;
  }
  return "sample";
}

bool readCohortSheet(const std::string& path, std::vector<CohortSample>& samples, std::string& error) {
  samples.clear();
  TableLines lines(path);
  std::string headLine, line;
  if (!lines.isOpen() || !lines.next(headLine)) {
    error = "cannot read sample sheet '" + path + "'";
    return false;
  }
  const std::vector<std::string_view> header = splitFields(headLine);
  const int name = columnOf(header, "sample");
  const int file = columnOf(header, "file");
  const int group = columnOf(header, "group");
  const int type = columnOf(header, "type");
  const int order = columnOf(header, "order");
  const int batch = columnOf(header, "batch");
  if (name < 0 || file < 0) {
    error = "sample sheet '" + path + "' needs a header line with columns 'sample' and 'file'";
    return false;
  }
  std::set<std::string> names;
  std::map<long, long> orders;  // injection order -> line
  const auto fail = [&](const std::string& why) {
    error = lines.lineError("sample sheet", why);
    return false;
  };
  std::vector<std::string_view> fields;
  while (lines.nextNonEmpty(line)) {
    splitFields(line, fields);
    const auto field = [&](int column) {
      return column >= 0 && static_cast<std::size_t>(column) < fields.size() ? std::string(fields[column])
                                                                             : std::string();
    };
    CohortSample sample;
    sample.name = field(name);
    sample.file = field(file);
    sample.group = field(group);
    if (sample.name.empty() || sample.file.empty()) return fail("empty sample name or file");
    if (!names.insert(sample.name).second) return fail("sample '" + sample.name + "' named twice");
    if (type >= 0 && !readType(field(type), sample.type))
      return fail("type '" + field(type) + "' is not one of sample, qc, blank, standard");
    sample.order = static_cast<long>(samples.size()) + 1;
    if (order >= 0) {
      if (!readOrder(field(order), sample.order))
        return fail("order '" + field(order) + "' is not a whole number of at least 1");
      const auto placed = orders.emplace(sample.order, lines.number());
      if (!placed.second)
        return fail("order " + field(order) + " is already given on line " +
                    std::to_string(placed.first->second));
    }
    if (batch >= 0) {
      sample.batch = field(batch);
      if (sample.batch.empty()) return fail("empty batch");
    }
    samples.push_back(sample);
  }
  if (samples.empty()) {
    error = "sample sheet '" + path + "' lists no sample";
    return false;
  }
  return true;
}
