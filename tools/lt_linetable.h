// Building the line-number table that the stack trace reads: line rows from a
// linked program's DWARF line information, packed into a block with its
// trailer, appended to the program.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One row of a line program. An end row closes a covered range: code from its
// address on is not covered until the next row.
struct LT_LineRow
{
    uint32_t myAddress = 0;  // relative to the image base
    uint32_t myLine = 0;
    std::string myFile;
    bool myEndFlag = false;
};

struct LT_TableStats
{
    int myNumRecords = 0;
    int myNumNames = 0;
    int myNamesSize = 0;
    int myNumDroppedRows = 0;  // names that no longer fit the 17-bit offset
    int myNumClampedLines = 0;  // lines above 32767
};

// Reads the line rows of every compilation unit of an ELF program, with
// addresses made relative to its image base (the lowest loadable address,
// page-aligned). Sequences outside the executable segments (code the linker
// discarded) are left out. False with a message when the file is unreadable.
bool LT_ReadLineRows(const char* aPath, std::vector<LT_LineRow>* aRows, std::string* anError);

// The table as the stack trace reads it: u32 count, records sorted by address,
// then the names. Uncovered ranges and the end of the table become records
// whose name is empty (the first name).
std::vector<uint8_t> LT_BuildTable(const std::vector<LT_LineRow>& aRows, LT_TableStats* aStats);

// The compressed block (u32 unpacked size, zlib stream) with its trailer.
std::vector<uint8_t> LT_PackBlock(const std::vector<uint8_t>& aTable, int aVersion);

// Cuts every block appended earlier (a chain of trailers that ends the file),
// never below anEnd, the end of the program's own contents. Returns the size kept.
bool LT_StripBlocks(const char* aPath, uint64_t anEnd, uint64_t* aKeptSize, std::string* anError);
// Where the ELF file's own contents end (headers, sections, section table).
bool LT_GetElfEnd(const char* aPath, uint64_t* anEnd, std::string* anError);

bool LT_AppendToFile(const char* aPath, const std::vector<uint8_t>& aBlock, std::string* anError);
