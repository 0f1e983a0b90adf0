// Line rows from DWARF (libdw), the table and block layout, and appending.
#include "tools/lt_linetable.h"

#include "qcommon/qc_stacktrace.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <elfutils/libdw.h>
#include <fcntl.h>
#include <gelf.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

namespace
{
struct AddressRange
{
    uint64_t myStart;
    uint64_t myEnd;
};

void locPutU32(std::vector<uint8_t>* aBytes, uint32_t aValue)
{
    for (int i = 0; i < 4; i++)
        aBytes->push_back(static_cast<uint8_t>(aValue >> (8 * i)));
}

uint32_t locGetU32(const uint8_t* aBytes)
{
    return static_cast<uint32_t>(aBytes[0]) | (static_cast<uint32_t>(aBytes[1]) << 8) |
           (static_cast<uint32_t>(aBytes[2]) << 16) | (static_cast<uint32_t>(aBytes[3]) << 24);
}

bool locInRanges(const std::vector<AddressRange>& aRanges, uint64_t anAddress)
{
    for (const AddressRange& locRange : aRanges)
    {
        if (anAddress >= locRange.myStart && anAddress < locRange.myEnd)
            return true;
    }
    return false;
}

struct ElfFile
{
    int myFile = -1;
    Elf* myElf = nullptr;

    ~ElfFile()
    {
        if (myElf)
            elf_end(myElf);
        if (myFile >= 0)
            close(myFile);
    }

    bool Open(const char* aPath, std::string* anError)
    {
        elf_version(EV_CURRENT);
        myFile = open(aPath, O_RDONLY | O_CLOEXEC);
        if (myFile < 0)
        {
            *anError = std::string("cannot open ") + aPath;
            return false;
        }
        myElf = elf_begin(myFile, ELF_C_READ, nullptr);
        if (!myElf || elf_kind(myElf) != ELF_K_ELF)
        {
            *anError = std::string(aPath) + " is not an ELF file";
            return false;
        }
        return true;
    }
};
}

bool LT_ReadLineRows(const char* aPath, std::vector<LT_LineRow>* aRows, std::string* anError)
{
    aRows->clear();
    ElfFile locFile;
    if (!locFile.Open(aPath, anError))
        return false;

    size_t locNumHeaders = 0;
    if (elf_getphdrnum(locFile.myElf, &locNumHeaders) != 0)
    {
        *anError = std::string(aPath) + ": no program headers";
        return false;
    }
    uint64_t locLowest = UINT64_MAX;
    std::vector<AddressRange> locCode;
    for (size_t i = 0; i < locNumHeaders; i++)
    {
        GElf_Phdr locHeader;
        if (!gelf_getphdr(locFile.myElf, static_cast<int>(i), &locHeader) || locHeader.p_type != PT_LOAD)
            continue;
        locLowest = std::min<uint64_t>(locLowest, locHeader.p_vaddr);
        if (locHeader.p_flags & PF_X)
            locCode.push_back({locHeader.p_vaddr, locHeader.p_vaddr + locHeader.p_memsz});
    }
    if (locLowest == UINT64_MAX)
    {
        *anError = std::string(aPath) + ": nothing loadable";
        return false;
    }
    uint64_t locImageBase = locLowest & ~static_cast<uint64_t>(0xFFF);

    Dwarf* locDwarf = dwarf_begin_elf(locFile.myElf, DWARF_C_READ, nullptr);
    if (!locDwarf)
        return true;  // no debug information: an empty table

    Dwarf_CU* locUnit = nullptr;
    Dwarf_Die locUnitDie;
    while (dwarf_get_units(locDwarf, locUnit, &locUnit, nullptr, nullptr, &locUnitDie, nullptr) == 0)
    {
        Dwarf_Lines* locLines = nullptr;
        size_t locNumLines = 0;
        if (dwarf_getsrclines(&locUnitDie, &locLines, &locNumLines) != 0)
            continue;
        bool locSequenceStart = true;
        bool locKeepSequence = false;
        for (size_t i = 0; i < locNumLines; i++)
        {
            Dwarf_Line* locLine = dwarf_onesrcline(locLines, i);
            Dwarf_Addr locAddress = 0;
            bool locEnd = false;
            int locLineNumber = 0;
            if (!locLine || dwarf_lineaddr(locLine, &locAddress) != 0 || dwarf_lineendsequence(locLine, &locEnd) != 0)
                continue;
            if (locSequenceStart)
            {
                // Functions the linker threw away keep their rows at address 0
                // or a tombstone: drop the whole sequence.
                locKeepSequence = locInRanges(locCode, locAddress);
                locSequenceStart = false;
            }
            if (locEnd)
                locSequenceStart = true;
            if (!locKeepSequence || locAddress < locImageBase || locAddress - locImageBase > UINT32_MAX)
                continue;
            LT_LineRow locRow;
            locRow.myAddress = static_cast<uint32_t>(locAddress - locImageBase);
            locRow.myEndFlag = locEnd;
            if (!locEnd)
            {
                dwarf_lineno(locLine, &locLineNumber);
                const char* locSource = dwarf_linesrc(locLine, nullptr, nullptr);
                locRow.myLine = locLineNumber > 0 ? static_cast<uint32_t>(locLineNumber) : 0;
                locRow.myFile = locSource ? locSource : "";
                if (locRow.myFile.empty())
                    locRow.myFile = "?";
            }
            aRows->push_back(std::move(locRow));
        }
    }
    dwarf_end(locDwarf);
    return true;
}

