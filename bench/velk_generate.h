// The generated data of the data-language benchmarks: DIR/bench.fruit and
// DIR/bench.velk with N root instances (every tenth a script), and the same
// data as DIR/bench.proto and protobuf text DIR/bench.txtpb. The .velk file is
// appended to aFiles.
#pragma once

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

// The two schema files written whole, then the .velk (its INCLUDE line
// written) and the protobuf text left open for the instances.
struct BenchVelkFiles
{
    FILE* myVelk = nullptr;
    FILE* myText = nullptr;

    bool Open(const std::string& aDir, const char* aFruit, const char* aProto)
    {
        const std::string locFruit = aDir + "/bench.fruit";
        if (!WriteWhole(locFruit, aFruit) || !WriteWhole(aDir + "/bench.proto", aProto))
            return false;
        myVelk = fopen((aDir + "/bench.velk").c_str(), "wb");
        myText = fopen((aDir + "/bench.txtpb").c_str(), "wb");
        if (myVelk == nullptr || myText == nullptr)
        {
            Close();
            return false;
        }
        fprintf(myVelk, "INCLUDE %s\r\n\r\n", locFruit.c_str());
        return true;
    }

    // False when anything failed to be written.
    bool Close()
    {
        bool locWritten = myVelk && myText && ferror(myVelk) == 0 && ferror(myText) == 0;
        if (myVelk)
            locWritten = fclose(myVelk) == 0 && locWritten;
        if (myText)
            locWritten = fclose(myText) == 0 && locWritten;
        myVelk = myText = nullptr;
        return locWritten;
    }

    static bool WriteWhole(const std::string& aPath, const char* aText)
    {
        FILE* locOut = fopen(aPath.c_str(), "wb");
        if (locOut == nullptr)
            return false;
        const bool locWritten = fputs(aText, locOut) >= 0;
        return fclose(locOut) == 0 && locWritten;
    }
};

