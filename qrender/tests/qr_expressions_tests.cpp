// The expression language: every keyword, registers and host variables, the
// parser's quirks and the texts it refuses.
#include <gtest/gtest.h>

#include <math.h>
#include <string>

#include "qrender/qr_expressions.h"

namespace
{
class QR_ExpressionTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QR_ExpressionContext::Create();
        myContext = QR_ExpressionContext::GetInstance();
    }
    void TearDown() override { QR_ExpressionContext::Destroy(); }

    // Parses a private copy; null when the text is refused.
    QR_Expression* Parse(const char* aText, std::string* aRest = nullptr)
    {
        myText.assign(aText, strlen(aText) + 1);
        QR_Expression* locNode = reinterpret_cast<QR_Expression*>(1);
        char* locEnd = QR_Expression::Parse(myContext, myText.data(), &locNode, this, 0);
        if (!locEnd)
        {
            EXPECT_EQ(locNode, nullptr) << aText;
            return nullptr;
        }
        if (aRest)
            *aRest = locEnd;
        return locNode;
    }

    float Eval(const char* aText)
    {
        QR_Expression* locNode = Parse(aText);
        EXPECT_NE(locNode, nullptr) << aText;
        if (!locNode)
            return NAN;
        float locValue = locNode->Evaluate();
        delete locNode;
        return locValue;
    }

    float& ST(int anIndex) { return myContext->myRegisters[anIndex]; }

    QR_ExpressionContext* myContext = nullptr;
    std::string myText;
};
} // namespace

TEST_F(QR_ExpressionTest, ArithmeticKeywords)
{
    struct Case
    {
        const char* myText;
        float myValue;
    } locCases[] = {
        {"ADD(1,2)", 3.0f},           {"SUB(10, 4)", 6.0f},       {"MUL(3,-2)", -6.0f},
        {"DIV(1,4)", 0.25f},          {"NEG(2.5)", -2.5f},        {"SQR(-3)", 9.0f},
        {"SQRT(16)", 4.0f},           {"ABS(-7)", 7.0f},          {"ABS(7)", 7.0f},
        {"MIN(2,5)", 2.0f},           {"MAX(2,5)", 5.0f},         {"LIMIT(5,0,1)", 1.0f},
        {"LIMIT(-1,0,1)", 0.0f},      {"LIMIT(0.5,0,1)", 0.5f},   {"ROUND(-2.7)", -2.0f},
        {"ROUND(2.7)", 2.0f},         {"SIN(0)", 0.0f},           {"COS(0)", 1.0f},
        {"TAN(0)", 0.0f},             {"ATAN(1)", (float)M_PI / 4}, {"sin(0)", 0.0f},
        {"ADD(MUL(2,3),SUB(10,ABS(-4)))", 12.0f}, {"-", 0.0f},    {"1e2", 100.0f},
        {"GETY(ST0(5),ST0(6))", 0.0f},
    };
    for (const Case& c : locCases)
        EXPECT_NEAR(Eval(c.myText), c.myValue, 1e-6f) << c.myText;
    // GETY does not evaluate its children.
    EXPECT_FLOAT_EQ(ST(0), 0.0f);
}

TEST_F(QR_ExpressionTest, RandomNumbersComeFromFifteenBits)
{
    QR_Expression::SeedRandom(1);
    int locMax = 0;
    for (int i = 0; i < 100000; i++)
    {
        int r = QR_Expression::Random();
        ASSERT_GE(r, 0);
        locMax = r > locMax ? r : locMax;
    }
    EXPECT_LE(locMax, 32767);
    EXPECT_GT(locMax, 32000);
    QR_Expression* locNode = Parse("RND(10,20)");
    ASSERT_NE(locNode, nullptr);
    for (int i = 0; i < 1000; i++)
    {
        float v = locNode->Evaluate();
        ASSERT_GE(v, 10.0f);
        ASSERT_LE(v, 20.0f);
    }
    delete locNode;
    QR_Expression::SeedRandom(7);
    float a = Eval("RND(0,1)");
    QR_Expression::SeedRandom(7);
    EXPECT_FLOAT_EQ(Eval("RND(0,1)"), a);
}

