#include "params/parameter_names.h"

#include <cstddef>
#include <string_view>

namespace vardis {
namespace {

struct Entry {
  int index;
  std::string_view name;
  ParameterFormat format;
};

// Parameters with their own name and format. For the channel blocks this lists
// channel 1 only; the other channels are filled from it below. 123..134 are
// never read and so have the empty format {0, 0}.
//
// Mind the look-alike letters: index 16 begins with a Latin 'C'; 52, 54 and 55
// begin with a Cyrillic 'Т' and end with a Latin 'C'; 8 ("DCON"), the 'W' of 9,
// the 'G' of 10..12, the 'P' of 68..72, the "const" of 12, 52 and 68 and the 'N'
// of 123..126 are Latin; everything else in these names is Cyrillic. Blanks are
// significant (13 has three before the comma, 124, 126, 131 and 132 have runs
// of blanks).
constexpr Entry kEntries[] = {
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

struct Block {
  int first;   // index of channel 1, position 0
  int stride;  // parameters per channel
};

constexpr int kChannelCount = 4;
constexpr Block kFlowBlock{10, 10};
constexpr Block kTemperatureBlock{52, 4};
constexpr Block kPressureBlock{68, 5};
constexpr Block kChannelBlocks[] = {kFlowBlock, kTemperatureBlock, kPressureBlock};

// Heat-energy calculation of heat systems 1 and 2: "w<s>.<n>:=" and two blanks.
constexpr int kHeatSystemFirst[] = {90, 100};
constexpr int kHeatSystemSize = 10;
constexpr ParameterFormat kHeatSystemFormat{5, 2};

// Ultrasonic signal window and width, one per channel; only channel 1 is named.
constexpr int kSignalWindowFirst = 112;
constexpr int kSignalWidthFirst = 116;
constexpr std::string_view kSignalWindowName = "Окно УЗС  , мкс";
constexpr std::string_view kSignalWidthName = "Ширина УЗС  ";
constexpr ParameterFormat kSignalFormat{5, 0};

// Read but without a name.
constexpr int kUnnamedFirst = 120;
constexpr int kUnnamedLast = 121;
constexpr ParameterFormat kUnnamedFormat{7, 2};

// Names of parameters that are not read: per channel c, five boundaries
// "Граница c.1".."Граница c.5" then five correction factors "Ккор. c.1".."Ккор. c.5".
constexpr int kCorrectionFirst = 140;
constexpr int kCorrectionStride = 10;
constexpr int kCorrectionPoints = 5;
constexpr std::string_view kBoundaryWord = "Граница";
constexpr std::string_view kFactorWord = "Ккор.";

struct Tables {
  std::array<std::string, kParameterCount> names;
  std::array<ParameterFormat, kParameterCount> formats{};
};

std::size_t slot(int index) {
  return static_cast<std::size_t>(index);
}

// "<word> <c>.<n>"
std::string pointName(std::string_view word, int channel, int point) {
  std::string name(word);
  name += ' ';
  name += std::to_string(channel);
  name += '.';
  name += std::to_string(point);
  return name;
}

Tables buildTables() {
  Tables t;

  for (const Entry& e : kEntries) {
    t.names[slot(e.index)] = std::string(e.name);
    t.formats[slot(e.index)] = e.format;
  }

  // Channels 2..4 take the format of channel 1 at the same position; no name.
  for (const Block& b : kChannelBlocks) {
    for (int j = 0; j < b.stride; ++j) {
      for (int k = 2; k <= kChannelCount; ++k) {
        t.formats[slot(b.first + (k - 1) * b.stride + j)] = t.formats[slot(b.first + j)];
      }
    }
  }

  for (int s = 0; s < 2; ++s) {
    for (int n = 1; n <= kHeatSystemSize; ++n) {
      const int index = kHeatSystemFirst[s] + n - 1;
      t.names[slot(index)] = "w" + std::to_string(s + 1) + "." + std::to_string(n) + ":=  ";
      t.formats[slot(index)] = kHeatSystemFormat;
    }
  }

  t.names[slot(kSignalWindowFirst)] = std::string(kSignalWindowName);
  t.names[slot(kSignalWidthFirst)] = std::string(kSignalWidthName);
  for (int k = 0; k < kChannelCount; ++k) {
    t.formats[slot(kSignalWindowFirst + k)] = kSignalFormat;
    t.formats[slot(kSignalWidthFirst + k)] = kSignalFormat;
  }

  for (int index = kUnnamedFirst; index <= kUnnamedLast; ++index) {
    t.formats[slot(index)] = kUnnamedFormat;
  }

  for (int c = 1; c <= kChannelCount; ++c) {
    const int base = kCorrectionFirst + (c - 1) * kCorrectionStride;
    for (int n = 1; n <= kCorrectionPoints; ++n) {
      t.names[slot(base + n - 1)] = pointName(kBoundaryWord, c, n);
      t.names[slot(base + kCorrectionPoints + n - 1)] = pointName(kFactorWord, c, n);
    }
  }

  return t;
}

const Tables& tables() {
  static const Tables t = buildTables();
  return t;
}

bool inRange(int index) {
  return index >= 0 && index < kParameterCount;
}

}  // namespace

const std::array<std::string, kParameterCount>& parameterNames() {
  return tables().names;
}

const std::string& parameterName(int index) {
  static const std::string empty;
  return inRange(index) ? tables().names[slot(index)] : empty;
}

ParameterFormat parameterFormat(int index) {
  return inRange(index) ? tables().formats[slot(index)] : ParameterFormat{0, 0};
}

}  // namespace vardis