inline bool BenchGenerateVelk(int aCount, const std::string& aDir, std::vector<std::string>& aFiles)
{
    BenchVelkFiles locFiles;
    if (!locFiles.Open(aDir,
                       "TYPE Kind\r\n{\r\nSmall\r\nMedium\r\nLarge\r\n}\r\n"
                       "CLASS Point\r\n{\r\nDECIMAL x\r\nDECIMAL y\r\nDECIMAL z\r\n}\r\n"
                       "CLASS Item\r\n{\r\nTEXT title\r\nLOCTEXT label\r\nKind kind Medium\r\nNUMBER count 1\r\n"
                       "Point pos\r\nItem* next\r\nFILE icon\r\n}\r\n"
                       "SCRIPTCLASS Script\r\n{\r\nTEXT\r\nNUMBER\r\nPoint\r\nItem*\r\n}\r\n",
                       "syntax = \"proto2\";\npackage bench;\n"
                       "enum Kind { Small = 0; Medium = 1; Large = 2; }\n"
                       "message Point { optional string name = 1; optional double x = 2; optional double y = 3; optional double z = 4; }\n"
                       "message Item { optional string name = 1; optional string title = 2; optional string label = 3;\n"
                       "  optional Kind kind = 4 [default = Medium]; optional int32 count = 5 [default = 1]; optional Point pos = 6;\n"
                       "  optional string next = 7; optional string icon = 8; }\n"
                       "message ScriptLine { oneof value { string text = 1; int32 number = 2; Point point = 3; string item = 4; } }\n"
                       "message Script { optional string name = 1; repeated ScriptLine line = 2; }\n"
                       "message Root { repeated Item item = 1; repeated Script script = 2; }\n"))
        return false;
    // The same instances in both languages, line for line where they can be.
    FILE* locOut = locFiles.myVelk;
    FILE* locText = locFiles.myText;
    static const char* const locKinds[] = {"Small", "Medium", "Large"};
    for (int locIndex = 0; locIndex < aCount; locIndex++)
    {
        if (locIndex % 10 == 9)
        {
            fprintf(locOut,
                    "Script script%d\r\n{\r\n\tTEXT \"line %d of the script\"\r\n\tNUMBER %d\r\n"
                    "\tPoint Point(%d)\r\n\t{\r\n\t\tx %d.5\r\n\t}\r\n\tItem* item%d\r\n}\r\n\r\n",
                    locIndex, locIndex, locIndex * 3, locIndex, locIndex, locIndex - 1);
            fprintf(locText,
                    "script\n{\n\tname: \"script%d\"\n\tline { text: \"line %d of the script\" }\n\tline { number: %d }\n"
                    "\tline { point\n\t{\n\t\tname: \"Point(%d)\"\n\t\tx: %d.5\n\t} }\n\tline { item: \"item%d\" }\n}\n\n",
                    locIndex, locIndex, locIndex * 3, locIndex, locIndex, locIndex - 1);
            continue;
        }
        fprintf(locOut,
                "Item item%d\r\n{\r\n\ttitle \"Item number %d\"\r\n\tlabel \"Label %d\"\r\n\tkind %s\r\n"
                "\tcount %d\r\n\tpos\r\n\t{\r\n\t\tx %d.25\r\n\t\ty -%d\r\n\t\tz 0.5\r\n\t}\r\n",
                locIndex, locIndex, locIndex, locKinds[locIndex % 3], locIndex, locIndex, locIndex);
        fprintf(locText,
                "item\n{\n\tname: \"item%d\"\n\ttitle: \"Item number %d\"\n\tlabel: \"Label %d\"\n\tkind: %s\n"
                "\tcount: %d\n\tpos\n\t{\n\t\tx: %d.25\n\t\ty: -%d\n\t\tz: 0.5\n\t}\n",
                locIndex, locIndex, locIndex, locKinds[locIndex % 3], locIndex, locIndex, locIndex);
        if (locIndex > 0 && locIndex % 10 != 0)
        {
            fprintf(locOut, "\tnext item%d\r\n", locIndex - 1);
            fprintf(locText, "\tnext: \"item%d\"\n", locIndex - 1);
        }
        fprintf(locOut, "\ticon textures\\item%d.tga // the picture\r\n}\r\n\r\n", locIndex);
        fprintf(locText, "\ticon: \"textures\\\\item%d.tga\" # the picture\n}\n\n", locIndex);
    }
    aFiles.push_back(aDir + "/bench.velk");
    return locFiles.Close();
}

