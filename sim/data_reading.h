// Checks shared by the readers of meter data files (meter_data.cpp) and of
// their numbers list (numbers.cpp). Each throws DataError naming the place in
// the file ("where", a path like "numbers[2].faults") and what was wrong.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <nlohmann/json.hpp>
#include <string>

namespace vardis::sim::data {

using nlohmann::json;

[[noreturn]] void fail(const std::string& where, const std::string& what);
std::string typeName(const json& v);
const json& requireObject(const json& v, const std::string& where);
double numberOf(const json& v, const std::string& where);
std::uint64_t unsignedOf(const json& v, const std::string& where, std::uint64_t max);
void rejectUnknownKeys(const json& object, const std::string& where,
                       std::initializer_list<const char*> known);
const json& member(const json& object, const char* key, const std::string& where);

}  // namespace vardis::sim::data
