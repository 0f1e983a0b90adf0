// Writes a small sample data tree with our own writers: make_samples DIR.
// DIR/models: .qrb models, TGA and DDS textures, surfaces, particles;
// DIR/velk: a Velk data set (korrinth.velk, game.fruit, level.velk);
// tools/sdf_pack packs part of it into an SDF archive.
// Prints one line per part with its counts.
#include <stdio.h>
#include <sys/stat.h>

#include <string>

#include "qrender/tests/qr_sample_models.h"

static const char ourFruit[] =
    "CLASS BrowseFilter\n{\nTEXT myTypeName\nTEXT myMemberName\nTEXT myExtension\n}\n"
    "SCRIPTCLASS BrowseFilters\n{\nBrowseFilter\n}\n"
    "TYPE Colour\n{\nRed\nGreen\nBlue\n}\n"
    "CLASS Point\n{\nNUMBER x 1\nNUMBER y 2\n}\n"
    "SCRIPTCLASS Script\n{\nTEXT\nNUMBER\nPoint\n}\n"
    "CLASS Unit\n{\nTEXT title\nColour colour Green\nPoint pos\nFILE sound\nUnit* next\nScript script\n}\n";

static const char ourSettings[] =
    "INCLUDE game.fruit\nTEXT DebugFile korrinth_debug.txt\nBrowseFilters myBrowseFilters\n{\n"
    "\tBrowseFilter BrowseFilter(0)\n\t{\n\t\tmyTypeName Unit\n\t\tmyMemberName sound\n"
    "\t\tmyExtension wav\n\t}\n}\nPoint Unit\n{\n\tx 77\n}\n";

static const char ourLevel[] =
    "INCLUDE game.fruit\nUnit tank\n{\n\ttitle \"big tank\"\n\tcolour Blue\n\tpos\n\t{\n\t\tx 10\n\t}\n"
    "\tnext jeep\n\tscript\n\t{\n\t\tTEXT TEXT(1) hello\n\t\tNUMBER NUMBER(2) 5\n\t}\n}\n"
    "Unit jeep\n{\n}\nPoint spot\n{\n}\nNUMBER count 7\n";

int main(int argc, char** argv)
{
    if (argc != 2)
    {
        fprintf(stderr, "usage: make_samples DIR\n");
        return 2;
    }
    std::string d = argv[1];
    mkdir(d.c_str(), 0755);
    if (!QRT_WriteSampleFolder(d + "/models"))
    {
        fprintf(stderr, "make_samples: cannot write %s/models\n", d.c_str());
        return 1;
    }
    printf("models: %s/models\n", d.c_str());

    mkdir((d + "/velk").c_str(), 0755);
    if (!QRT_WriteText(d + "/velk/game.fruit", ourFruit) || !QRT_WriteText(d + "/velk/korrinth.velk", ourSettings) ||
        !QRT_WriteText(d + "/velk/level.velk", ourLevel))
    {
        fprintf(stderr, "make_samples: cannot write %s/velk\n", d.c_str());
        return 1;
    }
    printf("velk: korrinth.velk, game.fruit, level.velk in %s/velk\n", d.c_str());

    return 0;
}
