// Stepping turns and coupling coefficients by notches; series values step as their series does.
#include <gtest/gtest.h>

#include "components/Tuning.h"
#include "value/Value.h"

namespace {

TEST(Tuning, TurnsAndCouplingStepWithinTheirRange) {
  struct SCase {
    int Kind;
    int Param;
    double From;
    int Notches;
    const char* To;  // none: no step
  };
  const SCase cases[] = {
      {KindW, 0, 3, 1, "4"},        {KindW, 1, 1, -1, "-1"},     {KindW, 0, 2.6, -2, "1"},
      {KindLC, 2, 0.5, -3, "0.47"}, {KindLC, 2, 0.99, 2, "1"},   {KindLC, 2, 1, 1, nullptr},
      {KindLC, 2, -1, -1, nullptr}, {KindLC, 0, 1e-3, 1, "1m2"}, {KindR, 0, 0, 1, nullptr},
  };
  for (const SCase& c : cases) {
    const auto next = SteppedParam(c.Kind, c.Param, {c.From, ""}, ESeries::E12, c.Notches);
    ASSERT_EQ(next.has_value(), c.To != nullptr) << c.Kind << " " << c.From;
    if (!next) continue;
    EXPECT_EQ(next->Text, c.To);
    EXPECT_EQ(next->Value, ParseValue(c.To));
  }
}

}  // namespace
