// Measures the LightWave import: every .lwo of the given folders is loaded
// and all its layers converted into batches, every .lws key-checked, and
// (where the editor core is built) every .lws opened into a template on the
// renderer the build links.
// In the same run the same objects are imported with the Open Asset Import
// Library (triangulated, identical vertices joined) and walked chunk by chunk
// from memory after a plain read (the I/O floor); the ratios are printed.
//
//   lightwave_bench DIR...                  measure the files under DIR
//   lightwave_bench --generate N DIR DIR... first write DIR/generated.lwo, an
//                                           object of N polygons with many
//                                           surfaces, UV seams, colours and
//                                           weights, and DIR/generated.lws; also
//                                           DIR/skinned.lws, items with bones
//                                           over an object with levels of detail
//   lightwave_bench --export DIR...         every model opened, written as .qrb
//                                           and read back (lightwave_bench_export.cpp)
//   lightwave_bench --qre DIR...            every .qre loaded and exported
#include "bench/bench_args.h"
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#ifdef Q_WITH_ASSIMP
#include <assimp/Importer.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#endif

#include "modeleditor/editorerror.h"
#include "modeleditor/lw_keycheck.h"
#include "modeleditor/lw_mesh.h"
#include "modeleditor/lw_writer.h"
#ifdef Q_WITH_TEMPLATES
#include "bench/lightwave_bench_export.h"
#include "modeleditor/lw_build.h"
#include "modeleditor/lw_scene.h"
#include "modeleditor/qrendereditor.h"
#include "modeleditor/templateedit.h"
#include "qrender/qr_mesh.h"
#include "qrender/qr_render.h"
#include "qrender/qr_templateobject.h"
#endif

namespace
{
using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point aStart)
{
    return std::chrono::duration<double>(Clock::now() - aStart).count();
}

bool HasExtension(const std::string& aName, const char* anExtension)
{
    size_t locLength = strlen(anExtension);
    return aName.size() > locLength && strcasecmp(aName.c_str() + aName.size() - locLength, anExtension) == 0;
}

void ListFiles(const std::string& aFolder, std::vector<std::string>* anObjects, std::vector<std::string>* aScenes)
{
    DIR* locDir = opendir(aFolder.c_str());
    if (!locDir)
        return;
    std::vector<std::string> locNames;
    while (dirent* locEntry = readdir(locDir))
        if (strcmp(locEntry->d_name, ".") && strcmp(locEntry->d_name, ".."))
            locNames.push_back(locEntry->d_name);
    closedir(locDir);
    std::sort(locNames.begin(), locNames.end());
    for (const std::string& locName : locNames)
    {
        std::string locPath = aFolder + "/" + locName;
        struct stat locStat;
        if (stat(locPath.c_str(), &locStat) != 0)
            continue;
        if (S_ISDIR(locStat.st_mode))
            ListFiles(locPath, anObjects, aScenes);
        else if (HasExtension(locName, ".lwo"))
            anObjects->push_back(locPath);
        else if (HasExtension(locName, ".lws"))
            aScenes->push_back(locPath);
    }
}

