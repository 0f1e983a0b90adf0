// Measures the LightWave import beside the Open Asset Import Library in the
// same run: every .lwo under the given folders loaded with all its layers
// converted, every .lws key-checked and (where the editor core is built)
// opened into a template on the renderer the build links. Figures are CPU
// time, the median of warm passes; ratios cover only the files both sides
// read, and the files either side fails are listed apart.
//
//   lightwave_bench DIR...                  measure the files under DIR
//   lightwave_bench --generate N DIR DIR... first write DIR/generated.lwo, an
//                                           object of N polygons with many
//                                           surfaces, UV seams, colours and
//                                           weights, and DIR/generated.lws (its
//                                           keys do not line up: refused on
//                                           purpose); DIR/skinned_<items>.lws,
//                                           25 to 200 items with bones over an
//                                           object with levels of detail; and
//                                           DIR/scenes/tower.lws, whose objects
//                                           sit in DIR/lightwave
//   lightwave_bench --export DIR...         every model opened, written as .qrb
//                                           and read back (lightwave_bench_export.cpp)
//   lightwave_bench --qre DIR...            every .qre loaded and exported
//
// A scene names its objects relative to a content folder: the first of the
// models root (the DIR it was found under), its own folder and the folders
// between that holds its first object. Both importers run from there.
//
// [SECTION] Files and generated models
// [SECTION] Timing and object import
// [SECTION] Scenes
// [SECTION] main
#include "bench/bench_args.h"
#include <dirent.h>
#include <time.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
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
// [SECTION] Files and generated models

bool HasExtension(const std::string& aName, const char* anExtension)
{
    size_t locLength = strlen(anExtension);
    return aName.size() > locLength && strcasecmp(aName.c_str() + aName.size() - locLength, anExtension) == 0;
}

struct SceneFile
{
    std::string myPath, myRoot;
};

void ListFiles(const std::string& aFolder, const std::string& aRoot, std::vector<std::string>* anObjects,
               std::vector<SceneFile>* aScenes)
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
            ListFiles(locPath, aRoot, anObjects, aScenes);
        else if (HasExtension(locName, ".lwo"))
            anObjects->push_back(locPath);
        else if (HasExtension(locName, ".lws"))
            aScenes->push_back({locPath, aRoot});
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
    for (int locItems : {25, 50, 100, 200})
    {
        LWSceneText locSkinned;
        locSkinned.SceneHeader().Line("FramesPerSecond 30").Line("PreviewLastFrame 60");
        for (int i = 0; i < locItems; i++)
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
                snprintf(locParent, sizeof(locParent), b == 0 ? "ParentItem 1%07X" : "ParentItem 4%03X%04X",
                         b == 0 ? i : b - 1, i);
                locSkinned.Line(locParent);
            }
            locSkinned.Line("AddNullObject Null");
        }
        if (!locSkinned.Save((aFolder + "/skinned_" + std::to_string(locItems) + ".lws").c_str()))
            return false;
    }

    // A scene in a folder of its own whose objects are named from the models root.
    mkdir((aFolder + "/lightwave").c_str(), 0755);
    mkdir((aFolder + "/scenes").c_str(), 0755);
    if (!WriteLWBoxObject((aFolder + "/lightwave/mast.lwo").c_str(), 0.5f) ||
        !WriteLWBoxObject((aFolder + "/lightwave/deck.lwo").c_str(), 2.0f))
        return false;
    LWSceneText locTower;
    locTower.SceneHeader().Line("FramesPerSecond 30").Line("PreviewLastFrame 30");
    locTower.Line("LoadObjectLayer 1 lightwave/deck.lwo");
    locTower.Line("LoadObjectLayer 1 lightwave/mast.lwo").Line("ParentItem 10000000");
    return locTower.Save((aFolder + "/scenes/tower.lws").c_str());
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

// [SECTION] Timing and object import

// One file's import by one side: whether it was read, its counts, and the
// reason when it was not.
struct Import
{
    bool myOk = false;
    long myLayers = 0, myPolygons = 0, myTriangles = 0, myVertices = 0;
    std::string myFailure;
};

