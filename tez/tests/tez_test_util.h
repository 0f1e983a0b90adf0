// Shared helpers of the binary form's tests: a scratch folder per test, the
// debug output collected, and files built byte by byte.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "qcommon/qc_debug.h"
#include "tez/tez_convert.h"
#include "tez/tez_hash.h"
#include "velk/tests/velk_test_util.h"

class TezDebugCollector : public QC_DebugListener
{
public:
    void Print(const char* aText) override { ourLines.push_back(aText); }
    void Close() override {}

    static std::vector<std::string> ourLines;
};
inline std::vector<std::string> TezDebugCollector::ourLines;

class TezTest : public VelkScratchTest
{
protected:
    void SetUp() override
    {
        if (!QC_Debug::IsInited())
        {
            QC_Debug::Init("", false, false, false, "");
            QC_Debug::AddListener(new TezDebugCollector);
        }
        TezDebugCollector::ourLines.clear();
        VelkScratchTest::SetUp();
    }

    static bool Printed(const std::string& aText)
    {
        for (const std::string& locLine : TezDebugCollector::ourLines)
            if (locLine.find(aText) != std::string::npos)
                return true;
        return false;
    }

    static std::string AllPrinted()
    {
        std::string locAll;
        for (const std::string& locLine : TezDebugCollector::ourLines)
            locAll += locLine + "\n";
        return locAll;
    }
};

// A .tez file put together record by record.
class TezBytes
{
public:
    TezBytes& Header(uint32_t aHasLoc, uint32_t aRootCount)
    {
        myOut.PutBytes(TEZ_MAGIC, sizeof(TEZ_MAGIC));
        myOut.PutU32(aHasLoc);
        myOut.PutU32(aRootCount);
        return *this;
    }
    TezBytes& Scalar(const char* aType, const char* aName, const std::string& aValue, int32_t aCount = -1)
    {
        Words(aType, aName, aCount);
        myOut.PutU32(static_cast<uint32_t>(aValue.size()));
        myOut.PutBytes(aValue.data(), aValue.size());
        return *this;
    }
    TezBytes& Ref(const char* aType, const char* aName, const std::string& aPath)
    {
        return Scalar(aType, aName, aPath, -2);
    }
    TezBytes& Object(const char* aType, const char* aName, int32_t aCount)
    {
        Words(aType, aName, aCount);
        return *this;
    }
    TezBytes& U32(uint32_t aValue)
    {
        myOut.PutU32(aValue);
        return *this;
    }
    std::string Text() const
    {
        return std::string(myOut.GetBytes().begin(), myOut.GetBytes().end());
    }

private:
    void Words(const char* aType, const char* aName, int32_t aCount)
    {
        myOut.PutU32(TezHash(aType));
        myOut.PutU32(TezHash(aName));
        myOut.PutU32(static_cast<uint32_t>(aCount));
    }
    TezOutput myOut;
};