// An object of about aPolygons quads in a grid: bands of surfaces, two per
// image; a UV seam down the middle; a colour map and three weight maps.
bool Generate(long aPolygons, const std::string& aFolder)
{
    mkdir(aFolder.c_str(), 0755);
    const int locWidth = std::max(2, (int)std::sqrt((double)aPolygons));
    const int locHeight = std::max(1, (int)(aPolygons / locWidth));
    const int locSurfaces = std::max(16, (int)(aPolygons / 8000) * 2);
    const int locRowsPerSurface = std::max(1, (locHeight + locSurfaces - 1) / locSurfaces);
    auto locPoint = [&](int x, int y) { return (uint32_t)(y * (locWidth + 1) + x); };

    LWO2Writer locWriter;
    std::vector<std::string> locTags;
    for (int s = 0; s < locSurfaces; s++)
        locTags.push_back("Surface" + std::to_string(s));
    locWriter.Tags(locTags);
    locWriter.Layer(0, "grid");
    std::vector<LWVec3> locPoints;
    std::vector<LWO2Writer::MapEntry> locUVs, locColours, locWeights[3];
    for (int y = 0; y <= locHeight; y++)
        for (int x = 0; x <= locWidth; x++)
        {
            float u = (float)x / locWidth, v = (float)y / locHeight;
            locPoints.push_back({u * 10, std::sin(u * 20) * std::cos(v * 20), v * 10});
            locUVs.push_back({locPoint(x, y), 0, {u, v}});
            locColours.push_back({locPoint(x, y), 0, {u, v, 1 - u, 1}});
            for (int w = 0; w < 3; w++)
                if ((x + w) % 3 != 0)
                    locWeights[w].push_back({locPoint(x, y), 0, {0.1f + 0.3f * w + 0.2f * u}});
        }
    locWriter.Points(locPoints);
    std::vector<std::vector<uint32_t>> locQuads;
    std::vector<std::pair<uint32_t, uint16_t>> locSurfaceTags;
    std::vector<LWO2Writer::MapEntry> locSeams;
    for (int y = 0; y < locHeight; y++)
        for (int x = 0; x < locWidth; x++)
        {
            uint32_t locIndex = (uint32_t)locQuads.size();
            locQuads.push_back({locPoint(x, y), locPoint(x + 1, y), locPoint(x + 1, y + 1), locPoint(x, y + 1)});
            locSurfaceTags.push_back({locIndex, (uint16_t)std::min(locSurfaces - 1, y / locRowsPerSurface)});
            if (x == locWidth / 2 - 1)
            {
                // The right-hand corners of the quads left of the seam wrap around.
                locSeams.push_back({locPoint(x + 1, y), locIndex, {1.0f, (float)y / locHeight}});
                locSeams.push_back({locPoint(x + 1, y + 1), locIndex, {1.0f, (float)(y + 1) / locHeight}});
            }
        }
    locWriter.Polygons(locQuads);
    locWriter.PolygonTags("SURF", locSurfaceTags);
    locWriter.VertexMap("TXUV", 2, "UV", locUVs);
    locWriter.VertexMap("RGBA", 4, "Paint", locColours);
    for (int w = 0; w < 3; w++)
        locWriter.VertexMap("WGHT", 1, ("Bone" + std::to_string(w)).c_str(), locWeights[w]);
    locWriter.PolyVertexMap("TXUV", 2, "UV", locSeams);
    for (int s = 0; s < locSurfaces / 2; s++)
        locWriter.StillClip(s + 1, ("images/texture" + std::to_string(s) + ".tga").c_str());
    for (int s = 0; s < locSurfaces; s++)
    {
        locWriter.BeginSurface(locTags[s].c_str());
        locWriter.SurfaceValue("DIFF", 0.8f);
        locWriter.SurfaceSmoothing(1.0f);
        locWriter.SurfaceVertexColours("RGBA", "Paint");
        LWO2Writer::Block locBlock;
        locBlock.myImage = s / 2 + 1;
        locWriter.SurfaceBlock(locBlock);
        locWriter.EndSurface();
    }
    if (!locWriter.Save((aFolder + "/generated.lwo").c_str()))
        return false;

    // A scene of many items whose channels are keyed at different times.
    LWSceneText locScene;
    locScene.SceneHeader().Line("FramesPerSecond 30");
    for (int i = 0; i < 200; i++)
    {
        std::vector<std::vector<LWTextKey>> locChannels(9);
        for (int c = 0; c < 9; c++)
            for (int k = 0; k < 20 + (c == 2 ? 1 : 0); k++)
            {
                LWTextKey locKey;
                locKey.myValue = (float)(k * c);
                locKey.myTime = k / 30.0f + (c == 2 && k == 20 ? 0.5f : 0.0f);
                locChannels[c].push_back(locKey);
            }
        locScene.Line("LoadObjectLayer 1 generated.lwo").Line("ObjectMotion").Envelope(locChannels, true);
    }
    if (!locScene.Save((aFolder + "/generated.lws").c_str()))
        return false;

    // A one-surface object with weight maps and three levels of detail, and a
    // scene of items with bone chains over it.
    for (int l = 1; l <= 3; l++)
    {
        LWO2Writer locSkin;
        locSkin.Tags({"Skin"});
        locSkin.Layer(0, "skin");
        std::vector<LWVec3> locSkinPoints;
        std::vector<LWO2Writer::MapEntry> locBoneWeights[4];
        const int n = 64 / l;
        for (int y = 0; y <= n; y++)
            for (int x = 0; x <= n; x++)
            {
                locSkinPoints.push_back({(float)x / n, (float)y / n, 0});
                locBoneWeights[y * 4 / (n + 1)].push_back({(uint32_t)(y * (n + 1) + x), 0, {1.0f}});
            }
        std::vector<std::vector<uint32_t>> locSkinQuads;
        for (int y = 0; y < n; y++)
            for (int x = 0; x < n; x++)
                locSkinQuads.push_back({(uint32_t)(y * (n + 1) + x), (uint32_t)(y * (n + 1) + x + 1),
                                        (uint32_t)((y + 1) * (n + 1) + x + 1), (uint32_t)((y + 1) * (n + 1) + x)});
        locSkin.Points(locSkinPoints);
        locSkin.Polygons(locSkinQuads);
        std::vector<std::pair<uint32_t, uint16_t>> locSkinTags;
        for (uint32_t q = 0; q < locSkinQuads.size(); q++)
            locSkinTags.push_back({q, 0});
        locSkin.PolygonTags("SURF", locSkinTags);
        for (int w = 0; w < 4; w++)
            locSkin.VertexMap("WGHT", 1, ("Bone" + std::to_string(w)).c_str(), locBoneWeights[w]);
        locSkin.BeginSurface("Skin");
        locSkin.EndSurface();
        std::string locName = l == 1 ? "/skinned.lwo" : "/skinned_LOD" + std::to_string(l) + ".lwo";
        if (!locSkin.Save((aFolder + locName).c_str()))
            return false;
    }
    LWSceneText locSkinned;
    locSkinned.SceneHeader().Line("FramesPerSecond 30").Line("PreviewLastFrame 60");
    for (int i = 0; i < 50; i++)
    {
        locSkinned.Line("LoadObjectLayer 1 skinned.lwo");
        char locItemParent[32];
        snprintf(locItemParent, sizeof(locItemParent), "ParentItem 1%07X", 2 * (i - 1));
        if (i > 0)
            locSkinned.Line(locItemParent); // the previous object
        for (int b = 0; b < 12; b++)
        {
            locSkinned.Line("AddBone").Line("BoneName Bone" + std::to_string(i) + "_" + std::to_string(b));
            locSkinned.Line("BoneRestPosition 0 0.25 0").Line("BoneRestLength 0.25");
            locSkinned.Line("BoneWeightMapName Bone" + std::to_string(b % 4));
            char locParent[32];
            snprintf(locParent, sizeof(locParent), b == 0 ? "ParentItem 1%07X" : "ParentItem 4%03X%04X", b == 0 ? i : b - 1,
                     i);
            locSkinned.Line(locParent);
        }
        locSkinned.Line("AddNullObject Null");
    }
    return locSkinned.Save((aFolder + "/skinned.lws").c_str());
}