double CpuSeconds()
{
    timespec locTime;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &locTime);
    return (double)locTime.tv_sec + locTime.tv_nsec * 1e-9;
}

// The median CPU seconds of one call to aWork over warm passes: one pass to
// warm up, then 7 samples, each of enough calls to last 2 ms.
template <class Work> double MedianCpu(Work&& aWork)
{
    double locStart = CpuSeconds();
    aWork();
    double locOne = CpuSeconds() - locStart;
    int locBatch = locOne >= 0.002 ? 1 : (int)std::min(1000.0, std::ceil(0.002 / std::max(locOne, 1e-7)));
    std::vector<double> locSamples;
    for (int i = 0; i < 7; i++)
    {
        locStart = CpuSeconds();
        for (int k = 0; k < locBatch; k++)
            aWork();
        locSamples.push_back((CpuSeconds() - locStart) / locBatch);
    }
    std::sort(locSamples.begin(), locSamples.end());
    return locSamples[locSamples.size() / 2];
}

std::string EditorFailure()
{
    char locText[400];
    snprintf(locText, sizeof(locText), "code %u %s", EditorError::Get(), EditorError::GetDetail());
    return locText;
}

Import OurObject(const std::string& aPath)
{
    Import locResult;
    LWCache::Clear();
    EditorError::Set(EDITOR_ERROR_NONE);
    LWObject* locObject = LoadLWO2(aPath.c_str());
    if (!locObject)
    {
        locResult.myFailure = EditorFailure();
        return locResult;
    }
    LWCache::ourObjects.emplace_back(locObject);
    locResult.myOk = true;
    // The file's layers, and the default layer when geometry stands before them.
    for (size_t locIndex = 0; locIndex < locObject->myLayers.size(); locIndex++)
    {
        if (locIndex == 0 && locObject->myLayers[0]->myPolygonLists.empty())
            continue;
        if (!FindOrLoadLWObject(aPath.c_str(), (int)locIndex, false))
        {
            locResult.myOk = false;
            locResult.myFailure = EditorFailure();
            break;
        }
        const LWLayerMesh& locMesh = *LWCache::GetLastMesh();
        locResult.myLayers++;
        for (const LWPolygonList& locList : locObject->myLayers[locIndex]->myPolygonLists)
            locResult.myPolygons += (long)locList.myPolygons.size();
        for (const LWMeshBatch& locBatch : locMesh.myBatches)
        {
            locResult.myTriangles += locBatch.GetNumTriangles();
            locResult.myVertices += (long)locBatch.myVertices.size();
        }
    }
    LWCache::Clear();
    return locResult;
}

#ifdef Q_WITH_ASSIMP
Import PeerImport(const std::string& aPath)
{
    Import locResult;
    Assimp::Importer locImporter;
    const aiScene* locScene = locImporter.ReadFile(aPath, aiProcess_Triangulate | aiProcess_JoinIdenticalVertices);
    if (!locScene)
    {
        locResult.myFailure = locImporter.GetErrorString();
        return locResult;
    }
    locResult.myOk = true;
    locResult.myLayers = locScene->mRootNode ? locScene->mRootNode->mNumChildren : 0;
    for (unsigned m = 0; m < locScene->mNumMeshes; m++)
    {
        locResult.myTriangles += locScene->mMeshes[m]->mNumFaces;
        locResult.myVertices += locScene->mMeshes[m]->mNumVertices;
    }
    return locResult;
}
#endif

// Reads each file and walks its top-level chunks: the floor of any reader.
long ChunkWalk(const std::vector<std::string>& anObjects, double* aBytes)
{
    long locChunks = 0;
    *aBytes = 0;
    for (const std::string& locPath : anObjects)
    {
        std::vector<uint8_t> locData = ReadWhole(locPath);
        *aBytes += (double)locData.size();
        size_t locPos = 12;
        while (locPos + 8 <= locData.size())
        {
            uint32_t locSize = ((uint32_t)locData[locPos + 4] << 24) | ((uint32_t)locData[locPos + 5] << 16) |
                               ((uint32_t)locData[locPos + 6] << 8) | locData[locPos + 7];
            locChunks++;
            locPos += 8 + (size_t)locSize + (locSize & 1);
        }
    }
    return locChunks;
}