// A second shape of data, with other proportions than the first: 17 members
// per instance, four references each, names of 30 to 60 characters, and a
// list member holding lists (stages of effects) nested two deep. Same files
// as BenchGenerateVelk, with the root message of the .proto also "Root".
inline bool BenchGenerateVelkWide(int aCount, const std::string& aDir, std::vector<std::string>& aFiles)
{
    BenchVelkFiles locFiles;
    if (!locFiles.Open(aDir,
                       "TYPE Quality\r\n{\r\nCommon\r\nUncommon\r\nRare\r\nLegendary\r\n}\r\n"
                       "CLASS Vector\r\n{\r\nDECIMAL x\r\nDECIMAL y\r\nDECIMAL z\r\n}\r\n"
                       "CLASS Stat\r\n{\r\nTEXT statName\r\nNUMBER base 0\r\nDECIMAL growth 1\r\n}\r\n"
                       "SCRIPTCLASS Effects\r\n{\r\nTEXT\r\nNUMBER\r\nStat\r\nComponent*\r\n}\r\n"
                       "SCRIPTCLASS Stages\r\n{\r\nTEXT\r\nEffects\r\nComponent*\r\n}\r\n"
                       "CLASS Component\r\n{\r\nTEXT displayName\r\nLOCTEXT description\r\nQuality quality Common\r\n"
                       "NUMBER level 1\r\nNUMBER weight 0\r\nDECIMAL scale 1\r\nVector origin\r\nVector extent\r\n"
                       "Component* parentComponent\r\nComponent* previousSibling\r\nComponent* attackTarget\r\n"
                       "Component* spawnSource\r\nFILE modelFile\r\nFILE textureFile\r\nTEXT category\r\nNUMBER flags 0\r\n"
                       "Stages stages\r\n}\r\n",
                       "syntax = \"proto2\";\npackage bench;\n"
                       "enum Quality { Common = 0; Uncommon = 1; Rare = 2; Legendary = 3; }\n"
                       "message Vector { optional double x = 1; optional double y = 2; optional double z = 3; }\n"
                       "message Stat { optional string name = 1; optional string statName = 2; optional int32 base = 3;\n"
                       "  optional double growth = 4 [default = 1]; }\n"
                       "message EffectLine { oneof value { string text = 1; int32 number = 2; Stat stat = 3; string component = 4; } }\n"
                       "message Effects { optional string name = 1; repeated EffectLine line = 2; }\n"
                       "message StageLine { oneof value { string text = 1; Effects effects = 2; string component = 3; } }\n"
                       "message Component { optional string name = 1; optional string displayName = 2; optional string description = 3;\n"
                       "  optional Quality quality = 4 [default = Common]; optional int32 level = 5 [default = 1];\n"
                       "  optional int32 weight = 6; optional double scale = 7 [default = 1]; optional Vector origin = 8;\n"
                       "  optional Vector extent = 9; optional string parentComponent = 10; optional string previousSibling = 11;\n"
                       "  optional string attackTarget = 12; optional string spawnSource = 13; optional string modelFile = 14;\n"
                       "  optional string textureFile = 15; optional string category = 16; optional int32 flags = 17;\n"
                       "  repeated StageLine stages = 18; }\n"
                       "message Root { repeated Component component = 1; }\n"))
        return false;
    FILE* locOut = locFiles.myVelk;
    FILE* locText = locFiles.myText;
    static const char* const locQualities[] = {"Common", "Uncommon", "Rare", "Legendary"};
    static const char* const locAreas[] = {"northern_highlands", "sunken_city_district", "volcanic_rift",
                                           "frozen_archipelago_outskirts", "desert"};
    static const char* const locKinds[] = {"armour_piece", "weapon_attachment_module", "consumable", "quest_item_relic"};
    // The name of root aIndex: 30 to 60 characters.
    auto locName = [&](int anIndex, char* aBuffer, size_t aSize) {
        snprintf(aBuffer, aSize, "%s_%s_component_%07d", locAreas[anIndex % 5], locKinds[(anIndex / 5) % 4], anIndex);
    };
    char locSelf[128], locParent[128], locPrevious[128], locTarget[128], locSource[128];
    for (int locIndex = 0; locIndex < aCount; locIndex++)
    {
        locName(locIndex, locSelf, sizeof(locSelf));
        // References only reach back, so that every one resolves.
        locName(locIndex / 2, locParent, sizeof(locParent));
        locName(locIndex > 0 ? locIndex - 1 : 0, locPrevious, sizeof(locPrevious));
        locName((locIndex * 7) / 9, locTarget, sizeof(locTarget));
        locName(locIndex / 3, locSource, sizeof(locSource));
        const int locStats = 1 + locIndex % 3;
        fprintf(locOut,
                "Component %s\r\n{\r\n\tdisplayName \"Component number %d of the %s\"\r\n"
                "\tdescription \"A longer description of component %d, shown in the game's inventory\"\r\n"
                "\tquality %s\r\n\tlevel %d\r\n\tweight %d\r\n\tscale %d.75\r\n"
                "\torigin\r\n\t{\r\n\t\tx %d.5\r\n\t\ty -%d.25\r\n\t\tz %d\r\n\t}\r\n"
                "\textent\r\n\t{\r\n\t\tx 2\r\n\t\ty 3.5\r\n\t\tz %d\r\n\t}\r\n"
                "\tparentComponent %s\r\n\tpreviousSibling %s\r\n\tattackTarget %s\r\n\tspawnSource %s\r\n"
                "\tmodelFile models\\%s\\component%d.lwo\r\n\ttextureFile textures\\%s\\component%d.tga\r\n"
                "\tcategory %s\r\n\tflags %d\r\n\tstages\r\n\t{\r\n\t\tTEXT \"first stage of %d\"\r\n",
                locSelf, locIndex, locAreas[locIndex % 5], locIndex, locQualities[locIndex % 4], 1 + locIndex % 60,
                locIndex % 1000, locIndex % 4, locIndex, locIndex % 977, locIndex % 13, 1 + locIndex % 5, locParent,
                locPrevious, locTarget, locSource, locAreas[locIndex % 5], locIndex, locAreas[locIndex % 5], locIndex,
                locKinds[(locIndex / 5) % 4], locIndex % 256, locIndex);
        fprintf(locText,
                "component\n{\n\tname: \"%s\"\n\tdisplayName: \"Component number %d of the %s\"\n"
                "\tdescription: \"A longer description of component %d, shown in the game's inventory\"\n"
                "\tquality: %s\n\tlevel: %d\n\tweight: %d\n\tscale: %d.75\n"
                "\torigin\n\t{\n\t\tx: %d.5\n\t\ty: -%d.25\n\t\tz: %d\n\t}\n"
                "\textent\n\t{\n\t\tx: 2\n\t\ty: 3.5\n\t\tz: %d\n\t}\n"
                "\tparentComponent: \"%s\"\n\tpreviousSibling: \"%s\"\n\tattackTarget: \"%s\"\n\tspawnSource: \"%s\"\n"
                "\tmodelFile: \"models\\\\%s\\\\component%d.lwo\"\n\ttextureFile: \"textures\\\\%s\\\\component%d.tga\"\n"
                "\tcategory: \"%s\"\n\tflags: %d\n\tstages { text: \"first stage of %d\" }\n",
                locSelf, locIndex, locAreas[locIndex % 5], locIndex, locQualities[locIndex % 4], 1 + locIndex % 60,
                locIndex % 1000, locIndex % 4, locIndex, locIndex % 977, locIndex % 13, 1 + locIndex % 5, locParent,
                locPrevious, locTarget, locSource, locAreas[locIndex % 5], locIndex, locAreas[locIndex % 5], locIndex,
                locKinds[(locIndex / 5) % 4], locIndex % 256, locIndex);
        // A stage list holding lists of effects, each with stats.
        for (int locStage = 0; locStage < 2; locStage++)
        {
            fprintf(locOut, "\t\tEffects Effects(%d)\r\n\t\t{\r\n\t\t\tTEXT \"effect %d.%d\"\r\n\t\t\tNUMBER %d\r\n",
                    locStage, locIndex, locStage, locIndex * 3 + locStage);
            fprintf(locText, "\tstages { effects\n\t{\n\t\tname: \"Effects(%d)\"\n\t\tline { text: \"effect %d.%d\" }\n"
                    "\t\tline { number: %d }\n", locStage, locIndex, locStage, locIndex * 3 + locStage);
            for (int locStat = 0; locStat < locStats; locStat++)
            {
                fprintf(locOut,
                        "\t\t\tStat Stat(%d)\r\n\t\t\t{\r\n\t\t\t\tstatName \"strength_bonus_%d\"\r\n"
                        "\t\t\t\tbase %d\r\n\t\t\t\tgrowth 1.%d\r\n\t\t\t}\r\n",
                        locStat, locStat, locIndex % 100 + locStat, locStat + 1);
                fprintf(locText,
                        "\t\tline { stat\n\t\t{\n\t\t\tname: \"Stat(%d)\"\n\t\t\tstatName: \"strength_bonus_%d\"\n"
                        "\t\t\tbase: %d\n\t\t\tgrowth: 1.%d\n\t\t} }\n",
                        locStat, locStat, locIndex % 100 + locStat, locStat + 1);
            }
            fprintf(locOut, "\t\t\tComponent* %s\r\n\t\t}\r\n", locPrevious);
            fprintf(locText, "\t\tline { component: \"%s\" }\n\t} }\n", locPrevious);
        }
        fprintf(locOut, "\t\tComponent* %s\r\n\t}\r\n}\r\n\r\n", locParent);
        fprintf(locText, "\tstages { component: \"%s\" }\n}\n\n", locParent);
    }
    aFiles.push_back(aDir + "/bench.velk");
    return locFiles.Close();
}

