// Internals shared by the expression sources.
#pragma once

#include <stdint.h>

#include "qcommon/qc_assert.h"
#include "qrender/qr_expressions.h"

// Truncation toward zero; out-of-range values and NaN give INT32_MIN, as the
// processor's conversion does, instead of undefined behaviour.
int32_t QR_FloatToInt(float aValue);

// Constructors of the keyword nodes, by source.
QR_Expression* QR_CreateMathExpression(const char* aToken);
QR_Expression* QR_CreateCondExpression(const char* aToken);
