// The expression parser, the context with its registers and host variables,
// and the constant and variable nodes.
#include "qrender/qr_expressions.h"

#include <charconv>
#include <ctype.h>
#include <new>
#include <string.h>
#include <strings.h>

#include "qrender/qr_expressions_local.h"

QR_ExpressionContext* QR_ExpressionContext::ourInstance = nullptr;

namespace
{
// Deeper nesting than any model needs; it keeps a hostile text from
// exhausting the stack.
constexpr int locMaxDepth = 200;
uint32_t locRandomSeed = 1;

bool locIsDelimiter(char aChar)
{
    return aChar == '(' || aChar == ')' || aChar == ',' || aChar == 0;
}

char* locSkipBlanks(char* aText)
{
    while (*aText == ' ' || *aText == '\t')
        aText++;
    return aText;
}
} // namespace

bool QR_ExpressionContext::Create()
{
    if (!ourInstance)
    {
        ourInstance = new (std::nothrow) QR_ExpressionContext;
        if (ourInstance)
            for (float& locRegister : ourInstance->myRegisters)
                locRegister = 0.0f;
    }
    return true;
}

void QR_ExpressionContext::Destroy()
{
    if (!ourInstance)
        return;
    ourInstance->myGameVarList.RemoveAll();
    delete ourInstance;
    ourInstance = nullptr;
}

void QR_ExpressionContext::AddVar(uint32_t aKind, void* aVariable, const char* aName)
{
    myGameVarList.AddFirst(QR_GameVar{aKind, aVariable, aName});
}

void QR_ExpressionContext::RemoveGameVar(const char* aName)
{
    myGameVarList.Reset();
    for (myGameVarList.Next(); !myGameVarList.AtEnd(); myGameVarList.Next())
        if (strcasecmp(myGameVarList.GetCurrent().myName, aName) == 0)
        {
            myGameVarList.RemoveCurrent();
            return;
        }
}

const QR_GameVar* QR_ExpressionContext::FindGameVar(const char* aName)
{
    for (QR_VL_List<QR_GameVar>::Node* locNode = myGameVarList.myFirst; locNode; locNode = locNode->myNext)
        if (strcasecmp(locNode->myItem.myName, aName) == 0)
            return &locNode->myItem;
    return nullptr;
}

QR_Expression::~QR_Expression()
{
    for (int i = 0; i < myNumParams; i++)
        delete myParams[i];
    delete[] myParams;
}

int QR_Expression::Random()
{
    locRandomSeed = locRandomSeed * 214013u + 2531011u;
    return (int)((locRandomSeed >> 16) & 0x7fff);
}

void QR_Expression::SeedRandom(uint32_t aSeed)
{
    locRandomSeed = aSeed;
}

float QR_ConstantExpression::Evaluate()
{
    QC_ASSERT(myNumParams == 0);
    return myValue;
}

float QR_VariableExpression::Evaluate()
{
    QC_ASSERT(myNumParams == 0 || myNumParams == 1);
    if (myNumParams == 0)
    {
        switch (myKind)
        {
            case QR_VAR_FLOAT:
                return *(float*)myVariable;
            case QR_VAR_DOUBLE:
                return (float)*(double*)myVariable;
            case QR_VAR_INT:
                return (float)*(int32_t*)myVariable;
            case QR_VAR_BYTE:
                return (float)*(uint8_t*)myVariable;
        }
        QC_ASSERT(0);
        return 0.0f;
    }
    float locValue = Param(0);
    switch (myKind)
    {
        case QR_VAR_FLOAT:
            *(float*)myVariable = locValue;
            break;
        case QR_VAR_DOUBLE:
            *(double*)myVariable = locValue;
            break;
        case QR_VAR_INT:
            *(int32_t*)myVariable = QR_FloatToInt(locValue);
            break;
        case QR_VAR_BYTE:
            *(uint8_t*)myVariable = (uint8_t)QR_FloatToInt(locValue);
            break;
        default:
            QC_ASSERT(0);
    }
    return locValue;
}

int32_t QR_FloatToInt(float aValue)
{
    // Out of range and NaN give the value the processor's truncation gives.
    if (!(aValue > -2147483904.0f && aValue < 2147483648.0f))
        return INT32_MIN;
    return (int32_t)aValue;
}

