#include "params/parameter_report.h"

#include "connection/report_naming.h"
#include "format/fixed_line.h"
#include "format/numtext.h"
#include "params/parameter_names.h"
#include "params/parameter_session.h"
#include "params/parameter_table.h"

namespace vardis {

namespace {

constexpr const char* kChannelHeader =
    "                   |    №1     |     №2    |    №3     |    №4     |";

class Builder {
 public:
  Builder(const ParameterTable& t, char sep) : t_(t), style_{sep} {}

  std::string value(int i) const {
    const ParameterFormat f = parameterFormat(i);
    return fixedLeft(t_.values[static_cast<std::size_t>(i)], f.width, f.decimals, style_);
  }
  double raw(int i) const { return t_.values[static_cast<std::size_t>(i)]; }

  std::string channelLine(int i, int stride) const {
    FixedColumnLine l(66);
    l.putName(parameterName(i));
    for (int k = 0; k < 4; ++k) l.putValue(20 + 12 * k, "| ", value(i + k * stride));
    l.put(68, "|");
    return l.text();
  }

  std::string heatLine(int i) const {
    FixedColumnLine l(39);
    l.putName(parameterName(i));
    l.putValue(raw(i) >= 10 ? 9 : 10, " ", value(i));
    l.put(20, " | " + parameterName(i + 10));
    l.putValue(raw(i + 10) >= 10 ? 31 : 32, "", value(i + 10));
    l.put(40, "|");
    return l.text();
  }

  std::string generalLine(int i) const {
    FixedColumnLine l(29);
    l.putName(parameterName(i));
    l.putValue(20, "| ", value(i));
    const bool zero = raw(i) == 0;
    const char* end = "|";
    if (i == 9) end = zero ? "| ГДж" : "| Гкал";
    if (i == 111) end = zero ? "| тонны" : "| м3";
    if (i == 122) end = zero ? "| однолучевой" : "| двухлучевой";
    l.put(30, end);
    return l.text();
  }

 private:
  const ParameterTable& t_;
  NumberStyle style_;
};

}  // namespace

std::vector<std::string> parameterReportLines(const ParameterTable& table, char sep) {
  const Builder b(table, sep);
  std::vector<std::string> out;
  out.emplace_back("                         КАНАЛЫ ОБЬЕМНОГО РАСХОДА                   ");
  out.emplace_back(kChannelHeader);
  for (int i = 10; i <= 19; ++i) out.push_back(b.channelLine(i, 10));
  out.emplace_back(" ");
  out.emplace_back("                         КАНАЛЫ ТЕМПЕРАТУРЫ                         ");
  out.emplace_back(kChannelHeader);
  for (int i = 52; i <= 55; ++i) out.push_back(b.channelLine(i, 4));
  out.emplace_back(" ");
  out.emplace_back("                         КАНАЛЫ ДАВЛЕНИЯ                            ");
  out.emplace_back(kChannelHeader);
  for (int i = 68; i <= 72; ++i) out.push_back(b.channelLine(i, 5));
  out.emplace_back(" ");
  out.emplace_back("КОНФИГУРАЦИЯ РАСЧЕТА ТЕПЛОВОЙ ЭНЕРГИИ   ");
  out.emplace_back("     №1             |           №2     |");
  for (int i = 90; i <= 99; ++i) out.push_back(b.heatLine(i));
  out.emplace_back(" ");
  out.emplace_back("         ОБЩИЕ ПАРАМЕТРЫ      ");
  for (int i : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 111, 122, 50, 51, 88, 89}) {
    out.push_back(b.generalLine(i));
  }
  out.emplace_back("         ДОПОЛНИТЕЛЬНЫЕ ПАРАМЕТРЫ      ");
  out.emplace_back(kChannelHeader);
  out.push_back(b.channelLine(112, 1));
  out.push_back(b.channelLine(116, 1));
  return out;
}

void WriteParameterReport(ParameterSession& s) {
  s.beginCommand("Параметры", true);
  requireReportFiles(s);
  s.link.LinkFault = 0;
  s.showIdentificationCount("n=" + std::to_string(s.IdentificationCount));
  s.setOperationStatus("Считывание параметров");
  s.memo("OK=" + std::to_string(s.link.ReceiveResult));
  for (int i = 0; i <= 122; ++i) {
    readParameter(s, static_cast<std::uint8_t>(i));
    if (s.link.LinkFault == 1) break;
    s.setProgress(i * 100 / 122);
  }
  ReportFile& file = s.reports.file(ReportKind::Parameters);
  for (const auto& line : parameterReportLines(s.params, s.config().numbers.decimalSeparator)) {
    file.writeLine(line);
  }
  file.commit();
  s.endCommand("Параметры записаны");
}

}  // namespace vardis