std::vector<uint8_t> ReadWhole(const std::string& aPath)
{
    std::vector<uint8_t> locData;
    FILE* locFile = fopen(aPath.c_str(), "rb");
    if (!locFile)
        return locData;
    fseek(locFile, 0, SEEK_END);
    long locSize = ftell(locFile);
    fseek(locFile, 0, SEEK_SET);
    locData.resize(locSize > 0 ? (size_t)locSize : 0);
    if (!locData.empty() && fread(locData.data(), 1, locData.size(), locFile) != locData.size())
        locData.clear();
    fclose(locFile);
    return locData;
}

struct Totals
{
    long myFiles = 0, myFailed = 0, myLayers = 0, myPolygons = 0, myTriangles = 0, myVertices = 0;
    double myBytes = 0;
};

void Print(const char* aName, const Totals& aTotals, double aSeconds, int aPasses)
{
    printf("%-10s files %ld (failed %ld)  layers %ld  polygons %ld  triangles %ld  vertices %ld  %.2f MB  %.4f s\n",
           aName, aTotals.myFiles, aTotals.myFailed, aTotals.myLayers, aTotals.myPolygons, aTotals.myTriangles,
           aTotals.myVertices, aTotals.myBytes / 1e6, aSeconds / aPasses);
}

Totals OurImport(const std::vector<std::string>& anObjects)
{
    Totals locTotals;
    for (const std::string& locPath : anObjects)
    {
        LWCache::Clear();
        locTotals.myFiles++;
        LWObject* locObject = LoadLWO2(locPath.c_str());
        if (!locObject)
        {
            locTotals.myFailed++;
            continue;
        }
        LWCache::ourObjects.emplace_back(locObject);
        bool locFailed = false;
        // The file's layers, and the default layer when geometry stands before them.
        for (size_t locIndex = 0; locIndex < locObject->myLayers.size(); locIndex++)
        {
            if (locIndex == 0 && locObject->myLayers[0]->myPolygonLists.empty())
                continue;
            if (!FindOrLoadLWObject(locPath.c_str(), (int)locIndex, false))
            {
                locFailed = true;
                continue;
            }
            const LWLayerMesh& locMesh = *LWCache::GetLastMesh();
            locTotals.myLayers++;
            for (const LWPolygonList& locList : locObject->myLayers[locIndex]->myPolygonLists)
                locTotals.myPolygons += (long)locList.myPolygons.size();
            for (const LWMeshBatch& locBatch : locMesh.myBatches)
            {
                locTotals.myTriangles += locBatch.GetNumTriangles();
                locTotals.myVertices += (long)locBatch.myVertices.size();
            }
        }
        locTotals.myFailed += locFailed;
    }
    LWCache::Clear();
    return locTotals;
}