// A third shape, with proportions neither of the others has: each root is a
// small tree of nested objects (a trunk over two branches over four twigs
// over eight leaves, no member lists), one long text of 200 to 300
// characters, few references, and most scalars left at their defaults (a
// leaf sets one of its three values in most roots). Same files as
// BenchGenerateVelk.
inline bool BenchGenerateVelkDeep(int aCount, const std::string& aDir, std::vector<std::string>& aFiles)
{
    BenchVelkFiles locFiles;
    if (!locFiles.Open(aDir,
                       "TYPE Tone\r\n{\r\nRed\r\nGreen\r\nBlue\r\nAmber\r\n}\r\n"
                       "CLASS Leaf\r\n{\r\nNUMBER a 0\r\nNUMBER b 0\r\nTone tone Red\r\n}\r\n"
                       "CLASS Twig\r\n{\r\nTEXT note\r\nLeaf left\r\nLeaf right\r\n}\r\n"
                       "CLASS Branch\r\n{\r\nDECIMAL weight 0\r\nTwig upper\r\nTwig lower\r\n}\r\n"
                       "CLASS Tree\r\n{\r\nTEXT story\r\nLOCTEXT caption\r\nBranch east\r\nBranch west\r\nTree* neighbour\r\n}\r\n",
                       "syntax = \"proto2\";\npackage bench;\n"
                       "enum Tone { Red = 0; Green = 1; Blue = 2; Amber = 3; }\n"
                       "message Leaf { optional int32 a = 1; optional int32 b = 2; optional Tone tone = 3 [default = Red]; }\n"
                       "message Twig { optional string note = 1; optional Leaf left = 2; optional Leaf right = 3; }\n"
                       "message Branch { optional double weight = 1; optional Twig upper = 2; optional Twig lower = 3; }\n"
                       "message Tree { optional string name = 1; optional string story = 2; optional string caption = 3;\n"
                       "  optional Branch east = 4; optional Branch west = 5; optional string neighbour = 6; }\n"
                       "message Root { repeated Tree tree = 1; }\n"))
        return false;
    FILE* locOut = locFiles.myVelk;
    FILE* locText = locFiles.myText;
    static const char* const locTones[] = {"Red", "Green", "Blue", "Amber"};
    static const char* const locWords[] = {"quietly", "under the old bridge", "where the river bends twice",
                                           "beside a lantern", "long after the harvest"};
    static const char* const locBranches[] = {"east", "west"};
    static const char* const locTwigs[] = {"upper", "lower"};
    static const char* const locLeaves[] = {"left", "right"};
    char locStory[512];
    for (int locIndex = 0; locIndex < aCount; locIndex++)
    {
        int locUsed = snprintf(locStory, sizeof(locStory), "Tree %d grows", locIndex);
        for (int locWord = 0; locWord < 8 + locIndex % 5; locWord++)
            locUsed += snprintf(locStory + locUsed, sizeof(locStory) - size_t(locUsed), " %s and",
                                locWords[(locIndex + locWord) % 5]);
        snprintf(locStory + locUsed, sizeof(locStory) - size_t(locUsed), " then stops at %d", locIndex * 7);
        fprintf(locOut, "Tree t%d\r\n{\r\n\tstory \"%s\"\r\n\tcaption \"Tree %d\"\r\n", locIndex, locStory, locIndex);
        fprintf(locText, "tree\n{\n\tname: \"t%d\"\n\tstory: \"%s\"\n\tcaption: \"Tree %d\"\n", locIndex, locStory,
                locIndex);
        for (int locBranch = 0; locBranch < 2; locBranch++)
        {
            fprintf(locOut, "\t%s\r\n\t{\r\n", locBranches[locBranch]);
            fprintf(locText, "\t%s\n\t{\n", locBranches[locBranch]);
            if ((locIndex + locBranch) % 4 == 0)
            {
                fprintf(locOut, "\t\tweight %d.125\r\n", locIndex % 50);
                fprintf(locText, "\t\tweight: %d.125\n", locIndex % 50);
            }
            for (int locTwig = 0; locTwig < 2; locTwig++)
            {
                fprintf(locOut, "\t\t%s\r\n\t\t{\r\n", locTwigs[locTwig]);
                fprintf(locText, "\t\t%s\n\t\t{\n", locTwigs[locTwig]);
                if (locTwig == 1 && locBranch == 0)
                {
                    fprintf(locOut, "\t\t\tnote \"n%d\"\r\n", locIndex);
                    fprintf(locText, "\t\t\tnote: \"n%d\"\n", locIndex);
                }
                for (int locLeaf = 0; locLeaf < 2; locLeaf++)
                {
                    const int locWhich = locIndex + locBranch * 4 + locTwig * 2 + locLeaf;
                    fprintf(locOut, "\t\t\t%s\r\n\t\t\t{\r\n", locLeaves[locLeaf]);
                    fprintf(locText, "\t\t\t%s\n\t\t\t{\n", locLeaves[locLeaf]);
                    if (locWhich % 3 == 0)
                    {
                        fprintf(locOut, "\t\t\t\ta %d\r\n", locWhich);
                        fprintf(locText, "\t\t\t\ta: %d\n", locWhich);
                    }
                    else if (locWhich % 3 == 1)
                    {
                        fprintf(locOut, "\t\t\t\tb -%d\r\n", locWhich % 1000);
                        fprintf(locText, "\t\t\t\tb: -%d\n", locWhich % 1000);
                    }
                    if (locWhich % 5 == 0)
                    {
                        fprintf(locOut, "\t\t\t\ttone %s\r\n", locTones[locWhich % 4]);
                        fprintf(locText, "\t\t\t\ttone: %s\n", locTones[locWhich % 4]);
                    }
                    fprintf(locOut, "\t\t\t}\r\n");
                    fprintf(locText, "\t\t\t}\n");
                }
                fprintf(locOut, "\t\t}\r\n");
                fprintf(locText, "\t\t}\n");
            }
            fprintf(locOut, "\t}\r\n");
            fprintf(locText, "\t}\n");
        }
        // A reference in every eighth root only, reaching back.
        if (locIndex % 8 == 7)
        {
            fprintf(locOut, "\tneighbour t%d\r\n", locIndex / 2);
            fprintf(locText, "\tneighbour: \"t%d\"\n", locIndex / 2);
        }
        fprintf(locOut, "}\r\n\r\n");
        fprintf(locText, "}\n\n");
    }
    aFiles.push_back(aDir + "/bench.velk");
    return locFiles.Close();
}