std::vector<uint8_t> LT_BuildTable(const std::vector<LT_LineRow>& aRows, LT_TableStats* aStats)
{
    LT_TableStats locStats;
    // By address; at one address a covered row beats an end row, and of two
    // covered rows the later one (the one that applies) wins.
    std::vector<size_t> locOrder(aRows.size());
    for (size_t i = 0; i < locOrder.size(); i++)
        locOrder[i] = i;
    std::stable_sort(locOrder.begin(), locOrder.end(), [&](size_t a, size_t b) {
        if (aRows[a].myAddress != aRows[b].myAddress)
            return aRows[a].myAddress < aRows[b].myAddress;
        return aRows[a].myEndFlag && !aRows[b].myEndFlag;
    });

    // Offset 0 is the empty name of uncovered ranges.
    std::vector<uint8_t> locNames(1, 0);
    std::map<std::string, uint32_t> locNameOffsets;
    struct Record
    {
        uint32_t myAddress;
        uint32_t myLine;
        uint32_t myNameOffset;
    };
    std::vector<Record> locRecords;
    for (size_t i = 0; i < locOrder.size(); i++)
    {
        const LT_LineRow& locRow = aRows[locOrder[i]];
        if (i + 1 < locOrder.size() && aRows[locOrder[i + 1]].myAddress == locRow.myAddress)
            continue;
        Record locRecord = {locRow.myAddress, 0, 0};
        if (!locRow.myEndFlag)
        {
            auto locFound = locNameOffsets.find(locRow.myFile);
            if (locFound == locNameOffsets.end())
            {
                uint32_t locOffset = static_cast<uint32_t>(locNames.size());
                if (locOffset > QC_StackTrace::MAX_NAME_OFFSET)
                {
                    locStats.myNumDroppedRows++;
                    continue;
                }
                locNames.insert(locNames.end(), locRow.myFile.begin(), locRow.myFile.end());
                locNames.push_back(0);
                locFound = locNameOffsets.emplace(locRow.myFile, locOffset).first;
            }
            locRecord.myNameOffset = locFound->second;
            locRecord.myLine = locRow.myLine;
            if (locRecord.myLine > QC_StackTrace::LINE_MASK)
            {
                locRecord.myLine = QC_StackTrace::LINE_MASK;
                locStats.myNumClampedLines++;
            }
        }
        // A record that says what the one before it says adds nothing.
        if (!locRecords.empty() && locRecords.back().myLine == locRecord.myLine &&
            locRecords.back().myNameOffset == locRecord.myNameOffset)
            continue;
        if (locRecords.empty() && locRecord.myNameOffset == 0)
            continue;
        locRecords.push_back(locRecord);
    }
    // The last record closes the table, even when the rows did not.
    if (!locRecords.empty() && locRecords.back().myNameOffset != 0)
        locRecords.push_back({locRecords.back().myAddress + 1, 0, 0});

    std::vector<uint8_t> locTable;
    locTable.reserve(4 + locRecords.size() * 8 + locNames.size());
    locPutU32(&locTable, static_cast<uint32_t>(locRecords.size()));
    for (const Record& locRecord : locRecords)
    {
        locPutU32(&locTable, locRecord.myAddress);
        locPutU32(&locTable, locRecord.myLine | (locRecord.myNameOffset << QC_StackTrace::LINE_BITS));
    }
    locTable.insert(locTable.end(), locNames.begin(), locNames.end());

    locStats.myNumRecords = static_cast<int>(locRecords.size());
    locStats.myNumNames = static_cast<int>(locNameOffsets.size());
    locStats.myNamesSize = static_cast<int>(locNames.size());
    if (aStats)
        *aStats = locStats;
    return locTable;
}