#ifdef Q_WITH_ASSIMP
Totals AssimpImport(const std::vector<std::string>& anObjects)
{
    Totals locTotals;
    for (const std::string& locPath : anObjects)
    {
        locTotals.myFiles++;
        Assimp::Importer locImporter;
        const aiScene* locScene =
            locImporter.ReadFile(locPath, aiProcess_Triangulate | aiProcess_JoinIdenticalVertices);
        if (!locScene)
        {
            locTotals.myFailed++;
            continue;
        }
        locTotals.myLayers += locScene->mRootNode ? locScene->mRootNode->mNumChildren : 0;
        for (unsigned m = 0; m < locScene->mNumMeshes; m++)
        {
            locTotals.myTriangles += locScene->mMeshes[m]->mNumFaces;
            locTotals.myVertices += locScene->mMeshes[m]->mNumVertices;
        }
    }
    return locTotals;
}
#endif

// Reads each file and walks its top-level chunks: the floor of any reader.
Totals ChunkWalk(const std::vector<std::string>& anObjects)
{
    Totals locTotals;
    for (const std::string& locPath : anObjects)
    {
        std::vector<uint8_t> locData = ReadWhole(locPath);
        locTotals.myFiles++;
        locTotals.myBytes += (double)locData.size();
        size_t locPos = 12;
        while (locPos + 8 <= locData.size())
        {
            uint32_t locSize = ((uint32_t)locData[locPos + 4] << 24) | ((uint32_t)locData[locPos + 5] << 16) |
                               ((uint32_t)locData[locPos + 6] << 8) | locData[locPos + 7];
            if (memcmp(&locData[locPos], "POLS", 4) == 0)
                locTotals.myPolygons++;
            locTotals.myLayers += memcmp(&locData[locPos], "LAYR", 4) == 0;
            locPos += 8 + (size_t)locSize + (locSize & 1);
        }
    }
    return locTotals;
}

#ifdef Q_WITH_TEMPLATES
struct SceneTotals
{
    long myScenes = 0, myFailed = 0, myItems = 0, myBones = 0, myParts = 0, myMeshes = 0, myTriangles = 0;
};

// Each scene opened into a template and released again.
SceneTotals OurScenes(const std::vector<std::string>& aScenes)
{
    SceneTotals locTotals;
    LWBuildSettings locSettings;
    for (const std::string& locPath : aScenes)
    {
        locTotals.myScenes++;
        QR_TemplateObject* t = LoadLWSTemplate(locPath.c_str(), "bench", StateCodeToId("STND"), nullptr, locSettings);
        if (!t)
        {
            locTotals.myFailed++;
            if (getenv("LIGHTWAVE_BENCH_VERBOSE"))
                fprintf(stderr, "%s: code %u %s\n", locPath.c_str(), EditorError::Get(), EditorError::GetDetail());
            continue;
        }
        locTotals.myParts += t->myNumParts;
        std::vector<const QR_Mesh*> locSeen;
        for (uint32_t p = 0; p < t->myNumParts; p++)
        {
            const QR_Mesh* m = t->myParts[p].myMesh;
            if (!m || std::find(locSeen.begin(), locSeen.end(), m) != locSeen.end())
                continue;
            locSeen.push_back(m);
            locTotals.myTriangles += m->myNumIndices / 3;
        }
        locTotals.myMeshes += (long)locSeen.size();
        t->Release();
    }
    return locTotals;
}

