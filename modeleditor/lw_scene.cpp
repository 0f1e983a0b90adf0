// The LightWave scene reader: the lines of an "LWSC" version-3 file into
// items, bones and lights, then references, trees and timing. Every index the
// file gives is checked before it is used.
#include "modeleditor/lw_scene.h"

#include <ctype.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <unordered_map>
#include <unordered_set>

#include "modeleditor/editorerror.h"
#include "modeleditor/lw_envelope.h"
#include "modeleditor/lw_text_local.h"
#include "qfile/render/qf_file.h"
#include "qrender/matrix33.h"

namespace
{
constexpr uint32_t LINE_SIZE = 256;
constexpr float DEGREES_TO_RADIANS = 0.017453f;
constexpr int DEFAULT_FRAMES_PER_SECOND = 25;

const uint32_t ourBoneColours[15] = {0xff000000, 0xff00ff00, 0xff0000ff, 0xff7f0000, 0xff7f007f,
                                     0xffff7f00, 0xff7f7f7f, 0xff00007f, 0xff007f00, 0xff007f7f,
                                     0xff7f5f00, 0xff00ffff, 0xffff0000, 0xffff00ff, 0xffffffff};

bool locFail(uint32_t aCode)
{
    EditorError::Set(aCode);
    return false;
}

float locFloat(const char* aText)
{
    float locValue = 0;
    LWNumberScanner(aText).Float(&locValue);
    return locValue;
}

int locInt(const char* aText)
{
    int locValue = 0;
    LWNumberScanner(aText).Int(&locValue);
    return locValue;
}

void locVector(const char* aText, float* anOutput)
{
    LWNumberScanner locScanner(aText);
    for (int i = 0; i < 3; i++)
        if (!locScanner.Float(&anOutput[i]))
            return;
}

class SceneReader
{
public:
    SceneReader(const char* aFileName, LWScene* aScene) : myFileName(aFileName), myScene(aScene) {}

    bool Read()
    {
        LWCache::Clear();
        if (!myFile.Open(myFileName, QF_READ))
        {
            SetErrorDetail("File: '%s'", myFileName);
            return locFail(EDITOR_ERROR_FILE_NOT_FOUND);
        }
        char locLine[LINE_SIZE];
        myFile.ReadLine(locLine, LINE_SIZE);
        bool locHeader = strcasecmp(locLine, "LWSC") == 0;
        myFile.ReadLine(locLine, LINE_SIZE);
        if (!locHeader || strcmp(locLine, "3") != 0)
        {
            SetErrorDetail("File: '%s'", myFileName);
            return locFail(EDITOR_ERROR_INVALID_SCENE);
        }
        while (myFile.GetPos() < myFile.GetSize())
        {
            myFile.ReadLine(locLine, LINE_SIZE);
            if (!locLine[0])
                break; // ReadLine skips empty lines: only the end gives none
            if (!Dispatch(locLine))
                return false;
        }
        // The open bone, item and (with a parent) light are kept at the end too.
        CommitBone();
        if (!CommitItem())
            return false;
        CommitLight();
        return Resolve();
    }

private:
    bool Dispatch(const char* aLine)
    {
        const char* r;
        if ((r = LWAfterKeyword(aLine, "LoadObjectLayer ")))
            return CommitItem() && NewObjectLayer(r);
        if ((r = LWAfterKeyword(aLine, "AddNullObject ")))
            return CommitItem() && NewNull(r);
        if (strcasecmp(aLine, "ObjectMotion") == 0)
        {
            if (!myItem)
                return true;
            return ReadPath(&myItem->myMotion, &myItem->myMotionLength, -1, "joint", myItem->myName);
        }
        if (strcasecmp(aLine, "AddBone") == 0)
        {
            if (!myItem)
                return true;
            CommitBone();
            myBone = std::make_unique<LWSBone>();
            myBone->myNumber = myBoneCounter++;
            return true;
        }
        if (LWAfterKeyword(aLine, "AddCamera"))
        {
            CommitBone();
            CommitLight();
            return CommitItem();
        }
        if (LWAfterKeyword(aLine, "AddLight"))
        {
            CommitBone();
            CommitLight();
            myLight = std::make_unique<LWSLight>();
            return CommitItem();
        }
        if ((r = LWAfterKeyword(aLine, "ParentItem ")))
            return ParentItem(r);
        if ((r = LWAfterKeyword(aLine, "PivotPosition ")))
        {
            if (myItem)
                locVector(r, &myItem->myPivot.x);
            return true;
        }
        if (myBone && DispatchBone(aLine))
            return myBoneResult;
        if (myLight && DispatchLight(aLine))
            return myLightResult;
        if ((r = LWAfterKeyword(aLine, "PreviewLastFrame ")))
            myScene->myFrameCount += locInt(r);
        else if ((r = LWAfterKeyword(aLine, "PreviewFirstFrame ")))
            myScene->myFrameCount -= locInt(r);
        else if ((r = LWAfterKeyword(aLine, "FramesPerSecond ")))
        {
            int locFps = locInt(r);
            myScene->myFramesPerSecond = locFps > 0 ? locFps : DEFAULT_FRAMES_PER_SECOND;
        }
        return true;
    }

