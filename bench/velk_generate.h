// The generated data of the data-language benchmarks: DIR/bench.fruit and
// DIR/bench.velk with N root instances (every tenth a script), and the same
// data as DIR/bench.proto and protobuf text DIR/bench.txtpb. The .velk file is
// appended to aFiles.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

inline bool BenchGenerateVelk(int aCount, const std::string& aDir, std::vector<std::string>& aFiles)
{
    const std::string locFruit = aDir + "/bench.fruit";
    const std::string locVelk = aDir + "/bench.velk";
    FILE* locOut = fopen(locFruit.c_str(), "wb");
    if (locOut == nullptr)
        return false;
    fputs("TYPE Kind\r\n{\r\nSmall\r\nMedium\r\nLarge\r\n}\r\n"
          "CLASS Point\r\n{\r\nDECIMAL x\r\nDECIMAL y\r\nDECIMAL z\r\n}\r\n"
          "CLASS Item\r\n{\r\nTEXT title\r\nLOCTEXT label\r\nKind kind Medium\r\nNUMBER count 1\r\n"
          "Point pos\r\nItem* next\r\nFILE icon\r\n}\r\n"
          "SCRIPTCLASS Script\r\n{\r\nTEXT\r\nNUMBER\r\nPoint\r\nItem*\r\n}\r\n",
          locOut);
    fclose(locOut);

    locOut = fopen((aDir + "/bench.proto").c_str(), "wb");
    if (locOut == nullptr)
        return false;
    fputs("syntax = \"proto2\";\npackage bench;\n"
          "enum Kind { Small = 0; Medium = 1; Large = 2; }\n"
          "message Point { optional string name = 1; optional double x = 2; optional double y = 3; optional double z = 4; }\n"
          "message Item { optional string name = 1; optional string title = 2; optional string label = 3;\n"
          "  optional Kind kind = 4 [default = Medium]; optional int32 count = 5 [default = 1]; optional Point pos = 6;\n"
          "  optional string next = 7; optional string icon = 8; }\n"
          "message ScriptLine { oneof value { string text = 1; int32 number = 2; Point point = 3; string item = 4; } }\n"
          "message Script { optional string name = 1; repeated ScriptLine line = 2; }\n"
          "message Root { repeated Item item = 1; repeated Script script = 2; }\n",
          locOut);
    fclose(locOut);

    // The same instances in both languages, line for line where they can be.
    locOut = fopen(locVelk.c_str(), "wb");
    FILE* locText = fopen((aDir + "/bench.txtpb").c_str(), "wb");
    if (locOut == nullptr || locText == nullptr)
    {
        if (locOut)
            fclose(locOut);
        if (locText)
            fclose(locText);
        return false;
    }
    fprintf(locOut, "INCLUDE %s\r\n\r\n", locFruit.c_str());
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
    bool locWritten = ferror(locOut) == 0 && ferror(locText) == 0;
    locWritten = fclose(locOut) == 0 && locWritten;
    locWritten = fclose(locText) == 0 && locWritten;
    aFiles.push_back(locVelk);
    return locWritten;
}