void CountSceneItems(const std::vector<std::string>& aScenes, SceneTotals* aTotals)
{
    for (const std::string& locPath : aScenes)
    {
        LWScene locScene;
        if (ReadLWScene(locPath.c_str(), &locScene))
            for (const std::unique_ptr<LWSItem>& i : locScene.myItems)
            {
                aTotals->myItems++;
                aTotals->myBones += (long)i->myBones.size();
            }
        LWCache::Clear();
    }
}
#endif

#ifdef Q_WITH_ASSIMP
Totals AssimpScenes(const std::vector<std::string>& aScenes)
{
    Totals locTotals;
    for (const std::string& locPath : aScenes)
    {
        locTotals.myFiles++;
        Assimp::Importer locImporter;
        const aiScene* locScene = locImporter.ReadFile(locPath, aiProcess_Triangulate | aiProcess_JoinIdenticalVertices);
        if (!locScene)
        {
            locTotals.myFailed++;
            continue;
        }
        for (unsigned m = 0; m < locScene->mNumMeshes; m++)
        {
            locTotals.myTriangles += locScene->mMeshes[m]->mNumFaces;
            locTotals.myVertices += locScene->mMeshes[m]->mNumVertices;
        }
    }
    return locTotals;
}
#endif

// Runs aWork enough times for a measurable total; returns seconds per pass.
template <class Work> double Measure(Work&& aWork, int* aPasses)
{
    Clock::time_point locStart = Clock::now();
    aWork();
    double locFirst = SecondsSince(locStart);
    *aPasses = locFirst >= 0.5 ? 1 : (int)std::min(200.0, std::ceil(0.5 / std::max(locFirst, 1e-4)));
    if (*aPasses == 1)
        return locFirst;
    locStart = Clock::now();
    for (int i = 0; i < *aPasses; i++)
        aWork();
    return SecondsSince(locStart);
}
} // namespace

