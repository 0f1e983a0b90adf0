// Writes a folder of sample models, textures, surfaces and particle definitions with our own
// writers: qrb_samples DIR [COPIES]. COPIES further copies of each model go to DIR/many/.
// The models are built in memory and written by the model editor's .qrb writer, so a
// renderer is started (headless) for their surfaces.
#include "platform/os/os_cmdline.h"

#include <stdio.h>
#include <stdlib.h>

#include "modeleditor/tests/me_qrbmodel.h"
#include "qrender/qr_error.h"
#include "qrender/qr_render.h"

namespace
{
bool locWriteModel(const std::string& aPath, const QRB_TestModel& aModel)
{
    if (MET_WriteModel(aPath, aModel))
        return true;
    fprintf(stderr, "qrb_samples: %s not written (editor error %u %s, renderer error %u %s)\n", aPath.c_str(),
            EditorError::Get(), EditorError::GetDetail(), QR_Error::ourCode, QR_Error::ourText);
    return false;
}
}

static const OS_CommandLine ourLine = {
    "qrb_samples",
    "usage: qrb_samples DIR [COPIES]\n"
    "Writes the renderer's sample models, textures, surfaces and particles into\n"
    "DIR, and COPIES further copies of each model into DIR/many/.\n"
    "  -h, --help  this text\n",
    nullptr, 0, false};

int main(int argc, char** argv)
{
    OS_Arguments locArguments;
    const int locCheck = OS_ReadCommandLine(ourLine, argc, argv, &locArguments);
    if (locCheck != OS_COMMAND_LINE_GO_ON)
        return locCheck;
    if (locArguments.myOperands.empty() || locArguments.myOperands.size() > 2)
        return OS_RefuseCommandLine(ourLine, "a folder and at most a count");
    const char* locDir = locArguments.myOperands[0];
    int locCopies = locArguments.myOperands.size() == 2 ? atoi(locArguments.myOperands[1]) : 0;
    QR_RenderSettings s;
    s.myFullScreenFlag = 0;
    s.myWidth = 64;
    s.myHeight = 64;
    if (!QR_Render::Create(nullptr, nullptr) || !QR_Render::ourInstance->Init(&s))
    {
        fprintf(stderr, "qrb_samples: no renderer (error %u)\n", QR_Error::ourCode);
        return 1;
    }
    bool locOk = QRT_WriteSampleFolder(locDir, locCopies < 0 ? 0 : locCopies, locWriteModel);
    QR_Render::Destroy();
    if (!locOk)
    {
        fprintf(stderr, "qrb_samples: cannot write the folder %s\n", locDir);
        return 1;
    }
    return 0;
}
