// Writes the seed corpus of fuzz_qre with the editor's own .qre writer: one
// file holding a line of every keyword, and files of older versions.
// Usage: make_seeds_qre <corpus folder>
#include <string>

#include "seed_file.h"
#include "modeleditor/qre_commands.h"

static bool locAccept(QRECommand&, uint32_t)
{
    return true;
}

int main(int argc, char** argv)
{
    if (argc != 2)
        return 2;
    QRECommand::ourExecuteHook = locAccept;
    CommandHandler::ourWorkDirHook = []() { return "/data/models"; };
    if (!CommandHandler::Create())
        return 1;
    CommandHandler& locHandler = *CommandHandler::Get();
    const char* const locLines[] = {
        "DEFAULTSURFACE \"surfaces/default.sur\"",
        "HALOFILE \"surfaces/halo.sur\"",
        "DEFAULTLODDISTANCE 10 20 40 80",
        "OPENMODEL \"models/ship.lws\" \"ship.lws\" \"IDLE\"",
        "ADDSTATE \"models/ship_run.lwo\" \"ship_run.lwo\" \"RUN1\" 2 \"hull\" \"left wing\"",
        "ADDJOINTSTATE 3 \"WALK\"",
        "REMOVEBONESTATE 3 1",
        "EDITJOINTSTATE 1 2 \"WALK\" -2 0.5 1.25 1 0 1 1",
        "EDITALLJOINTSTATE 1 2 \"WALK\" 1 0.5 1.25 0 1 0 0",
        "EDITBONE 5 1000000000000000.0 1",
        "EDITPOSITIONORIENTATION \"arm\" \"IDLE\" 1 2 3 0.1 0.2 0.3",
        "EDITOBJECT 2.5 0 1 0",
        "EDITMESH \"hull\" 1 \"vs_skin\" 1 1 1 0 2 0 16777215 1 0 1 10 20 30 40 40",
        "EDITLIGHTSOURCE 0 \"textures/halo.tga\" 0.25",
        "SELECTSURFACE \"surfaces/metal.sur\" 2 128",
        "CHANGETEXTURE \"textures/hull.tga\" 2 5",
        "ADDPARTICLEEMITTOR \"smoke\" \"IDLE\" \"engine\"",
        "REMOVEPARTICLEEMITTOR 0",
        "ADDNULLOBJECT \"mount\" \"IDLE\" \"hull\"",
        "ADDQREHIERARCHY \"mount\" \"turret.qre\"",
    };
    for (const char* locLine : locLines)
    {
        std::string locText = locLine;
        QRECommand* locCommand = QRE_CreateCommand(locLine, static_cast<uint32_t>(locText.find(' ')));
        if (!locCommand || !ParseQRECommand(*locCommand, locText.data(), 7) || !locHandler.Run(7, locCommand))
        {
            delete locCommand;
            return 1;
        }
    }
    if (!SaveQRE(locHandler, "seed_all.qre"))
        return 1;
    std::string locAll;
    if (FILE* locFile = fopen("seed_all.qre", "rb"))
    {
        char locBuffer[4096];
        size_t locRead;
        while ((locRead = fread(locBuffer, 1, sizeof(locBuffer), locFile)) > 0)
            locAll.append(locBuffer, locRead);
        fclose(locFile);
    }
    remove("seed_all.qre");
    if (locAll.empty())
        return 1;
    WriteSeed(argv[1], "fuzz_qre", "all_keywords_v7.qre", locAll.data(), locAll.size());
    const std::string locOld = "VERSION_NUMBER 2\r\nADDJOINTSTATE 9 3 \"WALK\"\r\nEDITJOINTSTATE 9 1 2 \"WALK\" -1 0.5 "
                               "1.25 1 1 0\r\nEDITBONE 9 5 100.0\r\nEDITMESH \"mesh\" \"vs\" 2\r\nEDITLOD 1 2\r\n";
    WriteSeed(argv[1], "fuzz_qre", "version2.qre", locOld.data(), locOld.size());
    const std::string locZero = "ADDJOINTSTATE 9 3 1162626387\r\nEDITJOINTSTATE 9 1 2 77 -2 0.5 1.25 1 0 1\r\n";
    WriteSeed(argv[1], "fuzz_qre", "version0.qre", locZero.data(), locZero.size());
    // Recognised, read, and failing when executed.
    const std::string locModel = "VERSION_NUMBER 7\r\nADDMODELHIERARCHY \"a\" \"b\" \"c\"\r\n";
    WriteSeed(argv[1], "fuzz_qre", "model_hierarchy.qre", locModel.data(), locModel.size());
    CommandHandler::Destroy();
    return 0;
}