TEST_F(QR_ExpressionTest, ConditionsAndLoops)
{
    EXPECT_FLOAT_EQ(Eval("IF(0,ST1(5))"), 0.0f);
    EXPECT_FLOAT_EQ(ST(1), 0.0f);
    EXPECT_FLOAT_EQ(Eval("IF(2,ST1(5))"), 1.0f);
    EXPECT_FLOAT_EQ(ST(1), 5.0f);
    EXPECT_FLOAT_EQ(Eval("IF(0,ST1(6),ST2(7))"), 0.0f);
    EXPECT_FLOAT_EQ(ST(2), 7.0f);

    struct Case
    {
        const char* myText;
        float myResult;
        float myST3;
    } locCases[] = {
        {"IFEQUAL(1,1,ST3(1),ST3(2))", 1.0f, 1.0f},    {"IFEQUAL(1,2,ST3(1),ST3(2))", 0.0f, 2.0f},
        {"IFNOTEQUAL(1,2,ST3(3))", 1.0f, 3.0f},        {"IFBELOW(1,2,ST3(4))", 1.0f, 4.0f},
        {"IFBELOW(2,1,ST3(9),ST3(5))", 0.0f, 5.0f},    {"IFABOVE(2,1,ST3(6))", 1.0f, 6.0f},
        // With NaN only "not equal" holds.
        {"IFEQUAL(DIV(0,0),1,ST3(9),ST3(7))", 0.0f, 7.0f},
        {"IFNOTEQUAL(DIV(0,0),DIV(0,0),ST3(8))", 1.0f, 8.0f},
        {"IFABOVE(DIV(0,0),1,ST3(9),ST3(10))", 0.0f, 10.0f},
    };
    for (const Case& c : locCases)
    {
        EXPECT_FLOAT_EQ(Eval(c.myText), c.myResult) << c.myText;
        EXPECT_FLOAT_EQ(ST(3), c.myST3) << c.myText;
    }

    ST(0) = 0.0f;
    EXPECT_FLOAT_EQ(Eval("DO(3,ST0(ADD(ST0,1)))"), 0.0f);
    EXPECT_FLOAT_EQ(ST(0), 3.0f);
    EXPECT_FLOAT_EQ(Eval("DO(-2,ST0(ADD(ST0,1)))"), 0.0f);
    EXPECT_FLOAT_EQ(Eval("DO(2.9,ST0(ADD(ST0,1)))"), 0.0f);
    EXPECT_FLOAT_EQ(ST(0), 5.0f);
    EXPECT_FLOAT_EQ(Eval("WHILE(IFBELOW(ST0,10,NULL),ST0(ADD(ST0,2)))"), 0.0f);
    EXPECT_FLOAT_EQ(ST(0), 11.0f);
    EXPECT_FLOAT_EQ(Eval("NULL(ST4(1),ST5(2),ST6(3))"), 0.0f);
    EXPECT_FLOAT_EQ(ST(6), 3.0f);
    EXPECT_FLOAT_EQ(Eval("ST3(ADD(ST3,1))"), 11.0f);
}

TEST_F(QR_ExpressionTest, AddAndMulEvaluateTheirSecondArgumentFirst)
{
    ST(7) = 1.0f;
    // b doubles ST7 first, then a reads it: 2 + 2.
    EXPECT_FLOAT_EQ(Eval("ADD(ST7,ST7(MUL(ST7,2)))"), 4.0f);
    ST(7) = 1.0f;
    EXPECT_FLOAT_EQ(Eval("MUL(ST7,ST7(3))"), 9.0f);
    // SUB evaluates a first.
    ST(7) = 1.0f;
    EXPECT_FLOAT_EQ(Eval("SUB(ST7,ST7(3))"), -2.0f);
}

