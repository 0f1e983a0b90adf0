// Writes a folder of sample models, textures, surfaces and particle definitions with our own
// writers: qrb_samples DIR [COPIES]. COPIES further copies of each model go to DIR/many/.
// The models are built in memory and written by the model editor's .qrb writer, so a
// renderer is started (headless) for their surfaces.
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

int main(int argc, char** argv)
{
    if (argc < 2 || argc > 3)
    {
        fprintf(stderr, "usage: qrb_samples DIR [COPIES]\n");
        return 2;
    }
    int locCopies = argc == 3 ? atoi(argv[2]) : 0;
    QR_RenderSettings s;
    s.myFullScreenFlag = 0;
    s.myWidth = 64;
    s.myHeight = 64;
    if (!QR_Render::Create(nullptr, nullptr) || !QR_Render::ourInstance->Init(&s))
    {
        fprintf(stderr, "qrb_samples: no renderer (error %u)\n", QR_Error::ourCode);
        return 1;
    }
    bool locOk = QRT_WriteSampleFolder(argv[1], locCopies < 0 ? 0 : locCopies, locWriteModel);
    QR_Render::Destroy();
    if (!locOk)
    {
        fprintf(stderr, "qrb_samples: cannot write the folder %s\n", argv[1]);
        return 1;
    }
    return 0;
}