// Sums of the files both sides read.
struct Pair
{
    long myFiles = 0, myOurTriangles = 0, myPeerTriangles = 0;
    double myOurs = 0, myPeer = 0;
};

void PrintFailures(const char* aKind, const char* aSide, const std::vector<std::string>& aLines)
{
    for (const std::string& locLine : aLines)
        printf("%-8s failed (%s): %s\n", aKind, aSide, locLine.c_str());
}

void PrintRatio(const char* aKind, const Pair& aPair)
{
    if (aPair.myFiles == 0)
    {
        printf("%-8s no file both sides read: no ratio\n", aKind);
        return;
    }
    printf("%-8s both read %ld  triangles ours %ld assimp %ld  cpu ours %.4f s assimp %.4f s  ratio ours/assimp "
           "%.2f\n",
           aKind, aPair.myFiles, aPair.myOurTriangles, aPair.myPeerTriangles, aPair.myOurs, aPair.myPeer,
           aPair.myOurs / std::max(1e-12, aPair.myPeer));
}

void MeasureObjects(const std::vector<std::string>& anObjects)
{
    Pair locPair;
    long locOurFiles = 0;
    double locOurTime = 0;
    std::vector<std::string> locOurFailures, locPeerFailures;
    for (const std::string& locPath : anObjects)
    {
        Import locOurs = OurObject(locPath);
        if (!locOurs.myOk)
            locOurFailures.push_back(locPath + ": " + locOurs.myFailure);
        double locOurSeconds = locOurs.myOk ? MedianCpu([&] { OurObject(locPath); }) : 0;
        if (locOurs.myOk)
        {
            locOurFiles++;
            locOurTime += locOurSeconds;
        }
#ifdef Q_WITH_ASSIMP
        Import locPeer = PeerImport(locPath);
        if (!locPeer.myOk)
            locPeerFailures.push_back(locPath + ": " + locPeer.myFailure);
        if (locOurs.myOk && locPeer.myOk)
        {
            locPair.myFiles++;
            locPair.myOurs += locOurSeconds;
            locPair.myPeer += MedianCpu([&] { PeerImport(locPath); });
            locPair.myOurTriangles += locOurs.myTriangles;
            locPair.myPeerTriangles += locPeer.myTriangles;
        }
#endif
    }
    printf("objects  files %zu  read by ours %ld  cpu %.4f s\n", anObjects.size(), locOurFiles, locOurTime);
    PrintFailures("objects", "ours", locOurFailures);
#ifdef Q_WITH_ASSIMP
    PrintFailures("objects", "assimp", locPeerFailures);
    PrintRatio("objects", locPair);
#endif
    if (locOurFiles > 0)
    {
        double locBytes = 0;
        long locChunks = ChunkWalk(anObjects, &locBytes);
        double locWalk = MedianCpu([&] { ChunkWalk(anObjects, &locBytes); });
        printf("chunkwalk files %zu  chunks %ld  %.2f MB  cpu %.4f s\n", anObjects.size(), locChunks, locBytes / 1e6,
               locWalk);
    }
}

// [SECTION] Scenes

// The first path a scene loads an object from, as its reader takes it.
std::string FirstObjectPath(const std::string& aScene)
{
    std::vector<uint8_t> locData = ReadWhole(aScene);
    std::string locText(locData.begin(), locData.end());
    size_t locAt = 0;
    while (locAt < locText.size())
    {
        size_t locEnd = locText.find_first_of("\r\n", locAt);
        if (locEnd == std::string::npos)
            locEnd = locText.size();
        std::string locLine = locText.substr(locAt, locEnd - locAt);
        locAt = locEnd + 1;
        if (strncasecmp(locLine.c_str(), "LoadObjectLayer ", 16) != 0)
            continue;
        size_t locPath = locLine.find(' ', 16); // after the layer number
        return locPath == std::string::npos ? std::string() : locLine.substr(locPath + 1);
    }
    return std::string();
}

