// The debug listeners.
#include "qcommon/qc_debuglistenerimplementations.h"

void QC_StdoutDebugListener::Print(const char* aText)
{
    fprintf(stdout, "%s\n", aText);
}

void QC_StdoutDebugListener::Close()
{
}

QC_FileDebugListener::QC_FileDebugListener(bool anAppendFlag, const char* aFileName)
    : myFile(NULL)
{
    myFile = fopen(aFileName, anAppendFlag ? "a" : "w");
    if (myFile && setvbuf(myFile, NULL, _IONBF, 0) != 0)
    {
        fclose(myFile);
        myFile = NULL;
    }
}

QC_FileDebugListener::~QC_FileDebugListener()
{
    Close();
}

// Log lines end in "\r\n" like every text file the tools write.
void QC_FileDebugListener::Print(const char* aText)
{
    if (!myFile)
        return;
    fprintf(myFile, "%s\r\n", aText);
    fflush(myFile);
}

void QC_FileDebugListener::Close()
{
    if (myFile)
        fclose(myFile);
    myFile = NULL;
}

void QC_NullDebugListener::Print(const char* aText)
{
}

void QC_NullDebugListener::Close()
{
}
