// "Записать параметры прибора в файл": reads parameters 0..122 and appends the
// 62-line parameter report.
#pragma once

#include <string>
#include <vector>

namespace vardis {

class ParameterSession;
struct ParameterTable;

// The 62 report lines from the table as it stands (UTF-8).
std::vector<std::string> parameterReportLines(const ParameterTable& table, char decimalSeparator);

void WriteParameterReport(ParameterSession& s);

}  // namespace vardis
