#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

#include "params/parameter_names.h"

namespace vardis {
namespace {

struct Listed {
  int index;
  const char* name;
  ParameterFormat format;
};

// The parameters that carry their own name and format (channel 1 for the
// channel blocks).
const Listed kListed[] = {
    {0, "Серийный номер", {7, 0}},
    {1, "Пароль на изм.", {4, 0}},
    {2, "Пароль на обнул.", {2, 0}},
    {3, "Отчетный день", {3, 0}},
    {4, "Авт.переход час", {2, 0}},
    {5, "Кол.УЗС каналов", {7, 0}},
    {6, "Адрес сети", {7, 0}},
    {7, "Скорость обмена", {6, 0}},
    {8, "DCON", {6, 0}},
    {9, "Ед.измерения W", {2, 0}},
    {10, "G макс., м3/час", {7, 1}},
    {11, "G мин., м3/час", {8, 2}},
    {12, "Gconst., м3/час", {8, 2}},
    {13, "Вн.диаметр   ,мм", {7, 2}},
    {14, "База датчиков,мм", {7, 2}},
    {15, "Усреднение,с", {3, 0}},
    {16, "Cмещение нуля,нс", {7, 2}},
    {17, "Длина кабеля , м", {6, 2}},
    {18, "Коэфф.коррекции", {7, 5}},
    {19, "Задержка ПЭП,мкс", {5, 3}},
    {50, "Код 100 ом.", {0, 1}},
    {51, "Код 150 ом.", {8, 1}},
    {52, "Тconst.,гр.C", {6, 2}},
    {53, "Тw:=  1.385/1.391", {5, 3}},
    {54, "Т мин.,гр.C", {6, 2}},
    {55, "Т макс.,гр.C", {6, 2}},
    {68, "Pconst.,Мпа", {7, 4}},
    {69, "P макс.изм.,Мпа", {7, 4}},
    {70, "P мин.изм.,Мпа", {7, 4}},
    {71, "P макс.,Мпа", {7, 4}},
    {72, "P мин.,Мпа", {7, 4}},
    {88, "Код АЦП 4ма.", {7, 1}},
    {89, "Код АЦП 20ма.", {7, 1}},
    {110, "Сброс", {5, 2}},
    {111, "Архив обьема", {5, 0}},
    {122, "Хорда", {7, 0}},
    {123, "Индекс Вых.N1", {0, 0}},
    {124, "Шкала  Вых.N1", {0, 0}},
    {125, "Индекс Вых.N2", {0, 0}},
    {126, "Шкала  Вых.N2", {0, 0}},
    {127, "Ток 1 вых1,ма", {0, 0}},
    {128, "Ток 2 вых1,ма", {0, 0}},
    {129, "Ток 1 вых2,ма", {0, 0}},
    {130, "Ток 2 вых2,ма", {0, 0}},
    {131, "Вес   вых1", {0, 0}},
    {132, "Вес   вых2", {0, 0}},
    {133, "Значение Вых.1", {0, 0}},
    {134, "Значение Вых.2", {0, 0}},
};

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

TEST(ParameterNames, ListedNamesAndFormats) {
  for (const Listed& p : kListed) {
    EXPECT_EQ(parameterName(p.index), p.name) << "index " << p.index;
    EXPECT_EQ(parameterFormat(p.index), p.format) << "index " << p.index;
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

TEST(ParameterNames, OnlyChannelOneIsNamed) {
  EXPECT_EQ(parameterName(20), "");
  for (int i = 20; i <= 49; ++i) EXPECT_EQ(parameterName(i), "") << "index " << i;
  for (int i = 56; i <= 67; ++i) EXPECT_EQ(parameterName(i), "") << "index " << i;
  for (int i = 73; i <= 87; ++i) EXPECT_EQ(parameterName(i), "") << "index " << i;
  for (int i = 113; i <= 115; ++i) EXPECT_EQ(parameterName(i), "") << "index " << i;
  for (int i = 117; i <= 119; ++i) EXPECT_EQ(parameterName(i), "") << "index " << i;
  EXPECT_EQ(parameterName(120), "");
  EXPECT_EQ(parameterName(121), "");
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
