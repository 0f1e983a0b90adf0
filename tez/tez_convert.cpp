// The converter: records of a namespace into a .tez file, its LOCTEXT texts into
// the .loc file, and the hash report.
#include "tez/tez_convert.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "platform/os/os_file.h"
#include "platform/os/os_savefile.h"
#include "qcommon/qc_listiterator.h"
#include "tez/tez_hash.h"
#include "tez/tez_loc.h"
#include "tez/tez_local.h"
#include "velk/velk_log.h"
#include "velk/velk_namespace.h"
#include "velk/velk_type.h"

namespace
{
// The process-wide hash registry. Conversions run on one thread.
struct TezRegistry
{
    std::vector<TezHashEntry> myEntries;
    std::vector<TezHashEntry> myDuplicates;
    // Entries of one hash are chained in registration order.
    std::vector<uint32_t> myNextOfSameHash;
    struct Chain
    {
        uint32_t myFirst;
        uint32_t myLast;
        uint32_t myCount;
    };
    std::unordered_map<uint32_t, Chain> myChains;
    // The names of hashes that several names share, as views of the entries'
    // texts (which stay where they are while the entries move): a name met
    // again is found at once, however many names share its hash.
    std::unordered_set<std::string_view> mySharedNames;
    // Sibling pairs reported in this conversion.
    int myNumCollisions = 0;
    // Names registered lately, by the address of the text met: the objects of
    // one type share their type name's text and clones their members' names,
    // so most records need neither a hash nor a registry lookup. A hit is
    // checked by content against the registered text, which stays put until
    // Clear.
    struct Seen
    {
        const char* myMet = nullptr;
        const char* myRegistered = nullptr;
        uint32_t myHash = 0;
    };
    Seen mySeen[512];