namespace
{
// Classifies the cut token into a new node, or null when the token names
// nothing the language knows.
QR_Expression* locCreateNode(QR_ExpressionContext* aContext, const char* aToken)
{
    if (QR_Expression* locKeyword = QR_CreateKeywordExpression(aToken))
        return locKeyword;
    if (toupper((unsigned char)aToken[0]) == 'S' && toupper((unsigned char)aToken[1]) == 'T' &&
        isdigit((unsigned char)aToken[2]))
    {
        long locIndex = 0;
        for (const char* c = aToken + 2; isdigit((unsigned char)*c) && locIndex < QR_ExpressionContext::NUM_REGISTERS;
             c++)
            locIndex = locIndex * 10 + (*c - '0');
        if (locIndex >= QR_ExpressionContext::NUM_REGISTERS)
            return nullptr;
        return new (std::nothrow) QR_VariableExpression(QR_VAR_FLOAT, &aContext->myRegisters[locIndex]);
    }
    if (isdigit((unsigned char)aToken[0]) || aToken[0] == '-')
    {
        // The leading number of the token, in the C locale; "-" alone reads 0.
        float locValue = 0.0f;
        const char* locEnd = aToken + strlen(aToken);
        if (std::from_chars(aToken, locEnd, locValue).ec != std::errc())
            locValue = 0.0f;
        return new (std::nothrow) QR_ConstantExpression(locValue);
    }
    if (strncasecmp(aToken, "OBJECT", 6) == 0)
        return nullptr; // values of other objects are not supported
    const QR_GameVar* locVar = aContext->FindGameVar(aToken);
    if (!locVar)
        return nullptr;
    return new (std::nothrow) QR_VariableExpression(locVar->myKind, locVar->myVariable);
}

bool locAddChild(QR_Expression* aNode, QR_Expression* aChild)
{
    if (aNode->myNumParams == 255)
        return false;
    QR_Expression** locParams = new (std::nothrow) QR_Expression*[aNode->myNumParams + 1];
    if (!locParams)
        return false;
    for (int i = 0; i < aNode->myNumParams; i++)
        locParams[i] = aNode->myParams[i];
    locParams[aNode->myNumParams] = aChild;
    delete[] aNode->myParams;
    aNode->myParams = locParams;
    aNode->myNumParams++;
    return true;
}

char* locParse(QR_ExpressionContext* aContext, char* aText, QR_Expression** anOut, void* anOwner, int aReserved,
               int aDepth)
{
    *anOut = nullptr;
    if (aDepth > locMaxDepth)
        return nullptr;
    char* locToken = locSkipBlanks(aText);
    char* locEnd = locToken;
    while (!locIsDelimiter(*locEnd))
        locEnd++;
    char locDelimiter = *locEnd;
    *locEnd = 0;
    QR_Expression* locNode = locCreateNode(aContext, locToken);
    *locEnd = locDelimiter;
    if (!locNode)
        return nullptr;

    char* locPosition;
    switch (locDelimiter)
    {
        case ',':
            locPosition = locEnd + 1;
            break;
        case ')':
        case 0:
            // The caller sees the ")" or the end of the text itself.
            locPosition = locEnd;
            break;
        default:
        {
            locPosition = locEnd + 1;
            for (;;)
            {
                locPosition = locSkipBlanks(locPosition);
                char* locScan = locPosition;
                while (*locScan && *locScan != '(' && *locScan != ',' && *locScan != ')')
                    locScan++;
                // An argument list that runs to the end of the text is not closed.
                if (!*locScan)
                {
                    delete locNode;
                    return nullptr;
                }
                QR_Expression* locChild;
                locPosition = locParse(aContext, locPosition, &locChild, anOwner, aReserved, aDepth + 1);
                if (!locPosition || !locAddChild(locNode, locChild))
                {
                    delete locChild;
                    delete locNode;
                    return nullptr;
                }
                if (*locPosition == ')')
                {
                    locPosition++;
                    break;
                }
                if (*locPosition == ',')
                    locPosition++;
                else if (!*locPosition)
                {
                    delete locNode;
                    return nullptr;
                }
            }
        }
    }
    if (!locNode->AcceptsParams(locNode->myNumParams))
    {
        delete locNode;
        return nullptr;
    }
    *anOut = locNode;
    return locPosition;
}
} // namespace

char* QR_Expression::Parse(QR_ExpressionContext* aContext, char* aText, QR_Expression** anOut, void* anOwner,
                           int aReserved)
{
    QC_ASSERT(aContext != NULL);
    return locParse(aContext, aText, anOut, anOwner, aReserved, 0);
}
