// The conditional, loop and sequence keyword nodes of the expression language.

#include "qrender/qr_expressions_local.h"

class QR_IfExpression : public QR_Expression
{
public:
    bool AcceptsParams(int aCount) const override { return aCount == 2 || aCount == 3; }
    float Evaluate() override
    {
        QC_ASSERT(myNumParams == 2 || myNumParams == 3);
        if (Param(0) != 0.0f)
        {
            Param(1);
            return 1.0f;
        }
        if (myNumParams == 3)
            Param(2);
        return 0.0f;
    }
};

// IFEQUAL and its kin: a is evaluated before b; c runs when the comparison
// holds, d (when present) otherwise.
template <class Compare> class QR_CompareExpression : public QR_Expression
{
public:
    bool AcceptsParams(int aCount) const override { return aCount == 3 || aCount == 4; }
    float Evaluate() override
    {
        QC_ASSERT(myNumParams == 3 || myNumParams == 4);
        float a = Param(0);
        float b = Param(1);
        if (Compare()(a, b))
        {
            Param(2);
            return 1.0f;
        }
        if (myNumParams == 4)
            Param(3);
        return 0.0f;
    }
};

struct QR_Equal
{
    bool operator()(float a, float b) const { return a == b; }
};
struct QR_NotEqual
{
    bool operator()(float a, float b) const { return a != b; }
};
struct QR_Below
{
    bool operator()(float a, float b) const { return a < b; }
};
struct QR_Above
{
    bool operator()(float a, float b) const { return a > b; }
};

typedef QR_CompareExpression<QR_Equal> QR_IfEqualExpression;
typedef QR_CompareExpression<QR_NotEqual> QR_IfNotEqualExpression;
typedef QR_CompareExpression<QR_Below> QR_IfBelowExpression;
typedef QR_CompareExpression<QR_Above> QR_IfAboveExpression;

class QR_DoExpression : public QR_Expression
{
public:
    bool AcceptsParams(int aCount) const override { return aCount == 2; }
    float Evaluate() override
    {
        QC_ASSERT(myNumParams == 2);
        int32_t locCount = QR_FloatToInt(Param(0));
        for (int32_t i = 0; i < locCount; i++)
            Param(1);
        return 0.0f;
    }
};

class QR_WhileExpression : public QR_Expression
{
public:
    bool AcceptsParams(int aCount) const override { return aCount == 2; }
    float Evaluate() override
    {
        QC_ASSERT(myNumParams == 2);
        while (Param(0) != 0.0f)
            Param(1);
        return 0.0f;
    }
};

class QR_NullExpression : public QR_Expression
{
public:
    bool AcceptsParams(int) const override { return true; }
    float Evaluate() override
    {
        for (int i = 0; i < myNumParams; i++)
            Param(i);
        return 0.0f;
    }
};

class QR_GetYExpression : public QR_Expression
{
public:
    bool AcceptsParams(int aCount) const override { return aCount == 2; }
    float Evaluate() override
    {
        QC_ASSERT(myNumParams == 2);
        return 0.0f;
    }
};

QR_Expression* QR_CreateCondExpression(const char* aToken)
{
    static const QR_Keyword locKeywords[] = {
        {"IF", QR_NewExpression<QR_IfExpression>},
        {"IFEQUAL", QR_NewExpression<QR_IfEqualExpression>},
        {"IFNOTEQUAL", QR_NewExpression<QR_IfNotEqualExpression>},
        {"IFBELOW", QR_NewExpression<QR_IfBelowExpression>},
        {"IFABOVE", QR_NewExpression<QR_IfAboveExpression>},
        {"DO", QR_NewExpression<QR_DoExpression>},
        {"WHILE", QR_NewExpression<QR_WhileExpression>},
        {"NULL", QR_NewExpression<QR_NullExpression>},
        {"GETY", QR_NewExpression<QR_GetYExpression>},
    };
    return QR_CreateFromKeywords(locKeywords, aToken);
}
