// The parameter names and formats: where the layout in parameter_names.h
// puts them, what the parameter report needs of them, and the letters that
// look alike in the Latin and Cyrillic alphabets.
#include <gtest/gtest.h>

#include <cctype>
#include <cstddef>
#include <set>
#include <string>
#include <vector>

#include "format/cp1251.h"
#include "params/parameter_names.h"
#include "params/parameter_report.h"
#include "params/parameter_table.h"

namespace vardis {
namespace {

// The layout in parameter_names.h: four channels of `stride` parameters,
// channel 1 at `first`.
struct Block {
  int first;
  int stride;
};
constexpr Block kChannelBlocks[] = {{10, 10}, {52, 4}, {68, 5}, {112, 1}, {116, 1}};

// The channel (1..4) of a parameter in a channel block; 0 outside them.
int channelOf(int index) {
  for (const Block& b : kChannelBlocks) {
    if (index >= b.first && index < b.first + 4 * b.stride) return 1 + (index - b.first) / b.stride;
  }
  return 0;
}

// Where the layout puts a name: every read parameter (0..122) but channels
// 2..4 and 120, 121; of those not read, 123..134 and 140..179.
bool named(int index) {
  if (index <= 122) return channelOf(index) <= 1 && index != 120 && index != 121;
  return index <= 134 || (index >= 140 && index <= 179);
}

// Length in characters, as the report counts them (code page 1251).
std::size_t chars(const std::string& text) {
  return utf8ToCp1251(text).size();
}

std::string trimRight(const std::string& text) {
  return text.substr(0, text.find_last_not_of(' ') + 1);
}

// Decodes UTF-8 into code points; returns false on a malformed text.
bool decodeUtf8(const std::string& text, std::vector<char32_t>& out) {
  out.clear();
  std::size_t i = 0;
  while (i < text.size()) {
    const auto b0 = static_cast<unsigned char>(text[i]);
    if (b0 < 0x80) {
      out.push_back(b0);
      ++i;
      continue;
    }
    if ((b0 & 0xE0) != 0xC0 || i + 1 >= text.size()) return false;
    const auto b1 = static_cast<unsigned char>(text[i + 1]);
    if ((b1 & 0xC0) != 0x80) return false;
    out.push_back(static_cast<char32_t>(((b0 & 0x1F) << 6) | (b1 & 0x3F)));
    i += 2;
  }
  return true;
}

bool isCyrillic(char32_t c) {
  return c >= 0x0400 && c <= 0x04FF;
}

// The name as code points.
std::vector<char32_t> codePoints(int index) {
  std::vector<char32_t> cps;
  EXPECT_TRUE(decodeUtf8(parameterName(index), cps)) << "index " << index;
  return cps;
}

TEST(ParameterNames, NamedWhereTheLayoutSays) {
  for (int i = 0; i < kParameterCount; ++i) {
    EXPECT_EQ(parameterName(i).empty(), !named(i)) << "index " << i;
  }
}

// The report and vardis-cli's output know a parameter by its name.
TEST(ParameterNames, NoTwoParametersShareAName) {
  std::set<std::string> seen;
  for (int i = 0; i < kParameterCount; ++i) {
    if (named(i)) {
      EXPECT_TRUE(seen.insert(parameterName(i)).second) << "index " << i;
    }
  }
}

// Report files are written in code page 1251: a name must come back from it
// unchanged, one byte a character.
TEST(ParameterNames, EveryNameSurvivesCodePage1251) {
  for (int i = 0; i < kParameterCount; ++i) {
    const std::string& name = parameterName(i);
    EXPECT_EQ(cp1251ToUtf8(utf8ToCp1251(name)), name) << "index " << i;
  }
}

// The report writes the first value of a channel or general row at column
// 20, so a name must end before it. A heat-system row holds its names in
// columns 1..8 and 23..30; the value may land on the blanks after them.
TEST(ParameterNames, NamesFitTheReportColumns) {
  for (int i = 0; i <= 122; ++i) EXPECT_LE(chars(parameterName(i)), 19u) << "index " << i;
  for (int i = 90; i <= 109; ++i) {
    EXPECT_LE(chars(trimRight(parameterName(i))), 8u) << "index " << i;
  }
}

// Every row of the report with a value at column 20 begins with a name,
// whole: the value column cut none of it.
TEST(ParameterNames, EveryValueRowOfTheReportBeginsWithAWholeName) {
  std::set<std::string> names;
  for (int i = 0; i <= 122; ++i) names.insert(trimRight(parameterName(i)));
  int rows = 0;
  for (const std::string& line : parameterReportLines(ParameterTable{}, '.')) {
    const std::string text = utf8ToCp1251(line);
    const bool valueRow =
        text.size() >= 22 && text[19] == '|' && std::isdigit(static_cast<unsigned char>(text[21]));
    if (!valueRow) continue;
    ++rows;
    const std::string name = trimRight(cp1251ToUtf8(text.substr(0, 19)));
    EXPECT_FALSE(name.empty()) << line;
    EXPECT_EQ(names.count(name), 1u) << line;
  }
  EXPECT_GT(rows, 0);
}

// The Latin letters of each name, in order; all its other letters are
// Cyrillic. Where the alphabets look alike a wrong one changes the report's
// bytes: a Cyrillic 'С' in "Cмещение" (16) or a Latin 'o' in "Серийный номер".
std::string latinLetters(int index) {
  if (index == 8) return "DCON";
  if (index == 9) return "W";
  if (index == 10 || index == 11) return "G";
  if (index == 12) return "Gconst";
  if (index == 16 || index == 54 || index == 55) return "C";
  if (index == 52) return "constC";
  if (index == 53 || (index >= 90 && index <= 109)) return "w";
  if (index == 68) return "Pconst";
  if (index >= 69 && index <= 72) return "P";
  if (index >= 123 && index <= 126) return "N";
  return "";
}

TEST(ParameterNames, LatinLettersOnlyWhereTheMeterHasThem) {
  for (int i = 0; i < kParameterCount; ++i) {
    std::string latin;
    for (const char c : parameterName(i)) {
      if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) latin += c;
    }
    EXPECT_EQ(latin, latinLetters(i)) << "index " << i << ": " << parameterName(i);
  }
}

TEST(ParameterNames, EveryNameIsAsciiOrCyrillic) {
  for (int i = 0; i < kParameterCount; ++i) {
    std::vector<char32_t> cps;
    ASSERT_TRUE(decodeUtf8(parameterName(i), cps)) << "index " << i;
    for (const char32_t c : cps) {
      EXPECT_TRUE(c >= 0x20 && (c < 0x7F || isCyrillic(c)))
          << "index " << i << " U+" << std::hex << static_cast<unsigned>(c);
    }
  }
}

TEST(ParameterNames, ZeroOffsetBeginsWithLatinC) {
  const std::string& name = parameterName(16);
  EXPECT_EQ(name, "Cмещение нуля,нс");
  ASSERT_FALSE(name.empty());
  EXPECT_EQ(static_cast<unsigned char>(name[0]), 0x43);
  EXPECT_EQ(name.substr(1),
            "\xD0\xBC\xD0\xB5\xD1\x89\xD0\xB5\xD0\xBD\xD0\xB8\xD0\xB5 "
            "\xD0\xBD\xD1\x83\xD0\xBB\xD1\x8F,\xD0\xBD\xD1\x81");
}

TEST(ParameterNames, TemperatureNamesMixCyrillicTeAndLatinC) {
  EXPECT_EQ(parameterName(52), "Тconst.,гр.C");
  EXPECT_EQ(parameterName(52),
            "\xD0\xA2"
            "const.,\xD0\xB3\xD1\x80.C");
  EXPECT_EQ(parameterName(54), "\xD0\xA2 \xD0\xBC\xD0\xB8\xD0\xBD.,\xD0\xB3\xD1\x80.C");
  EXPECT_EQ(parameterName(55), "\xD0\xA2 \xD0\xBC\xD0\xB0\xD0\xBA\xD1\x81.,\xD0\xB3\xD1\x80.C");
  for (const int i : {52, 53, 54, 55}) {
    const std::vector<char32_t> cps = codePoints(i);
    ASSERT_FALSE(cps.empty()) << "index " << i;
    EXPECT_EQ(cps.front(), U'\u0422') << "index " << i;  // Cyrillic capital Te
  }
  for (const int i : {52, 54, 55}) {
    EXPECT_EQ(parameterName(i).back(), 'C') << "index " << i;  // Latin C, one byte
  }
  EXPECT_EQ(parameterName(53), "\xD0\xA2w:=  1.385/1.391");
}

TEST(ParameterNames, LatinLettersWhereExpected) {
  EXPECT_EQ(parameterName(8), "DCON");
  EXPECT_EQ(parameterName(9).back(), 'W');
  for (const int i : {10, 11, 12}) EXPECT_EQ(parameterName(i)[0], 'G') << "index " << i;
  EXPECT_EQ(parameterName(12).substr(0, 6), "Gconst");
  for (const int i : {68, 69, 70, 71, 72}) EXPECT_EQ(parameterName(i)[0], 'P') << "index " << i;
  EXPECT_EQ(parameterName(68), "Pconst.,\xD0\x9C\xD0\xBF\xD0\xB0");
  EXPECT_EQ(parameterName(72), "P \xD0\xBC\xD0\xB8\xD0\xBD.,\xD0\x9C\xD0\xBF\xD0\xB0");
}

TEST(ParameterNames, BlanksAreKept) {
  // Three blanks before the comma.
  EXPECT_EQ(parameterName(13), "Вн.диаметр   ,мм");
  EXPECT_EQ(parameterName(13),
            "\xD0\x92\xD0\xBD.\xD0\xB4\xD0\xB8\xD0\xB0\xD0\xBC\xD0\xB5\xD1\x82\xD1\x80   ,"
            "\xD0\xBC\xD0\xBC");
  EXPECT_EQ(parameterName(17), "Длина кабеля , м");
  EXPECT_EQ(parameterName(112), "Окно УЗС  , мкс");
  EXPECT_EQ(
      parameterName(112),
      "\xD0\x9E\xD0\xBA\xD0\xBD\xD0\xBE \xD0\xA3\xD0\x97\xD0\xA1  , \xD0\xBC\xD0\xBA\xD1\x81");
  EXPECT_EQ(parameterName(116), "Ширина УЗС  ");
  EXPECT_EQ(parameterName(124), "Шкала  Вых.N1");
  EXPECT_EQ(parameterName(131), "Вес   вых1");
}

TEST(ParameterNames, HeatSystemNamesEndInTwoBlanks) {
  EXPECT_EQ(parameterName(90), "w1.1:=  ");
  EXPECT_EQ(parameterName(90).size(), 8u);
  EXPECT_EQ(parameterName(99), "w1.10:=  ");
  EXPECT_EQ(parameterName(99).size(), 9u);
  EXPECT_EQ(parameterName(100), "w2.1:=  ");
  EXPECT_EQ(parameterName(109), "w2.10:=  ");
  for (int n = 1; n <= 10; ++n) {
    EXPECT_EQ(parameterName(89 + n), "w1." + std::to_string(n) + ":=  ");
    EXPECT_EQ(parameterName(99 + n), "w2." + std::to_string(n) + ":=  ");
    EXPECT_EQ(parameterFormat(89 + n), (ParameterFormat{5, 2}));
    EXPECT_EQ(parameterFormat(99 + n), (ParameterFormat{5, 2}));
  }
}

TEST(ParameterNames, UnreadNames) {
  EXPECT_EQ(parameterName(123), "Индекс Вых.N1");
  EXPECT_EQ(parameterName(134), "Значение Вых.2");
  for (int i = 135; i <= 139; ++i) EXPECT_EQ(parameterName(i), "") << "index " << i;
  EXPECT_EQ(parameterName(140), "Граница 1.1");
  EXPECT_EQ(parameterName(144), "Граница 1.5");
  EXPECT_EQ(parameterName(145), "Ккор. 1.1");
  EXPECT_EQ(parameterName(149), "Ккор. 1.5");
  EXPECT_EQ(parameterName(150), "Граница 2.1");
  EXPECT_EQ(parameterName(175), "Ккор. 4.1");
  EXPECT_EQ(parameterName(179), "Ккор. 4.5");
  for (int c = 1; c <= 4; ++c) {
    for (int n = 1; n <= 5; ++n) {
      const std::string point = std::to_string(c) + "." + std::to_string(n);
      const int base = 140 + 10 * (c - 1);
      EXPECT_EQ(parameterName(base + n - 1), "Граница " + point);
      EXPECT_EQ(parameterName(base + 4 + n), "Ккор. " + point);
    }
  }
  for (int i = 180; i < kParameterCount; ++i) EXPECT_EQ(parameterName(i), "") << "index " << i;
}

TEST(ParameterFormats, Samples) {
  EXPECT_EQ(parameterFormat(10), (ParameterFormat{7, 1}));
  EXPECT_EQ(parameterFormat(20), (ParameterFormat{7, 1}));
  EXPECT_EQ(parameterFormat(19), (ParameterFormat{5, 3}));
  EXPECT_EQ(parameterFormat(29), (ParameterFormat{5, 3}));
  EXPECT_EQ(parameterFormat(52), (ParameterFormat{6, 2}));
  EXPECT_EQ(parameterFormat(56), (ParameterFormat{6, 2}));
  EXPECT_EQ(parameterFormat(68), (ParameterFormat{7, 4}));
  EXPECT_EQ(parameterFormat(73), (ParameterFormat{7, 4}));
  EXPECT_EQ(parameterFormat(50), (ParameterFormat{0, 1}));
  EXPECT_EQ(parameterFormat(113), (ParameterFormat{5, 0}));
  EXPECT_EQ(parameterFormat(120), (ParameterFormat{7, 2}));
  EXPECT_EQ(parameterFormat(121), (ParameterFormat{7, 2}));
  EXPECT_EQ(parameterFormat(122), (ParameterFormat{7, 0}));
}

TEST(ParameterFormats, ChannelsRepeatChannelOne) {
  for (int k = 2; k <= 4; ++k) {
    for (int j = 0; j < 10; ++j) {
      EXPECT_EQ(parameterFormat(10 * k + j), parameterFormat(10 + j)) << "flow " << k << "." << j;
    }
    for (int j = 0; j < 4; ++j) {
      EXPECT_EQ(parameterFormat(52 + 4 * (k - 1) + j), parameterFormat(52 + j))
          << "temperature " << k << "." << j;
    }
    for (int j = 0; j < 5; ++j) {
      EXPECT_EQ(parameterFormat(68 + 5 * (k - 1) + j), parameterFormat(68 + j))
          << "pressure " << k << "." << j;
    }
  }
  for (int i = 112; i <= 119; ++i) EXPECT_EQ(parameterFormat(i), (ParameterFormat{5, 0}));
}

// The report pads a value to its format's width: 10 characters fit a channel
// column ("| " every 12 from column 20), 8 the general rows and the heat rows.
TEST(ParameterFormats, WidthsFitTheReportColumns) {
  for (int i = 0; i <= 122; ++i) {
    EXPECT_LE(parameterFormat(i).width, channelOf(i) > 0 ? 10 : 8) << "index " << i;
  }
}

TEST(ParameterFormats, EveryReadIndexHasAWidthExceptIndexFifty) {
  for (int i = 0; i <= 122; ++i) {
    if (i == 50) continue;
    EXPECT_GT(parameterFormat(i).width, 0) << "index " << i;
  }
}

TEST(ParameterFormats, UnreadAndOutOfRangeIndicesAreZero) {
  for (int i = 123; i < kParameterCount; ++i) {
    EXPECT_EQ(parameterFormat(i), (ParameterFormat{0, 0})) << "index " << i;
  }
  EXPECT_EQ(parameterFormat(-1), (ParameterFormat{0, 0}));
  EXPECT_EQ(parameterFormat(256), (ParameterFormat{0, 0}));
}

TEST(ParameterNames, OutOfRangeIsEmpty) {
  EXPECT_EQ(parameterName(-1), "");
  EXPECT_EQ(parameterName(256), "");
  EXPECT_EQ(parameterName(100000), "");
}

TEST(ParameterNames, ListIsBuiltOnceAndMatchesLookups) {
  const auto& names = parameterNames();
  EXPECT_EQ(&names, &parameterNames());
  ASSERT_EQ(names.size(), 256u);
  for (int i = 0; i < kParameterCount; ++i) {
    EXPECT_EQ(&names[static_cast<std::size_t>(i)], &parameterName(i)) << "index " << i;
  }
}

}  // namespace
}  // namespace vardis
