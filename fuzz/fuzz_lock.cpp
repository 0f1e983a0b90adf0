// The lock-file reader: any bytes name an owner of at most 4096 bytes without
// a NUL and at most one process id after it, the same through memory and
// through a real file; a real lock of those bytes is taken over exactly when
// it is this computer's and names a process that does not run, and is
// otherwise refused with the message of what it holds. An input starting with
// 'H' stands for this computer's name followed by the rest; one starting with
// 'S' puts in the lock's place a symbolic link to a file of the rest (to
// nothing when that is empty), which refuses the file and is never read.
// Every owner is shown as UTF-8 text that cannot act on a terminal: its first
// 256 bytes, escaped so that unescaping gives them back, "…" after a cut.
#include "owncode/filelocker.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace
{
void locCheckProcessId(const std::string& aBytes, const std::string& anOwner)
{
    const int64_t locId = FileLocker::ParseProcessId(aBytes.data(), aBytes.size());
    if (locId < 0 || locId > INT32_MAX)
        std::abort();
    const size_t locCount = aBytes.size() < 4096 ? aBytes.size() : 4096;
    if (locId == 0)
        return;
    // The digits after the owner's NUL, up to the end or a NUL, spell it.
    if (anOwner.size() >= locCount || aBytes[anOwner.size()] != 0)
        std::abort();
    size_t locEnd = anOwner.size() + 1;
    while (locEnd < locCount && aBytes[locEnd] != 0)
        locEnd++;
    const std::string locDigits = aBytes.substr(anOwner.size() + 1, locEnd - anOwner.size() - 1);
    if (locDigits.empty() || locDigits[0] == '0' || std::to_string(locId) != locDigits)
        std::abort();
}
// Strict UTF-8 with no C0 or C1 control and no DEL.
bool locIsQuietUtf8(const std::string& aText)
{
    for (size_t i = 0; i < aText.size();)
    {
        const unsigned char c = static_cast<unsigned char>(aText[i]);
        size_t n = c < 0x80 ? 1 : c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
        if (n == 0 || aText.size() - i < n)
            return false;
        uint32_t locCode = n == 1 ? c : n == 2 ? c & 0x1F : n == 3 ? c & 0x0F : c & 0x07;
        for (size_t k = 1; k < n; k++)
        {
            if ((static_cast<unsigned char>(aText[i + k]) & 0xC0) != 0x80)
                return false;
            locCode = (locCode << 6) | (aText[i + k] & 0x3F);
        }
        if ((n == 2 && locCode < 0x80) || (n == 3 && locCode < 0x800) || (n == 4 && locCode < 0x10000) ||
            locCode > 0x10FFFF || (locCode >= 0xD800 && locCode <= 0xDFFF))
            return false;
        if (locCode < 0x20 || (locCode >= 0x7F && locCode <= 0x9F) || locCode == 0x202E || locCode == 0x2028)
            return false;
        i += n;
    }
    return true;
}

void locCheckShown(const std::string& anOwner)
{
    const std::string locShown = FileLocker::ShowOwner(anOwner);
    const std::string locEllipsis = "\xE2\x80\xA6";
    if (!locIsQuietUtf8(locShown) || locShown.size() > 4 * 256 + locEllipsis.size())
        std::abort();
    const bool locCut = anOwner.size() > 256;
    if (locCut && (locShown.size() < 3 || locShown.compare(locShown.size() - 3, 3, locEllipsis) != 0))
        std::abort();
    // Without backslashes of its own, the escapes undo to the owner's first bytes.
    if (anOwner.find('\\') != std::string::npos)
        return;
    std::string locBack;
    const size_t locEnd = locCut ? locShown.size() - locEllipsis.size() : locShown.size();
    for (size_t i = 0; i < locEnd; i++)
    {
        if (locShown[i] == '\\' && i + 3 < locEnd && locShown[i + 1] == 'x')
        {
            locBack += static_cast<char>(std::stoi(locShown.substr(i + 2, 2), nullptr, 16));
            i += 3;
        }
        else
            locBack += locShown[i];
    }
    if (locBack.size() > 256 || anOwner.compare(0, locBack.size(), locBack) != 0 ||
        (!locCut && locBack.size() != anOwner.size()) || (locCut && locBack.size() < 253))
        std::abort();
}

std::string locReadAll(const std::string& aPath)
{
    std::string locBytes;
    FILE* locFile = std::fopen(aPath.c_str(), "rb");
    if (!locFile)
        return "<none>";
    char locBuffer[4096];
    for (size_t locCount; (locCount = std::fread(locBuffer, 1, sizeof(locBuffer), locFile)) > 0;)
        locBytes.append(locBuffer, locCount);
    std::fclose(locFile);
    return locBytes;
}

void locCheckLink(const std::string& aPath, const std::string& aLock, const std::string& aBytes)
{
    const std::string locTarget = aLock + ".target";
    std::remove(locTarget.c_str());
    if (!aBytes.empty())
    {
        FILE* locFile = std::fopen(locTarget.c_str(), "wb");
        if (!locFile)
            return;
        const bool locWritten = std::fwrite(aBytes.data(), 1, aBytes.size(), locFile) == aBytes.size();
        if (std::fclose(locFile) != 0 || !locWritten)
            return;
    }
    if (symlink(locTarget.c_str(), aLock.c_str()) != 0)
        return;
    std::string locOwner = "before";
    if (!FileLocker::ReadOwner(aPath.c_str(), &locOwner) || !locOwner.empty())
        std::abort();
    const std::string locWhy =
        "File '" + aPath + "' is locked by '" + aLock + "', a symbolic link in the lock file's place, ";
    std::string locMessage;
    {
        FileLocker locLocker;
        if (locLocker.Lock(aPath.c_str(), &locMessage) ||
            locMessage != locWhy + "you won't be able to save any changes")
            std::abort();
        if (locLocker.CanSave(aPath.c_str(), &locMessage) ||
            locMessage != locWhy + "you may not save to this filename")
            std::abort();
    }
    struct stat locStat;
    if (lstat(aLock.c_str(), &locStat) != 0 || !S_ISLNK(locStat.st_mode) ||
        locReadAll(locTarget) != (aBytes.empty() ? "<none>" : aBytes))
        std::abort();
    std::remove(aLock.c_str());
    std::remove(locTarget.c_str());
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize)
{
    std::string locBytes(reinterpret_cast<const char*>(aData), aSize);
    if (!locBytes.empty() && locBytes[0] == 'H')
        locBytes = FileLocker::GetComputerName() + locBytes.substr(1);

    std::string locOwner = FileLocker::ParseOwner(locBytes.data(), locBytes.size());
    if (locOwner.size() > 4096 || locOwner.size() > locBytes.size())
        std::abort();
    if (std::memchr(locOwner.data(), 0, locOwner.size()) != nullptr)
        std::abort();
    if (std::memcmp(locOwner.data(), locBytes.data(), locOwner.size()) != 0)
        std::abort();
    if (locOwner.size() < locBytes.size() && locOwner.size() < 4096 && locBytes[locOwner.size()] != 0)
        std::abort();
    locCheckProcessId(locBytes, locOwner);
    locCheckShown(locOwner);

    static const std::string ourPath = "/tmp/fuzz_lock_" + std::to_string(getpid()) + ".velk";
    std::string locLockName = FileLocker::GetLockName(ourPath.c_str());
    if (!locBytes.empty() && locBytes[0] == 'S')
    {
        locCheckLink(ourPath, locLockName, locBytes.substr(1));
        return 0;
    }
    FILE* locFile = std::fopen(locLockName.c_str(), "wb");
    if (!locFile)
        return 0;
    size_t locWritten = std::fwrite(locBytes.data(), 1, locBytes.size(), locFile);
    std::fclose(locFile);
    if (locWritten != locBytes.size())
    {
        std::remove(locLockName.c_str());
        return 0;
    }
    std::string locRead;
    if (!FileLocker::ReadOwner(ourPath.c_str(), &locRead) || locRead != locOwner)
        std::abort();

    // Process ids are handed out again: a process may start or end at the id
    // meanwhile, and then the input says nothing.
    const int64_t locId = FileLocker::ParseProcessId(locBytes.data(), locBytes.size());
    const auto locGone = [locId] { return locId > 0 && kill(pid_t(locId), 0) != 0 && errno == ESRCH; };
    const bool locGoneBefore = locGone();
    const bool locStale = !locOwner.empty() && locOwner == FileLocker::GetComputerName() && locGoneBefore;
    std::string locMessage;
    {
        FileLocker locLocker;
        const bool locTaken = locLocker.Lock(ourPath.c_str(), &locMessage);
        if (locGone() != locGoneBefore)
        {
            std::remove(locLockName.c_str());
            return 0;
        }
        if (locTaken != locStale)
            std::abort();
        const std::string locFile = "File '" + ourPath + "' ";
        const std::string locTail = ", you won't be able to save any changes";
        if (!locTaken && locMessage != (locOwner.empty() ? locFile + "is locked by the lock file '" + locLockName +
                                                               "', which names no editor" + locTail
                                                         : locFile + "is in use by '" +
                                                               FileLocker::ShowOwner(locOwner) + "'" + locTail))
            std::abort();
        if (locTaken && locLocker.GetNotes().size() != 1)
            std::abort();
    }
    // A lock taken over went with its locker; a refused one stays as it was.
    if (locStale == (access(locLockName.c_str(), F_OK) == 0))
        std::abort();
    std::remove(locLockName.c_str());
    return 0;
}
