#include "format/decimal_text.h"

#include <gtest/gtest.h>

TEST(DecimalText, Placeholder) {
  EXPECT_EQ(vardis::meterNumberText(0.5), "0.5");
}