// A fourth shape, many small roots: each of 50 to 90 bytes, a short name, an
// enum and a number set, a nested object with one of its two values, a
// reference in most, a file or a short text in some. Per-root costs (the
// object, its name in the index, its members) weigh more here than the text.
// Same files as BenchGenerateVelk.
inline bool BenchGenerateVelkSmall(int aCount, const std::string& aDir, std::vector<std::string>& aFiles)
{
    BenchVelkFiles locFiles;
    if (!locFiles.Open(aDir,
                       "TYPE Mode\r\n{\r\nOff\r\nOn\r\nAuto\r\n}\r\n"
                       "CLASS Span\r\n{\r\nNUMBER lo 0\r\nNUMBER hi 0\r\n}\r\n"
                       "CLASS Cell\r\n{\r\nMode mode Off\r\nNUMBER n 0\r\nSpan span\r\nCell* link\r\nFILE file\r\n"
                       "TEXT tag\r\n}\r\n",
                       "syntax = \"proto2\";\npackage bench;\n"
                       "enum Mode { Off = 0; On = 1; Auto = 2; }\n"
                       "message Span { optional int32 lo = 1; optional int32 hi = 2; }\n"
                       "message Cell { optional string name = 1; optional Mode mode = 2 [default = Off];\n"
                       "  optional int32 n = 3; optional Span span = 4; optional string link = 5; optional string file = 6;\n"
                       "  optional string tag = 7; }\n"
                       "message Root { repeated Cell cell = 1; }\n"))
        return false;
    FILE* locOut = locFiles.myVelk;
    FILE* locText = locFiles.myText;
    static const char* const locModes[] = {"Off", "On", "Auto"};
    for (int locIndex = 0; locIndex < aCount; locIndex++)
    {
        fprintf(locOut, "Cell c%d\r\n{\r\n\tmode %s\r\n\tn %d\r\n\tspan\r\n\t{\r\n\t\t%s %d\r\n\t}\r\n", locIndex,
                locModes[locIndex % 3], locIndex % 9973, locIndex % 2 ? "hi" : "lo", locIndex % 100);
        fprintf(locText, "cell\n{\n\tname: \"c%d\"\n\tmode: %s\n\tn: %d\n\tspan\n\t{\n\t\t%s: %d\n\t}\n", locIndex,
                locModes[locIndex % 3], locIndex % 9973, locIndex % 2 ? "hi" : "lo", locIndex % 100);
        if (locIndex % 4 != 0)
        {
            fprintf(locOut, "\tlink c%d\r\n", (locIndex * 3) / 4);
            fprintf(locText, "\tlink: \"c%d\"\n", (locIndex * 3) / 4);
        }
        if (locIndex % 6 == 1)
        {
            fprintf(locOut, "\tfile maps\\c%d.map\r\n", locIndex);
            fprintf(locText, "\tfile: \"maps\\\\c%d.map\"\n", locIndex);
        }
        else if (locIndex % 5 == 2)
        {
            fprintf(locOut, "\ttag \"t%d\"\r\n", locIndex % 700);
            fprintf(locText, "\ttag: \"t%d\"\n", locIndex % 700);
        }
        fprintf(locOut, "}\r\n\r\n");
        fprintf(locText, "}\n\n");
    }
    aFiles.push_back(aDir + "/bench.velk");
    return locFiles.Close();
}

