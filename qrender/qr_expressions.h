// The expression language of models: small expression texts parsed once into
// trees of nodes that compute from the registers ST0-ST99 and from named
// variables of the host program. All arithmetic is in floats.
#pragma once

#include <stdint.h>

#include "qrender/qr_vl_list.h"

// Kinds of a variable a node reads or stores.
enum QR_VariableKind : uint32_t
{
    QR_VAR_FLOAT = 0,
    QR_VAR_DOUBLE = 1,
    QR_VAR_INT = 2,     // 32-bit signed
    QR_VAR_BYTE = 3,    // 8-bit unsigned
};

// A host variable registered by name. The name is not copied: the host keeps
// the text alive while the variable is registered.
struct QR_GameVar
{
    uint32_t myKind;
    void* myVariable;
    const char* myName;
};

class QR_ExpressionContext
{
public:
    static constexpr int NUM_REGISTERS = 100;

    // Creates the process-wide context when there is none; true.
    static bool Create();
    static void Destroy();
    static QR_ExpressionContext* GetInstance() { return ourInstance; }

    // Registration pushes the newest variable in front: it wins lookups until removed.
    void AddFloatVar(float* aVariable, const char* aName) { AddVar(QR_VAR_FLOAT, aVariable, aName); }
    void AddDoubleVar(double* aVariable, const char* aName) { AddVar(QR_VAR_DOUBLE, aVariable, aName); }
    void AddIntVar(int32_t* aVariable, const char* aName) { AddVar(QR_VAR_INT, aVariable, aName); }
    void AddByteVar(uint8_t* aVariable, const char* aName) { AddVar(QR_VAR_BYTE, aVariable, aName); }
    // Removes the first variable of that name (without regard to case).
    void RemoveGameVar(const char* aName);
    void ClearGameVars() { myGameVarList.RemoveAll(); }
    // The newest variable of that name (without regard to case), or null.
    const QR_GameVar* FindGameVar(const char* aName);

    float myRegisters[NUM_REGISTERS];
    QR_VL_List<QR_GameVar> myGameVarList;

private:
    void AddVar(uint32_t aKind, void* aVariable, const char* aName);
    static QR_ExpressionContext* ourInstance;
};

class QR_Expression
{
public:
    virtual ~QR_Expression();
    virtual float Evaluate() = 0;

    // Parses one expression at aText (modified while parsing: pass a private
    // copy) into a new tree stored through anOut, and returns the position
    // after it. A text that does not make a whole, valid tree (unknown name,
    // register above 99, another object's value, an argument list without its
    // ")", a keyword with the wrong number of arguments) gives null, with
    // *anOut null and nothing left allocated. anOwner and aReserved are handed
    // down to nested parses and have no other use.
    static char* Parse(QR_ExpressionContext* aContext, char* aText, QR_Expression** anOut, void* anOwner,
                       int aReserved);

    // The 15-bit generator of RND (0 to 32767), seedable for repeatable runs.
    static int Random();
    static void SeedRandom(uint32_t aSeed);

    // Whether aCount children suit the node (checked when parsing).
    virtual bool AcceptsParams(int aCount) const = 0;

    QR_Expression** myParams = nullptr; // owned children
    uint8_t myNumParams = 0;

protected:
    float Param(int anIndex) { return myParams[anIndex]->Evaluate(); }
};

class QR_ConstantExpression : public QR_Expression
{
public:
    explicit QR_ConstantExpression(float aValue) : myValue(aValue) {}
    float Evaluate() override;
    bool AcceptsParams(int aCount) const override { return aCount == 0; }
    float myValue;
};

// A register ST<n> is a float variable that points at register n.
class QR_VariableExpression : public QR_Expression
{
public:
    QR_VariableExpression(uint32_t aKind, void* aVariable) : myKind(aKind), myVariable(aVariable) {}
    // No child: reads the variable. One child: stores the child's value into it.
    float Evaluate() override;
    bool AcceptsParams(int aCount) const override { return aCount <= 1; }
    uint32_t myKind;
    void* myVariable;
};

// Creates the keyword node of that name (without regard to case), or null.
QR_Expression* QR_CreateKeywordExpression(const char* aToken);
