// Fuzzes the simulator's meter data reader: any text is either taken or
// refused with a DataError that says why; a refused text changes nothing, and
// the meter answers every request after a text it took.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string_view>

#include "link/frame.h"
#include "sim/meter_model.h"
#include "sim/time_source.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

// 2011-04-08 09:05 in milliseconds since 2000-01-01.
constexpr std::int64_t kStartMs = ((4115LL * 24 + 9) * 60 + 5) * 60 * 1000;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vardis;
  using namespace vardis::sim;
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  const auto time = std::make_shared<ManualTimeSource>(kStartMs);
  MeterModel model(time);
  const ClockReading clockBefore = model.clock();
  bool taken = false;
  try {
    model.loadJson(text);
    taken = true;
  } catch (const DataError& e) {
    check(e.what()[0] != '\0');
  }
  // Any other exception escapes and is reported as a crash.

  if (!taken) {
    // Nothing was applied: the defaults still stand.
    check(model.address() == 0);
    check(model.clock().packed == clockBefore.packed);
    check(model.parameter(0) == defaultParameter(0));
    return 0;
  }

  // The meter answers what it holds, at its own address, with whole frames.
  const std::uint8_t address = model.address();
  const std::uint8_t commands[] = {1, 4, 5, 8, 11, 12};
  const ClockReading clock = model.clock();
  for (const std::uint8_t command : commands) {
    for (const std::uint8_t index : {0, 9, 17, 255}) {
      const Frame request = buildFrame(address, command, index, 0, clock.packed / 100 * 100);
      const auto reply = model.answer(request);
      check(reply.has_value());
      check((*reply)[0] == kStartMark && (*reply)[10] == kFrameEnd);
      check(frameSum(reply->data()) == (*reply)[9]);
    }
  }
  for (int kind = 0; kind <= 3; ++kind) {
    for (int quantity : {0, 5, 17}) {
      (void)model.archiveValue(static_cast<RecordKind>(kind), clock.packed / 100 * 100, quantity);
    }
  }
  return 0;
}