// The content folder of a scene: the models root, else its own folder or one
// between, whichever holds its first object; its own folder when none does.
std::string ContentFolder(const SceneFile& aScene)
{
    size_t locSlash = aScene.myPath.rfind('/');
    std::string locFolder = locSlash == std::string::npos ? "." : aScene.myPath.substr(0, locSlash);
    std::string locObject = FirstObjectPath(aScene.myPath);
    if (locObject.empty())
        return locFolder;
    std::vector<std::string> locCandidates = {aScene.myRoot};
    for (std::string f = locFolder; f.size() > aScene.myRoot.size();)
    {
        locCandidates.push_back(f);
        size_t locUp = f.rfind('/');
        if (locUp == std::string::npos)
            break;
        f.resize(locUp);
    }
    for (const std::string& locCandidate : locCandidates)
    {
        struct stat locStat;
        if (stat((locCandidate + "/" + locObject).c_str(), &locStat) == 0)
            return locCandidate;
    }
    return locFolder;
}

std::string AbsolutePath(const std::string& aPath)
{
    char* locReal = realpath(aPath.c_str(), nullptr);
    std::string locResult = locReal ? locReal : aPath;
    free(locReal);
    return locResult;
}

#ifdef Q_WITH_TEMPLATES
struct SceneImport
{
    bool myOk = false;
    long myItems = 0, myBones = 0, myParts = 0, myTriangles = 0;
    std::string myFailure;
};

// The scene opened into a template and released again.
SceneImport OurScene(const std::string& aPath, const LWBuildSettings& aSettings)
{
    SceneImport locResult;
    EditorError::Set(EDITOR_ERROR_NONE);
    QR_TemplateObject* t = LoadLWSTemplate(aPath.c_str(), "bench", StateCodeToId("STND"), nullptr, aSettings);
    if (!t)
    {
        locResult.myFailure = EditorFailure();
        return locResult;
    }
    locResult.myOk = true;
    locResult.myParts = t->myNumParts;
    std::vector<const QR_Mesh*> locSeen;
    for (uint32_t p = 0; p < t->myNumParts; p++)
    {
        const QR_Mesh* m = t->myParts[p].myMesh;
        if (!m || std::find(locSeen.begin(), locSeen.end(), m) != locSeen.end())
            continue;
        locSeen.push_back(m);
        locResult.myTriangles += m->myNumIndices / 3;
    }
    t->Release();
    return locResult;
}

void CountSceneItems(const std::string& aPath, SceneImport* aResult)
{
    LWScene locScene;
    if (ReadLWScene(aPath.c_str(), &locScene))
        for (const std::unique_ptr<LWSItem>& i : locScene.myItems)
        {
            aResult->myItems++;
            aResult->myBones += (long)i->myBones.size();
        }
    LWCache::Clear();
}