    // True when the line was a bone keyword; the outcome in myBoneResult.
    bool DispatchBone(const char* aLine)
    {
        const char* r;
        LWSBone& b = *myBone;
        myBoneResult = true;
        if (strcasecmp(aLine, "BoneMotion") == 0)
            myBoneResult = ReadPath(&b.myMotion, &b.myMotionLength, -1, "bone", b.myName);
        else if ((r = LWAfterKeyword(aLine, "BoneName ")))
            b.myName = r;
        else if ((r = LWAfterKeyword(aLine, "ShowBone ")))
        {
            LWNumberScanner locScanner(r);
            int locColour = 0;
            locScanner.Int(&b.myShowFlag);
            locScanner.Int(&locColour);
            b.myColourIndex = locColour - 1;
        }
        else if ((r = LWAfterKeyword(aLine, "BoneActive ")))
            b.myActive = locInt(r) != 0;
        else if ((r = LWAfterKeyword(aLine, "BoneRestPosition ")))
            locVector(r, &b.myRestMatrix[12]);
        else if ((r = LWAfterKeyword(aLine, "BoneRestDirection ")))
        {
            float a[3] = {0, 0, 0};
            locVector(r, a);
            b.myRestMatrix.SetRotation(a[0] * DEGREES_TO_RADIANS, a[1] * DEGREES_TO_RADIANS, a[2] * DEGREES_TO_RADIANS);
        }
        else if ((r = LWAfterKeyword(aLine, "BoneRestLength ")))
            b.myRestLength = locFloat(r);
        else if ((r = LWAfterKeyword(aLine, "BoneWeightMapName ")))
        {
            b.myWeightMapName = r;
            FindWeightMap(b);
        }
        else if ((r = LWAfterKeyword(aLine, "BoneWeightMapOnly ")))
            b.myWeightMapOnly = locInt(r) != 0;
        else if ((r = LWAfterKeyword(aLine, "BoneNormalization ")))
            b.myNormalisation = locInt(r) != 0;
        else if ((r = LWAfterKeyword(aLine, "BoneStrength ")))
            b.myStrength = locFloat(r);
        else if ((r = LWAfterKeyword(aLine, "ScaleBoneStrength ")))
            b.myScaleStrength = locFloat(r);
        else
            return false;
        return true;
    }

