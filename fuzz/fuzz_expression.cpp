// The expression parser: the input is expression text, parsed as a placed
// object parses its expressions (one after another from a private copy).
// Trees without loops are evaluated too.
#include <strings.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "qrender/qr_expressions.h"

// DO and WHILE run as long as the text asks, which may be forever.
static bool locMayLoop(const char* aText)
{
    return strcasestr(aText, "DO") || strcasestr(aText, "WHILE");
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize)
{
    static float ourTime = 12.5f;
    static float ourElapsedTime = 0.02f;
    static double ourDouble = -3.25;
    static int32_t ourInt = 7;
    static uint8_t ourByte = 200;
    if (!QR_ExpressionContext::GetInstance())
    {
        QR_ExpressionContext::Create();
        QR_ExpressionContext* locContext = QR_ExpressionContext::GetInstance();
        locContext->AddFloatVar(&ourTime, "TIME");
        locContext->AddFloatVar(&ourElapsedTime, "ETIME");
        locContext->AddDoubleVar(&ourDouble, "DVAR");
        locContext->AddIntVar(&ourInt, "IVAR");
        locContext->AddByteVar(&ourByte, "BVAR");
    }
    QR_ExpressionContext* locContext = QR_ExpressionContext::GetInstance();

    std::vector<char> locText(aData, aData + aSize);
    locText.push_back(0);
    const bool locEvaluate = !locMayLoop(locText.data());
    char* locPosition = locText.data();
    for (int i = 0; i < 16 && locPosition && *locPosition; i++)
    {
        QR_Expression* locTree = nullptr;
        char* locNext = QR_Expression::Parse(locContext, locPosition, &locTree, nullptr, 0);
        if (locTree && locEvaluate)
            locTree->Evaluate();
        delete locTree;
        // A parse that stops on a ")" it does not own leaves the position there.
        if (locNext == locPosition)
            locNext++;
        locPosition = locNext;
    }
    return 0;
}
