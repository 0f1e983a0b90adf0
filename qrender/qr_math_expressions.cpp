// The arithmetic keyword nodes of the expression language.
#include <math.h>

#include "qrender/qr_expressions_local.h"

// A keyword node of one parameter whose value is Operation of it.
template <float (*Operation)(float)> class QR_UnaryExpression : public QR_Expression
{
public:
    bool AcceptsParams(int aCount) const override { return aCount == 1; }
    float Evaluate() override
    {
        QC_ASSERT(myNumParams == 1);
        return Operation(Param(0));
    }
};

// A keyword node of two parameters whose value is Operation of them. a is
// evaluated before b unless BFirst: ADD and MUL evaluate b before a, and with
// side effects the order shows.
template <float (*Operation)(float, float), bool BFirst = false>
class QR_BinaryExpression : public QR_Expression
{
public:
    bool AcceptsParams(int aCount) const override { return aCount == 2; }
    float Evaluate() override
    {
        QC_ASSERT(myNumParams == 2);
        float a, b;
        if constexpr (BFirst)
        {
            b = Param(1);
            a = Param(0);
        }
        else
        {
            a = Param(0);
            b = Param(1);
        }
        return Operation(a, b);
    }
};

typedef QR_UnaryExpression<[](float a) { return sinf(a); }> QR_SinExpression;
typedef QR_UnaryExpression<[](float a) { return cosf(a); }> QR_CosExpression;
typedef QR_UnaryExpression<[](float a) { return tanf(a); }> QR_TanExpression;
typedef QR_UnaryExpression<[](float a) { return atanf(a); }> QR_AtanExpression;
typedef QR_UnaryExpression<[](float a) { return a * a; }> QR_SqrExpression;
typedef QR_UnaryExpression<[](float a) { return sqrtf(a); }> QR_SqrtExpression;
typedef QR_UnaryExpression<[](float a) { return (float)QR_FloatToInt(a); }> QR_RoundExpression;
typedef QR_UnaryExpression<[](float a) { return (a >= 0.0f) ? a : -a; }> QR_AbsExpression;
typedef QR_UnaryExpression<[](float a) { return -a; }> QR_NegExpression;

// The generator runs after both bounds are evaluated.
static float QR_RandomBetween(float a, float b)
{
    return a + (float)QR_Expression::Random() * (b - a) / 32767.0f;
}

typedef QR_BinaryExpression<QR_RandomBetween> QR_RndExpression;
typedef QR_BinaryExpression<[](float a, float b) { return (a < b) ? a : b; }> QR_MinExpression;
typedef QR_BinaryExpression<[](float a, float b) { return (a > b) ? a : b; }> QR_MaxExpression;
typedef QR_BinaryExpression<[](float a, float b) { return a + b; }, true> QR_AddExpression;
typedef QR_BinaryExpression<[](float a, float b) { return a - b; }> QR_SubExpression;
typedef QR_BinaryExpression<[](float a, float b) { return a * b; }, true> QR_MulExpression;
typedef QR_BinaryExpression<[](float a, float b) { return a / b; }> QR_DivExpression;

// c is evaluated only when a is not below b.
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

QR_Expression* QR_CreateMathExpression(const char* aToken)
{
    static const QR_Keyword locKeywords[] = {
        {"SIN", QR_NewExpression<QR_SinExpression>},
        {"COS", QR_NewExpression<QR_CosExpression>},
        {"TAN", QR_NewExpression<QR_TanExpression>},
        {"ATAN", QR_NewExpression<QR_AtanExpression>},
        {"SQR", QR_NewExpression<QR_SqrExpression>},
        {"SQRT", QR_NewExpression<QR_SqrtExpression>},
        {"RND", QR_NewExpression<QR_RndExpression>},
        {"ROUND", QR_NewExpression<QR_RoundExpression>},
        {"ABS", QR_NewExpression<QR_AbsExpression>},
        {"MIN", QR_NewExpression<QR_MinExpression>},
        {"MAX", QR_NewExpression<QR_MaxExpression>},
        {"LIMIT", QR_NewExpression<QR_LimitExpression>},
        {"ADD", QR_NewExpression<QR_AddExpression>},
        {"SUB", QR_NewExpression<QR_SubExpression>},
        {"MUL", QR_NewExpression<QR_MulExpression>},
        {"DIV", QR_NewExpression<QR_DivExpression>},
        {"NEG", QR_NewExpression<QR_NegExpression>},
    };
    return QR_CreateFromKeywords(locKeywords, aToken);
}

QR_Expression* QR_CreateKeywordExpression(const char* aToken)
{
    if (QR_Expression* locNode = QR_CreateMathExpression(aToken))
        return locNode;
    return QR_CreateCondExpression(aToken);
}