// A fifth shape, one class nested in another: each root sets a text, an enum,
// a nested object of three values with a text of its own, a reference to an
// earlier root (in all but the first) and a file. About 190 bytes a root.
// Same files as BenchGenerateVelk.
inline bool BenchGenerateVelkNested(int aCount, const std::string& aDir, std::vector<std::string>& aFiles)
{
    BenchVelkFiles locFiles;
    if (!locFiles.Open(aDir,
                       "TYPE Grade\r\n{\r\nLow\r\nMid\r\nHigh\r\n}\r\n"
                       "CLASS Place\r\n{\r\nDECIMAL x\r\nDECIMAL y\r\nNUMBER floor 0\r\nTEXT wing\r\n}\r\n"
                       "CLASS Room\r\n{\r\nTEXT title\r\nGrade grade Low\r\nPlace place\r\nRoom* door\r\nFILE plan\r\n}\r\n",
                       "syntax = \"proto2\";\npackage bench;\n"
                       "enum Grade { Low = 0; Mid = 1; High = 2; }\n"
                       "message Place { optional double x = 1; optional double y = 2; optional int32 floor = 3;\n"
                       "  optional string wing = 4; }\n"
                       "message Room { optional string name = 1; optional string title = 2;\n"
                       "  optional Grade grade = 3 [default = Low]; optional Place place = 4; optional string door = 5;\n"
                       "  optional string plan = 6; }\n"
                       "message Root { repeated Room room = 1; }\n"))
        return false;
    FILE* locOut = locFiles.myVelk;
    FILE* locText = locFiles.myText;
    static const char* const locGrades[] = {"Low", "Mid", "High"};
    static const char* const locWings[] = {"east", "west", "north", "south", "tower"};
    for (int locIndex = 0; locIndex < aCount; locIndex++)
    {
        const char* locWing = locWings[locIndex % 5];
        fprintf(locOut,
                "Room room%d\r\n{\r\n\ttitle \"Room %d in the %s wing\"\r\n\tgrade %s\r\n\tplace\r\n\t{\r\n"
                "\t\tx %d.5\r\n\t\ty -%d.25\r\n\t\tfloor %d\r\n\t\twing \"%s\"\r\n\t}\r\n",
                locIndex, locIndex, locWing, locGrades[locIndex % 3], locIndex % 1000, locIndex % 313,
                locIndex % 12, locWing);
        fprintf(locText,
                "room\n{\n\tname: \"room%d\"\n\ttitle: \"Room %d in the %s wing\"\n\tgrade: %s\n\tplace\n\t{\n"
                "\t\tx: %d.5\n\t\ty: -%d.25\n\t\tfloor: %d\n\t\twing: \"%s\"\n\t}\n",
                locIndex, locIndex, locWing, locGrades[locIndex % 3], locIndex % 1000, locIndex % 313,
                locIndex % 12, locWing);
        if (locIndex > 0)
        {
            fprintf(locOut, "\tdoor room%d\r\n", (locIndex * 5) / 8);
            fprintf(locText, "\tdoor: \"room%d\"\n", (locIndex * 5) / 8);
        }
        fprintf(locOut, "\tplan plans\\%s\\room%d.map\r\n}\r\n\r\n", locWing, locIndex);
        fprintf(locText, "\tplan: \"plans\\\\%s\\\\room%d.map\"\n}\n\n", locWing, locIndex);
    }
    aFiles.push_back(aDir + "/bench.velk");
    return locFiles.Close();
}

