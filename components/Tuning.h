// Stepping a component's value by notches, as the mouse wheel over its value label does: a
// value through its series of preferred values, a transformer's turns by one, a coupling
// coefficient by a hundredth.
#pragma once

#include <optional>

#include "components/CCmp.h"
#include "value/ESeries.h"

enum class ParamStep { Series, Turns, Coupling };

// How parameter j of a kind steps.
ParamStep StepOf(int kind, int j);

// The parameter `notches` steps on from `current` (negative notches step down), with the text
// it is written as; none where it cannot step (a value of zero, below zero or not finite, the
// end of the written range, or a coefficient already at the end it would pass).
std::optional<SParam> SteppedParam(int kind, int j, const SParam& current, ESeries series,
                                   int notches);
