// Internals shared by the expression sources.
#pragma once

#include <new>
#include <stdint.h>
#include <strings.h>

#include "qcommon/qc_assert.h"
#include "qrender/qr_expressions.h"

// Truncation toward zero; out-of-range values and NaN give INT32_MIN, as the
// processor's conversion does, instead of undefined behaviour.
int32_t QR_FloatToInt(float aValue);

// Constructors of the keyword nodes, by source.
QR_Expression* QR_CreateMathExpression(const char* aToken);
QR_Expression* QR_CreateCondExpression(const char* aToken);

// A keyword and the constructor of its node.
struct QR_Keyword
{
    const char* myName;
    QR_Expression* (*myCreate)();
};

template <class Node> QR_Expression* QR_NewExpression()
{
    return new (std::nothrow) Node;
}

// The node of the keyword named aToken (without regard to case) in aKeywords, or null.
template <int Count> QR_Expression* QR_CreateFromKeywords(const QR_Keyword (&aKeywords)[Count], const char* aToken)
{
    for (const QR_Keyword& locKeyword : aKeywords)
        if (strcasecmp(aToken, locKeyword.myName) == 0)
            return locKeyword.myCreate();
    return nullptr;
}