using BenchVelkGenerator = bool (*)(int, const std::string&, std::vector<std::string>&);

// A shape of data: its generator, and for edits of its roots (a merge) the
// class of its roots, the name of every aRootStep-th root (printf, %d the
// index) and a text member of theirs.
struct BenchVelkShapeInfo
{
    const char* myName;
    BenchVelkGenerator myGenerator;
    const char* myRootClass;
    const char* myRootName;
    int myRootStep;
    const char* myTextMember;
};

// Null for a name that is no shape.
inline const BenchVelkShapeInfo* BenchVelkShape(const char* aShape)
{
    static const BenchVelkShapeInfo ourShapes[] = {
        {"plain", BenchGenerateVelk, "Item", "item%d", 7, "title"},
        {"wide", BenchGenerateVelkWide, "Component", "northern_highlands_armour_piece_component_%07d", 20,
         "displayName"},
        {"deep", BenchGenerateVelkDeep, "Tree", "t%d", 7, "story"},
        {"small", BenchGenerateVelkSmall, "Cell", "c%d", 7, "tag"},
        {"nested", BenchGenerateVelkNested, "Room", "room%d", 7, "title"}};
    for (const BenchVelkShapeInfo& locShape : ourShapes)
        if (strcmp(aShape, locShape.myName) == 0)
            return &locShape;
    return nullptr;
}

// For usage lines and refusals.
#define BENCH_VELK_SHAPES "plain|wide|deep|small|nested"