bool MeasureScenes(const std::vector<SceneFile>& aScenes)
{
    QR_RenderSettings locRenderSettings;
    locRenderSettings.myFullScreenFlag = 0;
    locRenderSettings.myWidth = 64;
    locRenderSettings.myHeight = 48;
    if (!QR_Render::Create(nullptr, nullptr) || !QR_Render::ourInstance->Init(&locRenderSettings))
    {
        fprintf(stderr, "lightwave_bench: no renderer for the scene figures\n");
        return false;
    }
    char locCwd[4096];
    if (!getcwd(locCwd, sizeof(locCwd)))
        return false;
    LWBuildSettings locSettings;
    Pair locPair;
    std::vector<std::string> locOurFailures, locPeerFailures;
    for (const SceneFile& locFile : aScenes)
    {
        const std::string locScene = AbsolutePath(locFile.myPath);
        const std::string locFolder = ContentFolder(locFile);
        if (chdir(locFolder.c_str()) != 0)
        {
            locOurFailures.push_back(locFile.myPath + ": no folder " + locFolder);
            continue;
        }
        SceneImport locOurs = OurScene(locScene, locSettings);
        double locOurSeconds = 0;
        if (locOurs.myOk)
        {
            locOurSeconds = MedianCpu([&] { OurScene(locScene, locSettings); });
            CountSceneItems(locScene, &locOurs);
        }
        else
            locOurFailures.push_back(locFile.myPath + ": " + locOurs.myFailure);
#ifdef Q_WITH_ASSIMP
        Import locPeer = PeerImport(locScene);
        if (!locPeer.myOk)
            locPeerFailures.push_back(locFile.myPath + ": " + locPeer.myFailure);
        if (locOurs.myOk && locPeer.myOk)
        {
            double locPeerSeconds = MedianCpu([&] { PeerImport(locScene); });
            printf("scene    %s  items %ld  bones %ld  parts %ld  triangles ours %ld assimp %ld  cpu ours %.5f s "
                   "assimp %.5f s  ratio %.2f\n",
                   locFile.myPath.c_str(), locOurs.myItems, locOurs.myBones, locOurs.myParts, locOurs.myTriangles,
                   locPeer.myTriangles, locOurSeconds, locPeerSeconds, locOurSeconds / std::max(1e-12, locPeerSeconds));
            locPair.myFiles++;
            locPair.myOurs += locOurSeconds;
            locPair.myPeer += locPeerSeconds;
            locPair.myOurTriangles += locOurs.myTriangles;
            locPair.myPeerTriangles += locPeer.myTriangles;
        }
#else
        if (locOurs.myOk)
            printf("scene    %s  items %ld  bones %ld  parts %ld  triangles %ld  cpu %.5f s\n", locFile.myPath.c_str(),
                   locOurs.myItems, locOurs.myBones, locOurs.myParts, locOurs.myTriangles, locOurSeconds);
#endif
        if (chdir(locCwd) != 0)
            return false;
    }
    PrintFailures("scenes", "ours", locOurFailures);
#ifdef Q_WITH_ASSIMP
    PrintFailures("scenes", "assimp", locPeerFailures);
    PrintRatio("scenes", locPair);
#endif
    QR_Render::Destroy();
    return true;
}
#endif

const char* const USAGE =
    "usage: lightwave_bench [--generate N DIR] DIR...\n"
    "       lightwave_bench --export|--qre DIR...\n"
    "Imports every .lwo and .lws under the folders and prints CPU figures (medians of warm\n"
    "passes) beside the Open Asset Import Library's; ratios cover the files both read.\n"
    "--generate N DIR first writes generated objects and scenes of N polygons into DIR.\n";
} // namespace

// [SECTION] main

int main(int argc, char** argv)
{
    BenchArgs locArgs(argc, argv, USAGE);
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
    std::vector<std::string> locObjects;
    std::vector<SceneFile> locScenes;
    for (const char* locDir : locDirs)
    {
        std::string locRoot = locDir;
        while (locRoot.size() > 1 && locRoot.back() == '/')
            locRoot.pop_back();
        ListFiles(locRoot, locRoot, &locObjects, &locScenes);
    }
    if (locObjects.empty() && locScenes.empty())
    {
        printf("no .lwo or .lws file under the folders given: nothing measured\n");
        return 1;
    }
    MeasureObjects(locObjects);

    // The key check over every scene, beside a plain read of the same files.
    if (!locScenes.empty())
    {
        long locLines = 0;
        double locSceneBytes = 0;
        double locCheck = MedianCpu([&] {
            locLines = 0;
            for (const SceneFile& locScene : locScenes)
                CheckLwsKeys(locScene.myPath.c_str(), [&](const char*) { locLines++; });
        });
        double locRead = MedianCpu([&] {
            locSceneBytes = 0;
            for (const SceneFile& locScene : locScenes)
                locSceneBytes += (double)ReadWhole(locScene.myPath).size();
        });
        printf("keycheck files %zu  findings %ld  %.2f MB  cpu %.4f s  (plain read %.4f s)\n", locScenes.size(),
               locLines, locSceneBytes / 1e6, locCheck, locRead);
    }
#ifdef Q_WITH_TEMPLATES
    if (!locScenes.empty() && !MeasureScenes(locScenes))
        return 1;
#endif
    return 0;
}
