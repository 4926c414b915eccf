#include "app/chart_common.h"

#include <QColor>
#include <iterator>

namespace vardis::chart_common {

namespace {

constexpr UnitText kUnitTexts[] = {
    {"t/h", "Расход", "Массовый расход, т/ч", "т/ч"},
    {"m3/h", "Расход", "Объёмный расход, м³/ч", "м³/ч"},
    {"degC", "Температура", "Температура, °C", "°C"},
    {"MPa", "Давление", "Давление, МПа", "МПа"},
    {"GJ", "Тепло", "Тепловая энергия, ГДж", "ГДж"},
    {"Gcal", "Тепло", "Тепловая энергия, Гкал", "Гкал"},
    {"h", "Время", "Время работы (B1, B2) и время сети (Tc), ч", "ч"},
};

}  // namespace

const UnitText* unitText(const std::string& unit) {
  for (const UnitText& t : kUnitTexts) {
    if (unit == t.unit) return &t;
  }
  return nullptr;
}

const QColor& channelColour(std::size_t index) {
  static const QColor colours[] = {QColor(0x1f, 0x77, 0xb4), QColor(0x2c, 0xa0, 0x2c),
                                   QColor(0xff, 0x7f, 0x0e), QColor(0x94, 0x67, 0xbd),
                                   QColor(0x8c, 0x56, 0x4b)};
  return colours[index % std::size(colours)];
}

}  // namespace vardis::chart_common
