// The arithmetic keyword nodes of the expression language.
#include <math.h>
#include <new>
#include <strings.h>

#include "qrender/qr_expressions_local.h"

#define QR_UNARY_ACCEPTS                                                                                    \
    bool AcceptsParams(int aCount) const override { return aCount == 1; }
#define QR_BINARY_ACCEPTS                                                                                   \
    bool AcceptsParams(int aCount) const override { return aCount == 2; }

class QR_SinExpression : public QR_Expression
{
public:
    QR_UNARY_ACCEPTS
    float Evaluate() override
    {
        QC_ASSERT(myNumParams == 1);
        return sinf(Param(0));
    }
};

class QR_CosExpression : public QR_Expression
{
public:
    QR_UNARY_ACCEPTS
    float Evaluate() override
    {
        QC_ASSERT(myNumParams == 1);
        return cosf(Param(0));
    }
};

class QR_TanExpression : public QR_Expression
{
public:
    QR_UNARY_ACCEPTS
    float Evaluate() override
    {
        QC_ASSERT(myNumParams == 1);
        return tanf(Param(0));
    }
};

class QR_AtanExpression : public QR_Expression
{
public:
    QR_UNARY_ACCEPTS
    float Evaluate() override
    {
        QC_ASSERT(myNumParams == 1);
        return atanf(Param(0));
    }
};

class QR_SqrExpression : public QR_Expression
{
public:
    QR_UNARY_ACCEPTS
    float Evaluate() override
    {
        QC_ASSERT(myNumParams == 1);
        float a = Param(0);
        return a * a;
    }
};

class QR_SqrtExpression : public QR_Expression
{
public:
    QR_UNARY_ACCEPTS
    float Evaluate() override
    {
        QC_ASSERT(myNumParams == 1);
        return sqrtf(Param(0));
    }
};

class QR_RndExpression : public QR_Expression
{
public:
    QR_BINARY_ACCEPTS
    float Evaluate() override
    {
        QC_ASSERT(myNumParams == 2);
        float a = Param(0);
        float b = Param(1);
        return a + (float)Random() * (b - a) / 32767.0f;
    }
};

class QR_RoundExpression : public QR_Expression
{
public:
    QR_UNARY_ACCEPTS
    float Evaluate() override
    {
        QC_ASSERT(myNumParams == 1);
        return (float)QR_FloatToInt(Param(0));
    }
};

class QR_AbsExpression : public QR_Expression
{
public:
    QR_UNARY_ACCEPTS
    float Evaluate() override
    {
        QC_ASSERT(myNumParams == 1);
        float a = Param(0);
        return a >= 0.0f ? a : -a;
    }
};

class QR_MinExpression : public QR_Expression
{
public:
    QR_BINARY_ACCEPTS
    float Evaluate() override
    {
        QC_ASSERT(myNumParams == 2);
        float a = Param(0);
        float b = Param(1);
        return a < b ? a : b;
    }
};

class QR_MaxExpression : public QR_Expression
{
public:
    QR_BINARY_ACCEPTS
    float Evaluate() override
    {
        QC_ASSERT(myNumParams == 2);
        float a = Param(0);
        float b = Param(1);
        return a > b ? a : b;
    }
};

class QR_LimitExpression : public QR_Expression
{
public:
    bool AcceptsParams(int aCount) const override { return aCount == 3; }
    float Evaluate() override
    {
        QC_ASSERT(myNumParams == 3);
        float a = Param(0);
        float b = Param(1);
        if (a < b)
            return b;
        float c = Param(2);
        return a > c ? c : a;
    }
};

// ADD and MUL evaluate b before a; with side effects the order shows.
class QR_AddExpression : public QR_Expression
{
public:
    QR_BINARY_ACCEPTS
    float Evaluate() override
    {
        QC_ASSERT(myNumParams == 2);
        float b = Param(1);
        float a = Param(0);
        return a + b;
    }
};

class QR_SubExpression : public QR_Expression
{
public:
    QR_BINARY_ACCEPTS
    float Evaluate() override
    {
        QC_ASSERT(myNumParams == 2);
        float a = Param(0);
        float b = Param(1);
        return a - b;
    }
};

class QR_MulExpression : public QR_Expression
{
public:
    QR_BINARY_ACCEPTS
    float Evaluate() override
    {
        QC_ASSERT(myNumParams == 2);
        float b = Param(1);
        float a = Param(0);
        return a * b;
    }
};

class QR_DivExpression : public QR_Expression
{
public:
    QR_BINARY_ACCEPTS
    float Evaluate() override
    {
        QC_ASSERT(myNumParams == 2);
        float a = Param(0);
        float b = Param(1);
        return a / b;
    }
};

class QR_NegExpression : public QR_Expression
{
public:
    QR_UNARY_ACCEPTS
    float Evaluate() override
    {
        QC_ASSERT(myNumParams == 1);
        return -Param(0);
    }
};

QR_Expression* QR_CreateMathExpression(const char* aToken)
{
    struct Keyword
    {
        const char* myName;
        QR_Expression* (*myCreate)();
    };
    static const Keyword locKeywords[] = {
        {"SIN", [] { return (QR_Expression*)new (std::nothrow) QR_SinExpression; }},
        {"COS", [] { return (QR_Expression*)new (std::nothrow) QR_CosExpression; }},
        {"TAN", [] { return (QR_Expression*)new (std::nothrow) QR_TanExpression; }},
        {"ATAN", [] { return (QR_Expression*)new (std::nothrow) QR_AtanExpression; }},
        {"SQR", [] { return (QR_Expression*)new (std::nothrow) QR_SqrExpression; }},
        {"SQRT", [] { return (QR_Expression*)new (std::nothrow) QR_SqrtExpression; }},
        {"RND", [] { return (QR_Expression*)new (std::nothrow) QR_RndExpression; }},
        {"ROUND", [] { return (QR_Expression*)new (std::nothrow) QR_RoundExpression; }},
        {"ABS", [] { return (QR_Expression*)new (std::nothrow) QR_AbsExpression; }},
        {"MIN", [] { return (QR_Expression*)new (std::nothrow) QR_MinExpression; }},
        {"MAX", [] { return (QR_Expression*)new (std::nothrow) QR_MaxExpression; }},
        {"LIMIT", [] { return (QR_Expression*)new (std::nothrow) QR_LimitExpression; }},
        {"ADD", [] { return (QR_Expression*)new (std::nothrow) QR_AddExpression; }},
        {"SUB", [] { return (QR_Expression*)new (std::nothrow) QR_SubExpression; }},
        {"MUL", [] { return (QR_Expression*)new (std::nothrow) QR_MulExpression; }},
        {"DIV", [] { return (QR_Expression*)new (std::nothrow) QR_DivExpression; }},
        {"NEG", [] { return (QR_Expression*)new (std::nothrow) QR_NegExpression; }},
    };
    for (const Keyword& locKeyword : locKeywords)
        if (strcasecmp(aToken, locKeyword.myName) == 0)
            return locKeyword.myCreate();
    return nullptr;
}

QR_Expression* QR_CreateKeywordExpression(const char* aToken)
{
    if (QR_Expression* locNode = QR_CreateMathExpression(aToken))
        return locNode;
    return QR_CreateCondExpression(aToken);
}
