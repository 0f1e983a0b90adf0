// The packed file-time format, the same in both builds of the file library.
#ifdef QC_RENDER_BUILD
#include "qfile/render/qf_file.h"
#else
#include "qfile/qf_file.h"
#endif

#include "platform/os/os_file.h"

uint32_t QF_File::PackTime(int64_t aTime)
{
    OS_DateTime locDate;
    uint32_t locPacked = 0;
    if (!OS_TimeToDateTime(aTime, &locDate) ||
        !PackDateTime(locDate.myYear, locDate.myMonth, locDate.myDay, locDate.myHour, locDate.myMinute,
                      locDate.mySecond, &locPacked))
        return 0;
    return locPacked;
}

bool QF_File::PackDateTime(int aYear, int aMonth, int aDay, int aHour, int aMinute, int aSecond, uint32_t* aPackedTime)
{
    if (aSecond < 0 || aSecond >= 60 || aMinute < 0 || aMinute >= 60 || aHour < 0 || aHour > 23 || aDay < 1 ||
        aDay > 31 || aMonth < 1 || aMonth > 12 || aYear < 2000 || aYear > 2133)
        return false;
    // 744031 = 2000 x 372 + 31: day 0 is 2000-01-01.
    int64_t locDays = int64_t(aYear) * 372 + int64_t(aMonth) * 31 - 744031 + aDay - 1;
    int64_t locPacked = ((locDays * 24 + aHour) * 60 + aMinute) * 60 + aSecond;
    // Late in 2133 the count passes 32 bits; a wrapped value would sort first.
    if (locPacked > 0xFFFFFFFFll)
        return false;
    *aPackedTime = static_cast<uint32_t>(locPacked);
    return true;
}