    void Clear()
    {
        std::fill(std::begin(mySeen), std::end(mySeen), Seen());
        myEntries.clear();
        myDuplicates.clear();
        myNextOfSameHash.clear();
        myChains.clear();
        mySharedNames.clear();
        myNumCollisions = 0;
    }
};

// Beyond this many pairs in one conversion the rest are counted, not listed.
constexpr int locMaxListedCollisions = 1000;

VelkToTez::FileStepHook ourFileStepHook = nullptr;
int ourFileStep = 0;

// False when the test hook fails this step.
bool locStep(const char* aWhat)
{
    ++ourFileStep;
    return ourFileStepHook == nullptr || ourFileStepHook(ourFileStep, aWhat);
}

constexpr uint32_t locNoEntry = 0xFFFFFFFFu;

TezRegistry& locRegistry()
{
    static TezRegistry ourRegistry;
    return ourRegistry;
}

const char* const locRecordFunction =
    "VelkToTez::ConvertVelkToTez(FILE* aHandle, VelkNameSpace& aNameSpace, TezLocEncoder& anEncoder, "
    "const char* aPrefix, VelkType* anInstance)";

std::string locPathOf(const char* aPrefix, const QC_String& aName)
{
    std::string locPath;
    if (aPrefix && aPrefix[0])
    {
        locPath = aPrefix;
        locPath += '.';
    }
    locPath.append(aName.GetBuffer(), static_cast<size_t>(aName.GetLength()));
    return locPath;
}

// The game finds roots and members by their name hash alone: of siblings whose
// names hash alike only the first can be reached by name, so every such pair
// is an error line (the format has no room for a remedy).
template <class Siblings>
void locReportSiblingCollisions(const char* aPrefix, const Siblings& aSiblings, size_t aCount)
{
    if (aCount < 2)
        return;
    // Sorted by hash, siblings of one hash in list order. Most instances have a
    // few members: those are sorted in place on the stack.
    using HashAndSibling = std::pair<uint32_t, VelkType*>;
    constexpr size_t locFew = 32;
    HashAndSibling locFewHashes[locFew];
    std::vector<HashAndSibling> locManyHashes;
    const size_t locCount = aCount;
    if (locCount > locFew)
        locManyHashes.resize(locCount);
    HashAndSibling* const locBegin = locCount > locFew ? locManyHashes.data() : locFewHashes;
    HashAndSibling* locEnd = locBegin;
    for (VelkType* locSibling : aSiblings)
    {
        if (locEnd == locBegin + locCount)
            break;
        *locEnd++ = HashAndSibling(TezHash(locSibling->GetName().GetBuffer()), locSibling);
    }
    const auto locByHash = [](const HashAndSibling& aLeft, const HashAndSibling& aRight) { return aLeft.first < aRight.first; };
    if (locCount > locFew)
        std::stable_sort(locBegin, locEnd, locByHash);
    else
        for (HashAndSibling* locNext = locBegin + 1; locNext < locEnd; ++locNext)
            for (HashAndSibling* locAt = locNext; locAt > locBegin && locByHash(*locAt, locAt[-1]); --locAt)
                std::swap(*locAt, locAt[-1]);
    const size_t locSorted = static_cast<size_t>(locEnd - locBegin);
    TezRegistry& locReg = locRegistry();
    const HashAndSibling* const locHashes = locBegin;
    for (size_t locFirst = 0; locFirst < locSorted; ++locFirst)
    {
        for (size_t locSecond = locFirst + 1;
             locSecond < locSorted && locHashes[locSecond].first == locHashes[locFirst].first; ++locSecond)
        {
            if (++locReg.myNumCollisions > locMaxListedCollisions)
                continue;
            VelkLog::Error("VelkToTez: '%s' and '%s' have the same name hash %d: the game finds only the first of them "
                           "by name",
                           locPathOf(aPrefix, locHashes[locFirst].second->GetName()).c_str(),
                           locPathOf(aPrefix, locHashes[locSecond].second->GetName()).c_str(),
                           static_cast<int>(locHashes[locFirst].first));
        }
    }
}

void locAppendReportLine(std::string& aReport, uint32_t aHash, const QC_String& aName)
{
    // "%13d " by hand: the report has a line per name.
    char locNumber[16];
    char* locEnd = locNumber + sizeof(locNumber);
    char* locDigit = locEnd;
    *--locDigit = ' ';
    const int32_t locSigned = static_cast<int32_t>(aHash);
    uint32_t locMagnitude = locSigned < 0 ? 0u - aHash : aHash;
    do
    {
        *--locDigit = static_cast<char>('0' + locMagnitude % 10);
        locMagnitude /= 10;
    } while (locMagnitude != 0);
    if (locSigned < 0)
        *--locDigit = '-';
    while (locEnd - locDigit < 14)
        *--locDigit = ' ';
    aReport.append(locDigit, static_cast<size_t>(locEnd - locDigit));
    aReport.append(aName.GetBuffer(), static_cast<size_t>(aName.GetLength()));
    aReport += "\r\n";
}
}

// [SECTION] TezOutput

void TezOutput::PutU32(uint32_t aValue)
{
    const uint8_t locBytes[4] = {static_cast<uint8_t>(aValue), static_cast<uint8_t>(aValue >> 8),
                                 static_cast<uint8_t>(aValue >> 16), static_cast<uint8_t>(aValue >> 24)};
    myBytes.insert(myBytes.end(), locBytes, locBytes + 4);
}

void TezOutput::PutBytes(const void* aData, size_t aCount)
{
    const uint8_t* locData = static_cast<const uint8_t*>(aData);
    myBytes.insert(myBytes.end(), locData, locData + aCount);
}

// [SECTION] Hash registry and report

namespace
{
// The registered text equal to aName, which is registered.
const char* locRegisteredText(const TezRegistry& aRegistry, uint32_t aHash, const char* aName)
{
    const TezRegistry::Chain& locChain = aRegistry.myChains.find(aHash)->second;
    if (locChain.myCount == 1)
        return aRegistry.myEntries[locChain.myFirst].myName.GetBuffer();
    return aRegistry.mySharedNames.find(std::string_view(aName))->data();
}

// The name's hash, the name registered.
uint32_t locHashAndRegister(const char* aName)
{
    TezRegistry& locReg = locRegistry();
    TezRegistry::Seen& locSeen =
        locReg.mySeen[(reinterpret_cast<uintptr_t>(aName) >> 3) % (sizeof(locReg.mySeen) / sizeof(locReg.mySeen[0]))];
    if (locSeen.myMet == aName && strcmp(locSeen.myRegistered, aName) == 0)
        return locSeen.myHash;
    const uint32_t locHash = TezHash(aName);
    VelkToTez::Register(locHash, aName);
    locSeen.myMet = aName;
    locSeen.myRegistered = locRegisteredText(locReg, locHash, aName);
    locSeen.myHash = locHash;
    return locHash;
}
}