    bool DispatchLight(const char* aLine)
    {
        const char* r;
        LWSLight& l = *myLight;
        myLightResult = true;
        if ((r = LWAfterKeyword(aLine, "LightName ")))
            l.myName = r;
        else if (strcasecmp(aLine, "LightMotion") == 0)
            myLightResult = ReadPath(&l.myMotion, &l.myMotionLength, -1, "light", "?????");
        else if ((r = LWAfterKeyword(aLine, "LightColor ")))
        {
            if (strcmp(r, "(envelope)") == 0)
            {
                myLightResult = ReadPath(&l.myColourPath, &l.myColourLength, 3, "light", "?????");
                if (myLightResult)
                    PathValueAtZero(*l.myColourPath, l.myColour, 3);
            }
            else
                locVector(r, l.myColour);
        }
        else if ((r = LWAfterKeyword(aLine, "LightIntensity ")))
            l.myIntensity = locFloat(r);
        else if ((r = LWAfterKeyword(aLine, "LightType ")))
            l.myType = locInt(r);
        else if ((r = LWAfterKeyword(aLine, "LightConeAngle ")))
            l.myConeAngle = locFloat(r) * DEGREES_TO_RADIANS;
        else if ((r = LWAfterKeyword(aLine, "LightEdgeAngle ")))
            l.myEdgeAngle = locFloat(r) * DEGREES_TO_RADIANS;
        else if ((r = LWAfterKeyword(aLine, "LightRange ")))
        {
            if (strcmp(r, "(envelope)") == 0)
            {
                myLightResult = ReadPath(&l.myRangePath, &l.myRangeLength, 1, "light", "?????");
                if (myLightResult)
                    PathValueAtZero(*l.myRangePath, &l.myRange, 1);
            }
            else
                l.myRange = locFloat(r);
        }
        else
            return false;
        return true;
    }

    static void PathValueAtZero(const QR_SplinePath& aPath, float* anOutput, uint32_t aCount)
    {
        float locValues[QR_SplinePath::MAX_CHANNELS] = {};
        aPath.GetValue(0, locValues);
        for (uint32_t i = 0; i < aCount && i < aPath.myNumChannels; i++)
            anOutput[i] = locValues[i];
    }

    bool ReadPath(std::unique_ptr<QR_SplinePath>* aPath, float* aLength, int aNumChannels, const char* aKind,
                  const char* aName)
    {
        auto locPath = std::make_unique<QR_SplinePath>();
        float locLength = ReadEnvelope(locPath.get(), myFile, (float)myScene->myFramesPerSecond, aNumChannels);
        if (locLength < 0)
        {
            AppendErrorDetail("File: '%s', %s: %s", myFileName, aKind, aName);
            return false;
        }
        *aPath = std::move(locPath);
        *aLength = locLength;
        if (locLength > myScene->myLongestLength)
            myScene->myLongestLength = locLength;
        return true;
    }

    bool NewObjectLayer(const char* aRest)
    {
        int locLayerNumber = locInt(aRest);
        const char* locPathStart = aRest;
        while (*locPathStart == ' ')
            locPathStart++;
        while (*locPathStart && *locPathStart != ' ')
            locPathStart++;
        if (*locPathStart == ' ')
            locPathStart++;
        std::string locPath = locPathStart;
        // "D:objects/box.lwo" names "D:/objects/box.lwo".
        if (locPath.size() >= 2 && locPath[1] == ':' && (locPath.size() == 2 || (locPath[2] != '/' && locPath[2] != '\\')))
            locPath.insert(2, "/");
        if (!FindOrLoadLWObject(locPath.c_str(), locLayerNumber - 1, true))
            return false;

        myItem = std::make_unique<LWSItem>();
        LWSItem& i = *myItem;
        i.myLevels[0] = LWCache::GetLastMesh();
        i.myLayerIndex = locLayerNumber - 1;
        i.myFileName = locPath.c_str();

        for (char& c : locPath)
            if (c == '\\')
                c = '/';
        for (size_t p = locPath.size(); p-- > 0 && locPath[p] != '/';)
            if (locPath[p] == '.')
            {
                locPath.resize(p);
                break;
            }
        size_t locSlash = locPath.rfind('/');
        std::string locBase = locSlash == std::string::npos ? locPath : locPath.substr(locSlash + 1);
        const char* locLayerName = "";
        for (const std::unique_ptr<LWLayer>& locLayer : i.myLevels[0]->myObject->myLayers)
            if ((int)locLayer->myNumber == i.myLayerIndex)
            {
                locLayerName = locLayer->myName;
                break;
            }
        i.myName = (locBase + "_" + std::to_string(locLayerNumber) + "_" + locLayerName).c_str();

        std::string locLevelName = locPath + "_LOD2.lwo";
        const size_t locDigit = locPath.size() + 4;
        for (int s = 1; s < LWSItem::NUM_LEVELS; s++)
        {
            locLevelName[locDigit] = (char)('1' + s);
            if (!FindOrLoadLWObject(locLevelName.c_str(), i.myLayerIndex, true))
            {
                // Items of one object ask for the same missing level: looked up once.
                auto locKnown = myLevelExists.find(locLevelName);
                if (locKnown == myLevelExists.end())
                    locKnown = myLevelExists.emplace(locLevelName, QF_File::Exists(locLevelName.c_str())).first;
                if (locKnown->second)
                    i.myFailedLevel = s;
                break;
            }
            i.myLevels[s] = LWCache::GetLastMesh();
        }
        EditorError::Set(EDITOR_ERROR_NONE);
        i.myIndex = myObjectCounter++;
        myBoneCounter = 0;
        return true;
    }