TEST_F(QR_ExpressionTest, HostVariablesOfEveryKind)
{
    float locTime = 2.5f;
    double locDouble = 1.25;
    int32_t locInt = -3;
    uint8_t locByte = 200;
    myContext->AddFloatVar(&locTime, "TIME");
    myContext->AddDoubleVar(&locDouble, "Precise");
    myContext->AddIntVar(&locInt, "count");
    myContext->AddByteVar(&locByte, "alpha");
    EXPECT_FLOAT_EQ(Eval("time"), 2.5f);
    EXPECT_FLOAT_EQ(Eval("ADD(PRECISE,COUNT)"), -1.75f);
    EXPECT_FLOAT_EQ(Eval("alpha"), 200.0f);

    EXPECT_FLOAT_EQ(Eval("COUNT(-7.9)"), -7.9f);
    EXPECT_EQ(locInt, -7);
    EXPECT_FLOAT_EQ(Eval("ALPHA(300)"), 300.0f);
    EXPECT_EQ(locByte, 300 & 0xFF);
    Eval("PRECISE(0.5)");
    EXPECT_DOUBLE_EQ(locDouble, 0.5);

    // The newest registration wins until it is removed.
    float locOther = 9.0f;
    myContext->AddFloatVar(&locOther, "Time");
    EXPECT_FLOAT_EQ(Eval("TIME"), 9.0f);
    myContext->RemoveGameVar("TIME");
    EXPECT_FLOAT_EQ(Eval("TIME"), 2.5f);
    myContext->RemoveGameVar("nothing");
    myContext->ClearGameVars();
    EXPECT_EQ(Parse("TIME"), nullptr);
}

TEST_F(QR_ExpressionTest, ParserQuirksAndRefusals)
{
    // NULL without an argument list is valid; NULL() looks up an empty name.
    QR_Expression* locNull = Parse("NULL");
    ASSERT_NE(locNull, nullptr);
    EXPECT_EQ(locNull->myNumParams, 0);
    EXPECT_FLOAT_EQ(locNull->Evaluate(), 0.0f);
    delete locNull;
    EXPECT_EQ(Parse("NULL()"), nullptr);

    // A blank before "(" joins the token: "SIN " is no keyword and no variable.
    EXPECT_EQ(Parse("SIN (1)"), nullptr);
    // ...so it stores into a variable of that name, when there is one.
    float locVar = 0.0f;
    myContext->AddFloatVar(&locVar, "SIN ");
    EXPECT_FLOAT_EQ(Eval("SIN (1)"), 1.0f);
    EXPECT_FLOAT_EQ(locVar, 1.0f);
    myContext->ClearGameVars();

    const char* locRefused[] = {
        "ST100",         // no such register
        "ST999(1)",
        "UNKNOWN",       // unregistered name
        "OBJECT.x",      // values of other objects
        "ADD(1,2",       // argument list not closed
        "ADD(1,",
        "SIN(",
        "ADD(1)",        // wrong number of arguments
        "ADD(1,2,3)",
        "LIMIT(1,2)",
        "IF(1)",
        "IFEQUAL(1,2)",
        "IFEQUAL(1,2,3,4,5)",
        "5(1)",          // a constant takes no arguments
        "ST1(1,2)",
        "SIN(ADD(1,2,3))",
    };
    for (const char* locText : locRefused)
        EXPECT_EQ(Parse(locText), nullptr) << locText;

    std::string locDeep;
    for (int i = 0; i < 1000; i++)
        locDeep += "NEG(";
    locDeep += "1";
    locDeep += std::string(1000, ')');
    EXPECT_EQ(Parse(locDeep.c_str()), nullptr);
}

TEST_F(QR_ExpressionTest, ParseReturnsThePositionAfterTheExpression)
{
    std::string locRest;
    QR_Expression* locNode = Parse("ADD(1,2)tail", &locRest);
    ASSERT_NE(locNode, nullptr);
    EXPECT_EQ(locRest, "tail");
    delete locNode;
    locNode = Parse("  ST99,next", &locRest);
    ASSERT_NE(locNode, nullptr);
    EXPECT_EQ(locRest, "next");
    delete locNode;
    locNode = Parse("ST2)", &locRest);
    ASSERT_NE(locNode, nullptr);
    EXPECT_EQ(locRest, ")");
    delete locNode;
    // Blanks after a comma and before an argument are skipped.
    EXPECT_FLOAT_EQ(Eval("ADD( 1,\t2)"), 3.0f);
}