void VelkToTez::Register(uint32_t aHash, const char* aName)
{
    TezRegistry& locReg = locRegistry();
    const uint32_t locNew = static_cast<uint32_t>(locReg.myEntries.size());
    auto locFound = locReg.myChains.find(aHash);
    bool locShared = false;
    if (locFound == locReg.myChains.end())
        locReg.myChains.emplace(aHash, TezRegistry::Chain{locNew, locNew, 1});
    else
    {
        // A name has one hash: a name met before is in its hash's chain already.
        TezRegistry::Chain& locChain = locFound->second;
        if (locChain.myCount == 1 ? locReg.myEntries[locChain.myFirst].myName == aName
                                  : locReg.mySharedNames.count(std::string_view(aName)) != 0)
            return;
        // Every name of a hash that several names share is listed once, in the
        // order met; the names of a longer chain are listed already.
        if (locChain.myCount == 1)
        {
            const TezHashEntry& locFirst = locReg.myEntries[locChain.myFirst];
            locReg.myDuplicates.push_back(locFirst);
            locReg.mySharedNames.emplace(locFirst.myName.GetBuffer(), static_cast<size_t>(locFirst.myName.GetLength()));
        }
        locReg.myDuplicates.push_back({QC_String(aName), aHash});
        locReg.myNextOfSameHash[locChain.myLast] = locNew;
        locChain.myLast = locNew;
        locChain.myCount++;
        locShared = true;
    }
    locReg.myEntries.push_back({QC_String(aName), aHash});
    locReg.myNextOfSameHash.push_back(locNoEntry);
    if (locShared)
    {
        const QC_String& locStored = locReg.myEntries.back().myName;
        locReg.mySharedNames.emplace(locStored.GetBuffer(), static_cast<size_t>(locStored.GetLength()));
    }
}

void VelkToTez::ClearRegistry()
{
    locRegistry().Clear();
}

const std::vector<TezHashEntry>& VelkToTez::GetEntries()
{
    return locRegistry().myEntries;
}

const std::vector<TezHashEntry>& VelkToTez::GetDuplicates()
{
    return locRegistry().myDuplicates;
}

std::string VelkToTez::MakeHashReport()
{
    const TezRegistry& locReg = locRegistry();
    std::string locReport;
    size_t locSize = 64;
    for (const TezHashEntry& locEntry : locReg.myEntries)
        locSize += 16 + static_cast<size_t>(locEntry.myName.GetLength());
    locReport.reserve(locSize);
    for (const TezHashEntry& locEntry : locReg.myEntries)
        locAppendReportLine(locReport, locEntry.myHash, locEntry.myName);
    locReport += "\r\n\r\n";
    if (locReg.myDuplicates.empty())
        locReport += "No duplicate hash entries.\r\n";
    else
    {
        locReport += "Duplicate Hash Entries:\r\n";
        for (const TezHashEntry& locEntry : locReg.myDuplicates)
            locAppendReportLine(locReport, locEntry.myHash, locEntry.myName);
        char locLine[80];
        snprintf(locLine, sizeof(locLine), "\r\n%d duplicate hash entries were found!\r\n",
                 static_cast<int>(locReg.myDuplicates.size()));
        locReport += locLine;
    }
    return locReport;
}

// [SECTION] Conversion

bool VelkToTez::Convert(VelkNameSpace& aNameSpace, const char* aVelkFileName)
{
    std::string locTezName;
    if (!Tez_CutExtension(aVelkFileName, locTezName))
        return false;
    locTezName += ".tez";
    return Priv_ConvertVelkToTez(aNameSpace, locTezName.c_str());
}