int main(int argc, char** argv)
{
    BenchArgs locArgs(argc, argv,
                      "usage: lightwave_bench [--generate N DIR] DIR...\n"
                      "       lightwave_bench --export|--qre DIR...\n");
#ifdef Q_WITH_TEMPLATES
    const bool locExport = locArgs.Flag("--export");
    const bool locQre = locArgs.Flag("--qre");
    if (locExport || locQre)
    {
        if (locExport && locQre)
            locArgs.Refuse("--export and --qre do not go together");
        std::vector<const char*> locDirs = locArgs.Operands(1, 100000);
        return LWBench_Export(int(locDirs.size()), const_cast<char**>(locDirs.data()), locQre);
    }
#endif
    const char* locGenerate[2] = {};
    const bool locGenerating = locArgs.Option("--generate", 2, locGenerate);
    const std::vector<const char*> locDirs = locArgs.Operands(1, 100000);
    if (locGenerating)
    {
        const long locPolygons = locArgs.Int("--generate", locGenerate[0], 1, 2000000000);
        if (!Generate(locPolygons, locGenerate[1]))
        {
            fprintf(stderr, "lightwave_bench: cannot generate %s\n", locGenerate[1]);
            return 1;
        }
    }
    std::vector<std::string> locObjects, locScenes;
    for (const char* locDir : locDirs)
        ListFiles(locDir, &locObjects, &locScenes);

    Totals locOurs, locWalk;
    int locPasses;
    double locOurTime = Measure([&] { locOurs = OurImport(locObjects); }, &locPasses);
    locWalk = ChunkWalk(locObjects);
    locOurs.myBytes = locWalk.myBytes;
    Print("ours", locOurs, locOurTime, locPasses);
    int locWalkPasses;
    double locWalkTime = Measure([&] { ChunkWalk(locObjects); }, &locWalkPasses);
    Print("chunkwalk", locWalk, locWalkTime, locWalkPasses);
#ifdef Q_WITH_ASSIMP
    Totals locAssimp;
    int locAssimpPasses;
    double locAssimpTime = Measure([&] { locAssimp = AssimpImport(locObjects); }, &locAssimpPasses);
    locAssimp.myBytes = locWalk.myBytes;
    Print("assimp", locAssimp, locAssimpTime, locAssimpPasses);
    printf("ratio ours/assimp %.2f\n", (locOurTime / locPasses) / (locAssimpTime / locAssimpPasses));
#endif
    printf("ratio ours/chunkwalk %.2f\n", (locOurTime / locPasses) / (locWalkTime / locWalkPasses));

    // The key check over every scene, beside a plain read of the same files.
    long locLines = 0;
    double locSceneBytes = 0;
    int locScenePasses, locReadPasses;
    double locSceneTime = Measure(
        [&] {
            locLines = 0;
            for (const std::string& locScene : locScenes)
                CheckLwsKeys(locScene.c_str(), [&](const char*) { locLines++; });
        },
        &locScenePasses);
    double locReadTime = Measure(
        [&] {
            locSceneBytes = 0;
            for (const std::string& locScene : locScenes)
                locSceneBytes += (double)ReadWhole(locScene).size();
        },
        &locReadPasses);
    printf("keycheck  files %zu  findings %ld  %.2f MB  %.4f s  (plain read %.4f s, ratio %.2f)\n", locScenes.size(),
           locLines, locSceneBytes / 1e6, locSceneTime / locScenePasses, locReadTime / locReadPasses,
           (locSceneTime / locScenePasses) / std::max(1e-9, locReadTime / locReadPasses));

#ifdef Q_WITH_TEMPLATES
    // Whole scenes into templates. The scenes name their objects relative to their folder.
    QR_RenderSettings locSettings;
    locSettings.myFullScreenFlag = 0;
    locSettings.myWidth = 64;
    locSettings.myHeight = 48;
    if (!QR_Render::Create(nullptr, nullptr) || !QR_Render::ourInstance->Init(&locSettings))
    {
        fprintf(stderr, "lightwave_bench: no renderer for the scene figures\n");
        return 1;
    }
    SceneTotals locSceneTotals;
    double locOpenTime = 0;
    int locOpenPasses = 1;
    char locCwd[4096];
    if (!getcwd(locCwd, sizeof(locCwd)))
        return 1;
    for (const std::string& locScene : locScenes)
    {
        size_t locSlash = locScene.rfind('/');
        std::string locFolder = locSlash == std::string::npos ? "." : locScene.substr(0, locSlash);
        std::vector<std::string> locOne = {locScene.substr(locSlash + 1)};
        if (chdir(locFolder.c_str()) != 0)
            continue;
        SceneTotals locOnce;
        int locPasses;
        locOpenTime += Measure([&] { locOnce = OurScenes(locOne); }, &locPasses) / locPasses;
        CountSceneItems(locOne, &locOnce);
        locSceneTotals.myScenes += locOnce.myScenes;
        locSceneTotals.myFailed += locOnce.myFailed;
        locSceneTotals.myItems += locOnce.myItems;
        locSceneTotals.myBones += locOnce.myBones;
        locSceneTotals.myParts += locOnce.myParts;
        locSceneTotals.myMeshes += locOnce.myMeshes;
        locSceneTotals.myTriangles += locOnce.myTriangles;
        if (chdir(locCwd) != 0)
            return 1;
    }
    printf("scenes    files %ld (failed %ld)  items %ld  bones %ld  parts %ld  meshes %ld  triangles %ld  %.4f s\n",
           locSceneTotals.myScenes, locSceneTotals.myFailed, locSceneTotals.myItems, locSceneTotals.myBones,
           locSceneTotals.myParts, locSceneTotals.myMeshes, locSceneTotals.myTriangles, locOpenTime / locOpenPasses);
#ifdef Q_WITH_ASSIMP
    Totals locAssimpScenes;
    int locAssimpScenePasses;
    double locAssimpSceneTime =
        Measure([&] { locAssimpScenes = AssimpScenes(locScenes); }, &locAssimpScenePasses) / locAssimpScenePasses;
    printf("assimp    scenes %ld (failed %ld)  triangles %ld  vertices %ld  %.4f s\n", locAssimpScenes.myFiles,
           locAssimpScenes.myFailed, locAssimpScenes.myTriangles, locAssimpScenes.myVertices, locAssimpSceneTime);
    printf("ratio scenes ours/assimp %.2f\n", locOpenTime / std::max(1e-9, locAssimpSceneTime));
#endif
    QR_Render::Destroy();
#endif
    return 0;
}