std::vector<uint8_t> LT_PackBlock(const std::vector<uint8_t>& aTable, int aVersion)
{
    uLongf locPackedSize = compressBound(aTable.size());
    std::vector<uint8_t> locBlock(4 + locPackedSize);
    uint32_t locUnpackedSize = static_cast<uint32_t>(aTable.size());
    for (int i = 0; i < 4; i++)
        locBlock[i] = static_cast<uint8_t>(locUnpackedSize >> (8 * i));
    compress2(locBlock.data() + 4, &locPackedSize, aTable.data(), aTable.size(), 9);
    locBlock.resize(4 + locPackedSize);
    uint32_t locBlockLength = static_cast<uint32_t>(locBlock.size());
    locPutU32(&locBlock, locBlockLength);
    locPutU32(&locBlock, QC_StackTrace::TRAILER_MARKER | (static_cast<uint32_t>(aVersion & 0xFF) << 24));
    return locBlock;
}

bool LT_GetElfEnd(const char* aPath, uint64_t* anEnd, std::string* anError)
{
    ElfFile locFile;
    if (!locFile.Open(aPath, anError))
        return false;
    GElf_Ehdr locHeader;
    if (!gelf_getehdr(locFile.myElf, &locHeader))
    {
        *anError = std::string(aPath) + ": no ELF header";
        return false;
    }
    uint64_t locEnd = locHeader.e_ehsize;
    locEnd = std::max<uint64_t>(locEnd, locHeader.e_phoff + static_cast<uint64_t>(locHeader.e_phnum) * locHeader.e_phentsize);
    size_t locNumSections = 0;
    if (elf_getshdrnum(locFile.myElf, &locNumSections) == 0)
        locEnd = std::max<uint64_t>(locEnd, locHeader.e_shoff + static_cast<uint64_t>(locNumSections) * locHeader.e_shentsize);
    for (Elf_Scn* locSection = elf_nextscn(locFile.myElf, nullptr); locSection;
         locSection = elf_nextscn(locFile.myElf, locSection))
    {
        GElf_Shdr locSectionHeader;
        if (gelf_getshdr(locSection, &locSectionHeader) && locSectionHeader.sh_type != SHT_NOBITS)
            locEnd = std::max<uint64_t>(locEnd, locSectionHeader.sh_offset + locSectionHeader.sh_size);
    }
    size_t locNumHeaders = 0;
    elf_getphdrnum(locFile.myElf, &locNumHeaders);
    for (size_t i = 0; i < locNumHeaders; i++)
    {
        GElf_Phdr locProgramHeader;
        if (gelf_getphdr(locFile.myElf, static_cast<int>(i), &locProgramHeader))
            locEnd = std::max<uint64_t>(locEnd, locProgramHeader.p_offset + locProgramHeader.p_filesz);
    }
    *anEnd = locEnd;
    return true;
}

bool LT_StripBlocks(const char* aPath, uint64_t anEnd, uint64_t* aKeptSize, std::string* anError)
{
    int locFile = open(aPath, O_RDWR | O_CLOEXEC);
    struct stat locStat;
    if (locFile < 0 || fstat(locFile, &locStat) != 0)
    {
        if (locFile >= 0)
            close(locFile);
        *anError = std::string("cannot open ") + aPath + " for writing";
        return false;
    }
    uint64_t locPos = static_cast<uint64_t>(locStat.st_size);
    for (;;)
    {
        uint8_t locTrailer[8];
        if (locPos < anEnd + 8 || pread(locFile, locTrailer, 8, static_cast<off_t>(locPos - 8)) != 8)
            break;
        uint32_t locLength = locGetU32(locTrailer);
        if ((locGetU32(locTrailer + 4) & 0xFFFFFF) != QC_StackTrace::TRAILER_MARKER || locLength > locPos - 8 - anEnd)
            break;
        locPos -= static_cast<uint64_t>(locLength) + 8;
    }
    bool locOk = locPos == static_cast<uint64_t>(locStat.st_size) || ftruncate(locFile, static_cast<off_t>(locPos)) == 0;
    close(locFile);
    if (!locOk)
        *anError = std::string("cannot truncate ") + aPath;
    if (aKeptSize)
        *aKeptSize = locPos;
    return locOk;
}

bool LT_AppendToFile(const char* aPath, const std::vector<uint8_t>& aBlock, std::string* anError)
{
    int locFile = open(aPath, O_WRONLY | O_APPEND | O_CLOEXEC);
    if (locFile < 0)
    {
        *anError = std::string("cannot open ") + aPath + " for writing";
        return false;
    }
    size_t locDone = 0;
    while (locDone < aBlock.size())
    {
        ssize_t locWritten = write(locFile, aBlock.data() + locDone, aBlock.size() - locDone);
        if (locWritten <= 0)
            break;
        locDone += static_cast<size_t>(locWritten);
    }
    bool locOk = locDone == aBlock.size();
    locOk = close(locFile) == 0 && locOk;
    if (!locOk)
        *anError = std::string("cannot write to ") + aPath;
    return locOk;
}
