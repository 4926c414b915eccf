#include "params/parameter_session.h"

namespace vardis {

Reply readParameter(ParameterSession& s, std::uint8_t index) {
  s.link.addr.valueIndex = index;
  return s.link.ReadParameterTransaction(
      [&s, index](const Reply& r) { s.params.store(index, r.asFloat(), r.good); });
}

}  // namespace vardis