    bool NewNull(const char* aName)
    {
        myItem = std::make_unique<LWSItem>();
        myItem->myName = aName;
        if (strncasecmp(aName, "PE_", 3) == 0)
        {
            myItem->myIndex = myEmitterCounter++;
            myItem->myEmitterName = aName + 3;
        }
        else
            myItem->myIndex = myObjectCounter++;
        myBoneCounter = 0;
        return true;
    }

    bool ParentItem(const char* aRest)
    {
        uint32_t locValue = (uint32_t)strtoul(aRest, nullptr, 16);
        uint32_t locKind = locValue >> 28;
        if (myBone)
        {
            if (locKind == 1)
            {
                myBone->myParentBone = -1;
                myPendingRoot = true;
            }
            else
                myBone->myParentBone = (int)((locValue >> 16) & 0xFFF);
            return true;
        }
        int* locIndex;
        int* locParentBone;
        if (myLight)
            locIndex = &myLight->myParentIndex, locParentBone = &myLight->myParentBone;
        else if (myItem)
            locIndex = &myItem->myParentIndex, locParentBone = &myItem->myParentBone;
        else
            return true;
        if (locKind == 1)
        {
            *locIndex = (int)(locValue & 0x0FFFFFFF);
            *locParentBone = -1;
        }
        else if (locKind == 4)
        {
            *locIndex = (int)(locValue & 0xFFFF);
            *locParentBone = (int)((locValue >> 16) & 0xFFF);
        }
        else
        {
            SetErrorDetail("File: '%s', ParentItem %s", myFileName, aRest);
            return locFail(EDITOR_ERROR_INVALID_SCENE);
        }
        return true;
    }

    void FindWeightMap(LWSBone& aBone)
    {
        aBone.myWeightMap = nullptr;
        LWLayerMesh* locMesh = myItem->myLevels[0];
        if (!locMesh || !locMesh->myObject)
            return;
        for (const std::unique_ptr<LWLayer>& locLayer : locMesh->myObject->myLayers)
            if ((int)locLayer->myNumber == locMesh->myLayerNumber)
                for (const LWVertexMap& locMap : locLayer->myVertexMaps)
                    if (locMap.myType == LWID("WGHT") && strcmp(locMap.myName, aBone.myWeightMapName) == 0)
                    {
                        aBone.myWeightMap = &locMap;
                        return;
                    }
    }

    void CommitBone()
    {
        if (!myBone)
            return;
        if (myPendingRoot && !myItem->myRootBone)
            myItem->myRootBone = myBone.get();
        myPendingRoot = false;
        myItem->myBones.push_back(std::move(myBone));
    }