bool VelkToTez::ConvertVelkToTez(TezOutput& aFile, VelkNameSpace& aNameSpace, TezLocEncoder& anEncoder,
                                 const char* aPrefix, VelkType* anInstance)
{
    const QC_String& locTypeName = anInstance->GetTypeName();
    const QC_String& locName = anInstance->GetName();
    aFile.PutU32(locHashAndRegister(locTypeName.GetBuffer()));
    aFile.PutU32(locHashAndRegister(locName.GetBuffer()));

    const bool locIsReference = anInstance->IsReference();
    int32_t locCount = locIsReference ? -2 : anInstance->GetNumMembers();
    if (locCount == 0)
        locCount = -1;
    aFile.PutU32(static_cast<uint32_t>(locCount));

    if (locCount < 1)
    {
        // The instance's own value unless the record needs another text.
        QC_String locChanged;
        const QC_String* locValue = &anInstance->GetValue();
        if (locTypeName == "LOCTEXT")
        {
            locChanged.Format("%d", anEncoder.AddKeyValue(anInstance, aPrefix));
            locValue = &locChanged;
        }
        if (locIsReference && locValue->IsEmpty())
        {
            Tez_Print("%s: encountered reference with empty string value", locRecordFunction);
            return false;
        }
        if (locValue->GetLength() >= TEZ_MAX_STRING)
        {
            Tez_Print("%s: string value exceeds maximum allowed length (%d chars)", locRecordFunction, TEZ_MAX_STRING);
            return false;
        }
        if (*locValue == "<empty>")
        {
            locChanged = "";
            locValue = &locChanged;
        }
        if (locTypeName == "FILE")
        {
            if (locValue != &locChanged)
                locChanged = *locValue;
            locChanged.Replace('\\', '/');
            locValue = &locChanged;
        }
        aFile.PutU32(static_cast<uint32_t>(locValue->GetLength()));
        aFile.PutBytes(locValue->GetBuffer(), static_cast<size_t>(locValue->GetLength()));
        return true;
    }

    const std::string locPrefix = locPathOf(aPrefix, locName);
    const VelkMembers& locMembers = anInstance->GetMemberView();
    locReportSiblingCollisions(locPrefix.c_str(), locMembers, static_cast<size_t>(locMembers.Count()));
    for (VelkType* locMember : locMembers)
        if (!ConvertVelkToTez(aFile, aNameSpace, anEncoder, locPrefix.c_str(), locMember))
            return false;
    return true;
}

void VelkToTez::SetFileStepHook(FileStepHook aHook)
{
    ourFileStepHook = aHook;
}

