// Literal texts of the archive reports, byte for byte (UTF-8 here; the report
// file writes them in code page 1251). Several mix Latin and Cyrillic
// look-alike letters on purpose: other programs match these texts exactly.
#pragma once

namespace vardis::report_text {

inline constexpr const char* kHourlyTitle = "Протокол среднечасовых значений за сутки:";
inline constexpr const char* kDailyTitle = "Протокол среднесуточных значений за месяц:";
inline constexpr const char* kMonthlyTitle = "Протокол среднемесячных значений за месяц:";
inline constexpr const char* kHourlySerial = "Теплосчетчик \"ВАРДИС\":    серийный №: ";
inline constexpr const char* kDailySerial = "Теплосчетчик \"ВАРДИС\":    серийный номер :";
inline constexpr const char* kHourlyHeaderMass =
    "| Час |   M1,  |   M2,  |   M3,  |   M4,  |   T1,  |   T2,  |   T3,  |   T4,  |   P1, |   P2, "
    "|   P3, |   P4, |   W1,   |   W2,   |  B1, |  B2, |  Тс, |";
inline constexpr const char* kHourlyHeaderVolume =
    "| Час |   G1,  |   G2,  |   G3)  |   G4,  |   T1,  |   T2,  |   T3,  |   T4,  |   P1, |   P2, "
    "|   P3, |   P4, |   W1,   |   W2,   |  B1, |  B2, |  Тс, |";
inline constexpr const char* kUnitsMass =
    "|     |  т/ч   |  т/ч   |  т/ч   |  т/ч   |  гр.С  |   гр.С |   гр.С |   гр.С |  Мпа  |  Мпа  "
    "|  Мпа  |  Мпа  | ";
inline constexpr const char* kUnitsVolume =
    "|     |  м3/ч  |  м3/ч  |  м3/ч  |  м3/ч  |  гр.С  |   гр.С |   гр.С |   гр.С |  Мпа  |  Мпа  "
    "|  Мпа  |  Мпа  | ";
inline constexpr const char* kUnitsHeatJoin = "/ч  | ";
inline constexpr const char* kHourlyUnitsEnd = "/ч  |   ч  |   ч  |   ч  |";
inline constexpr const char* kDailyUnitsEnd = "/ч  |   ч   |   ч   |   ч   |";
inline constexpr const char* kDailyHeaderMass =
    "| Сут |   M1,  |   M2,  |   M3,  |   M4,  |   T1,  |   T2,  |   T3,  |   T4,  |   P1, |   P2, "
    "|   P3, |   P4, |    W1,  |    W2,  |   B1, |   B2, |   Тс, |";
inline constexpr const char* kDailyHeaderVolume =
    "|     |   G1,  |   G2,  |   G3)  |   G4,  |   T1,  |   T2,  |   T3,  |   T4,  |   P1, |   P2, "
    "|   P3, |   P4, |    W1,  |    W2,  |   B1, |   B2, |   Тс, |";
inline constexpr const char* kMonthlyHeaderMass =
    "| Сут |   M1,  |   M2,  |   M3,  |   M4,  |   T1,  |   T2,  |   T3,  |   T4,  |   P1, |   P2, "
    "|   P3, |   P4, |    W1,  |    W2,  |  B1,  |  B2,  |  Тс,  |";
inline constexpr const char* kMonthlyHeaderVolume =
    "|     |   G1,  |   G2,  |   G3)  |   G4,  |   T1,  |   T2,  |   T3,  |   T4,  |   P1, |   P2, "
    "|   P3, |   P4, |    W1,  |    W2,  |  B1,  |  B2,  |  Тс,  |";
inline constexpr const char* kDayLabel = "|Cут. : ";
inline constexpr const char* kNoMainsTime = "Время отсутствия сети Toc ,час : ";
inline constexpr const char* kAbnormalTime1 =
    "Время нештатных ситуаций по 1-й системе Tнc1 , час : ";
inline constexpr const char* kAbnormalTime2 =
    "Время нештатных ситуаций по 2-й системе Tнc2 , час : ";
inline constexpr const char* kIntegratorsAtDayEnd = "Значение интеграторов на 23 час 59 мин 59 сек";
inline constexpr const char* kMassLabel = "M1 , т";
inline constexpr const char* kVolumeLabel = "G1 , м3";
inline constexpr const char* kRunTime1 = "В1 , час : ";
inline constexpr const char* kMainsTimeTotal = "ТC , час : ";
inline constexpr const char* kAbnormalTitle = "          Нештатные ситуации за интервал ";
inline constexpr const char* kAbnormalHeaderHour =
    "| Час |   Обозначение НС                             |";
inline constexpr const char* kAbnormalHeaderDay =
    "| Сут |   Обозначение НС                             |";
inline constexpr const char* kIntegratorsAtMonthEnd = "Значение интеграторов на конец месяца:";
inline constexpr const char* kIntegratorsAtDayPrefix =
    "Значение интеграторов на 23 час 59 мин 59 сек ";
inline constexpr const char* kIncrementsMonth = "Прирост интеграторов за месяц:";
inline constexpr const char* kIncrementsSoFarPrefix =
    "Прирост интеграторов c начала месяца на 23 час 59 мин 59 сек ";
inline constexpr const char* kMassHeading = "Потребленная масса энергоносителя:";
inline constexpr const char* kHeatHeading = "Тепловая энергия:";
inline constexpr const char* kRunTimeHeading = "Время наработки:";
inline constexpr const char* kMainsHeading = "Время сети:";
inline constexpr const char* kMonthlyMassLabel1 = "М1 : ";

}  // namespace vardis::report_text