    bool CommitItem()
    {
        CommitBone();
        if (!myItem)
            return true;
        // Names are unique without regard to case: "Null", "Null1", "Null2"...
        std::string locName = myItem->myName.GetBuffer();
        if (myNames.count(Lower(locName)))
        {
            size_t locDigits = locName.size();
            while (locDigits > 0 && isdigit((unsigned char)locName[locDigits - 1]))
                locDigits--;
            // Bounded: a long run of digits counts from the last nine.
            size_t locFrom = locName.size() - locDigits > 9 ? locName.size() - 9 : locDigits;
            long locNumber = strtol(locName.c_str() + locFrom, nullptr, 10);
            const std::string locBase = locName.substr(0, locDigits);
            // The numbers after a base that are known taken, so that many items
            // of one name cost one look-up each.
            NameRun& locRun = myNameRuns[Lower(locBase)];
            long locStart = locNumber;
            long locNext = locNumber + 1;
            if (locRun.myValid && locNumber >= locRun.myFrom && locNumber < locRun.myTo)
            {
                locStart = locRun.myFrom;
                locNext = locRun.myTo + 1;
            }
            while (myNames.count(Lower(locBase + std::to_string(locNext))))
                locNext++;
            locRun = {true, locStart, locNext};
            locName = locBase + std::to_string(locNext);
        }
        if (locName.size() > 255)
        {
            SetErrorDetail("File: '%s', joint: %s", myFileName, locName.c_str());
            return locFail(EDITOR_ERROR_INVALID_SCENE);
        }
        myItem->myName = locName.c_str();
        myNames.insert(Lower(locName));
        myScene->myItems.push_back(std::move(myItem));
        return true;
    }

    void CommitLight()
    {
        if (myLight && myLight->myParentIndex >= 0)
            myScene->myLights.push_back(std::move(myLight));
        myLight.reset();
    }

    bool FailIndex(const char* aKind, const char* aName, int anIndex)
    {
        SetErrorDetail("File: '%s', %s: %s, index %d", myFileName, aKind, aName, anIndex);
        return locFail(EDITOR_ERROR_INVALID_SCENE);
    }

    bool Resolve()
    {
        std::vector<std::unique_ptr<LWSItem>>& locItems = myScene->myItems;
        // References of the surfaces' texture stages.
        // Items share the mesh of a layer they have in common.
        for (const std::unique_ptr<LWLayerMesh>& locMesh : LWCache::ourMeshes)
            for (const LWMeshBatch& locBatch : locMesh->myBatches)
                for (int r = 0; r < 2; r++)
                {
                    const QC_String& locName = r == 0 ? locBatch.myBumpName : locBatch.myReflectionName;
                    if (locName.IsEmpty())
                        continue;
                    for (const std::unique_ptr<LWSItem>& i : locItems)
                        if (strcasecmp(i->myName, locName) == 0)
                        {
                            i->myConsumed = true;
                            for (const std::unique_ptr<LWSItem>& locOwner : locItems)
                                if (locOwner->myLevels[0] == locMesh.get())
                                    locOwner->myReferences[r] = i.get();
                            break;
                        }
                }
        // Trees, every index checked.
        for (const std::unique_ptr<LWSItem>& i : locItems)
        {
            if (i->myConsumed)
                continue;
            for (const std::unique_ptr<LWSBone>& b : i->myBones)
            {
                if (b->myParentBone < 0)
                    continue;
                if (b->myParentBone >= (int)i->myBones.size() || b->myParentBone == b->myNumber)
                    return FailIndex("bone", b->myName, b->myParentBone);
                b->myParent = i->myBones[b->myParentBone].get();
                b->myParent->myChildren.push_back(b.get());
            }
            for (const std::unique_ptr<LWSBone>& b : i->myBones)
            {
                // A chain longer than the list is a cycle.
                size_t n = 0;
                for (LWSBone* p = b->myParent; p; p = p->myParent)
                    if (++n > i->myBones.size())
                        return FailIndex("bone", b->myName, b->myParentBone);
            }
            if (i->myParentIndex < 0)
                continue;
            if (i->myParentIndex >= (int)locItems.size() || locItems[i->myParentIndex].get() == i.get())
                return FailIndex("joint", i->myName, i->myParentIndex);
            i->myParent = locItems[i->myParentIndex].get();
            if (i->myParentBone >= (int)i->myParent->myBones.size())
                return FailIndex("joint", i->myName, i->myParentBone);
            i->myParent->myChildren.push_back(i.get());
        }
        for (const std::unique_ptr<LWSItem>& i : locItems)
        {
            size_t n = 0;
            for (LWSItem* p = i->myParent; p; p = p->myParent)
                if (++n > locItems.size())
                    return FailIndex("joint", i->myName, i->myParentIndex);
        }
        for (const std::unique_ptr<LWSLight>& l : myScene->myLights)
        {
            if (l->myParentIndex >= (int)locItems.size())
                return FailIndex("light", l->myName, l->myParentIndex);
            l->myParent = locItems[l->myParentIndex].get();
            if (l->myParentBone <= 0)
                l->myParentName = l->myParent->myName;
            else if (l->myParentBone < (int)l->myParent->myBones.size())
                l->myParentName = l->myParent->myBones[l->myParentBone]->myName;
            else
                return FailIndex("light", l->myName, l->myParentBone);
        }

        for (const std::unique_ptr<LWSItem>& i : locItems)
            for (const std::unique_ptr<LWSBone>& b : i->myBones)
                if (!b->myParent)
                    ComputeBoneBindPose(b.get());

        // Timing: every path runs at the speed that fits its length into the
        // preview's frames.
        LWScene& s = *myScene;
        if (s.myLongestLength <= 0)
            s.myLongestLength = 1.0f;
        for (const std::unique_ptr<LWSItem>& i : locItems)
        {
            SetSpeed(i->myMotion.get(), &i->myMotionLength);
            for (const std::unique_ptr<LWSBone>& b : i->myBones)
                SetSpeed(b->myMotion.get(), &b->myMotionLength);
        }
        for (const std::unique_ptr<LWSLight>& l : s.myLights)
        {
            SetSpeed(l->myMotion.get(), &l->myMotionLength);
            SetSpeed(l->myColourPath.get(), &l->myColourLength);
            SetSpeed(l->myRangePath.get(), &l->myRangeLength);
            for (float& c : l->myColour)
                c *= l->myIntensity;
        }
        return true;
    }