bool VelkToTez::Priv_ConvertVelkToTez(VelkNameSpace& aNameSpace, const char* aTezFileName)
{
    Tez_Print("VelkToTez::Priv_ConvertVelkToTez(): converting namespace to '%s'...", aTezFileName);
    // Names of an earlier, failed conversion must not reach this report.
    ClearRegistry();
    ourFileStep = 0;

    QC_List<VelkType*> locRoots;
    aNameSpace.GetInstances(locRoots, true);
    if (locRoots.myCount == 0)
    {
        Tez_Print("VelkToTez::Priv_ConvertVelkToTez(): no instances at root level");
        return false;
    }
    const bool locHasLoc = aNameSpace.HasLocText();

    // Both files are made in memory first: nothing on disk changes for a
    // namespace that cannot be converted.
    TezOutput locOutput;
    TezLocEncoder locEncoder;
    locOutput.PutBytes(TEZ_MAGIC, sizeof(TEZ_MAGIC));
    locOutput.PutU32(locHasLoc ? 1 : 0);
    locOutput.PutU32(static_cast<uint32_t>(locRoots.myCount));
    std::vector<VelkType*> locRootArray;
    locRootArray.reserve(static_cast<size_t>(locRoots.myCount));
    for (QC_ListLink<VelkType*>* locLink = locRoots.myFirstLink; locLink; locLink = locLink->myNext)
        locRootArray.push_back(locLink->myItem);
    locReportSiblingCollisions("", locRootArray, locRootArray.size());
    QC_ListIterator<VelkType*> locIter(&locRoots);
    for (locIter.First(); !locIter.IsDone(); locIter.Next())
        if (!ConvertVelkToTez(locOutput, aNameSpace, locEncoder, "", locIter.GetCurrent()))
            return false;
    std::string locLocBytes;
    std::string locLocName;
    if (locHasLoc && (!locEncoder.Encode(locLocBytes) || !Tez_LocFileName(aTezFileName, locLocName)))
    {
        Tez_Print("VelkToTez::Priv_ConvertVelkToTez(): failed to save .loc file for '%s'...", aTezFileName);
        return false;
    }

    // The pair is replaced so that a crash at any point leaves a .tez with its
    // own texts, or no .tez (the next load converts again): both files are
    // written and flushed whole, the old .tez goes, then the .loc goes in,
    // then the .tez.
    OS_SaveFile locTezFile;
    if (!locStep("begin .tez") || !locTezFile.Begin(aTezFileName))
    {
        Tez_Print("VelkToTez::Priv_ConvertVelkToTez(): failed to open outfile '%s'", aTezFileName);
        return false;
    }
    if (!locStep("write .tez") || !locTezFile.Write(locOutput.GetBytes().data(), locOutput.GetBytes().size()) ||
        !locStep("flush .tez") || !locTezFile.Flush())
    {
        Tez_Print("VelkToTez::Priv_ConvertVelkToTez(): failed to write outfile '%s'", aTezFileName);
        return false;
    }
    OS_SaveFile locLocFile;
    if (locHasLoc)
    {
        if (!locStep("begin .loc") || !locLocFile.Begin(locLocName.c_str()) || !locStep("write .loc") ||
            !locLocFile.Write(locLocBytes.data(), locLocBytes.size()) || !locStep("flush .loc") || !locLocFile.Flush())
        {
            Tez_Print("VelkToTez::Priv_ConvertVelkToTez(): failed to save .loc file for '%s'...", aTezFileName);
            return false;
        }
        // The old .tez would index into the new texts.
        if (!locStep("delete old .tez") || (!OS_DeleteFile(aTezFileName) && OS_FileExists(aTezFileName)))
        {
            Tez_Print("VelkToTez::Priv_ConvertVelkToTez(): failed to remove the old '%s'", aTezFileName);
            return false;
        }
        if (!locStep("rename .loc") || !locLocFile.Commit())
        {
            Tez_Print("VelkToTez::Priv_ConvertVelkToTez(): failed to save .loc file for '%s'...", aTezFileName);
            return false;
        }
    }
    if (!locStep("rename .tez") || !locTezFile.Commit())
    {
        Tez_Print("VelkToTez::Priv_ConvertVelkToTez(): failed to write outfile '%s'", aTezFileName);
        return false;
    }

    // The report comes last: its failure leaves a valid pair, but the
    // conversion says so, and no stale report stays to mislead.
    bool locReported = false;
    std::string locReportName;
    if (Tez_CutExtension(aTezFileName, locReportName))
    {
        locReportName += ".hash";
        const std::string locReport = MakeHashReport();
        OS_SaveFile locReportFile;
        locReported = locStep("write report") && locReportFile.Begin(locReportName.c_str()) &&
                      locReportFile.Write(locReport.data(), locReport.size()) && locReportFile.Commit();
        if (!locReported)
        {
            OS_DeleteFile(locReportName.c_str());
            Tez_Print("VelkToTez::Priv_ConvertVelkToTez(): failed to write hash report '%s'", locReportName.c_str());
        }
    }
    if (locRegistry().myNumCollisions > locMaxListedCollisions)
        VelkLog::Error("VelkToTez: %d more pairs of names with the same hash in '%s' were not listed",
                       locRegistry().myNumCollisions - locMaxListedCollisions, aTezFileName);
    ClearRegistry();
    return locReported;
}