    void SetSpeed(QR_SplinePath* aPath, float* aLength)
    {
        if (!aPath)
            return;
        if (*aLength <= 0)
            *aLength = myScene->myLongestLength;
        double locFactor = (double)myScene->myFrameCount / myScene->myFramesPerSecond *
                           ((double)*aLength / myScene->myLongestLength);
        aPath->myRate = locFactor > 0 ? (float)(1.0 / locFactor) : 1.0f;
    }

    static std::string Lower(std::string aText)
    {
        for (char& c : aText)
            c = (char)tolower((unsigned char)c);
        return aText;
    }

    // Numbers myFrom + 1 to myTo after one base are all taken.
    struct NameRun
    {
        bool myValid = false;
        long myFrom = 0, myTo = 0;
    };

    const char* myFileName;
    LWScene* myScene;
    std::unordered_set<std::string> myNames; // committed item names, lower-cased
    std::unordered_map<std::string, NameRun> myNameRuns;
    std::unordered_map<std::string, bool> myLevelExists; // level file names that failed to load
    QF_File myFile;
    std::unique_ptr<LWSItem> myItem;
    std::unique_ptr<LWSBone> myBone;
    std::unique_ptr<LWSLight> myLight;
    bool myPendingRoot = false;
    bool myBoneResult = true, myLightResult = true;
    int myObjectCounter = 0;
    int myEmitterCounter = LWSItem::EMITTER_BASE;
    int myBoneCounter = 0;
};
} // namespace

void ComputeBoneBindPose(LWSBone* aRoot, const Matrix44* aParentWorld)
{
    // Bone trees are acyclic once read; the depth is bounded by the bone count anyway.
    Matrix44 locWorld = aParentWorld ? aRoot->myRestMatrix * *aParentWorld : aRoot->myRestMatrix;
    // A rest matrix from angles and a position always inverts; one that does not (angles
    // read as NaN) binds the bone as it stands rather than through its world matrix.
    if (!Matrix44::Invert(locWorld, aRoot->myRestMatrix))
        aRoot->myRestMatrix.SetIdentity();
    for (LWSBone* c : aRoot->myChildren)
        ComputeBoneBindPose(c, &locWorld);
}

uint32_t LWBoneColour(int aColourIndex)
{
    return aColourIndex >= 0 && aColourIndex < 15 ? ourBoneColours[aColourIndex] : 0xffffffff;
}

bool ReadLWScene(const char* aFileName, LWScene* aScene)
{
    *aScene = LWScene();
    SceneReader locReader(aFileName, aScene);
    return locReader.Read();
}
