// The LightWave files of Debian's assimp-testmodels, written by LightWave
// and other exporters; expectations checked by hand from a dump.
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>

#include "lw_test_util.h"
#include "modeleditor/lw_mesh.h"

namespace
{
std::string locModel(const char* aRelative)
{
    return std::string(Q_ASSIMP_MODELS) + "/" + aRelative;
}

class LWRealFiles : public ::testing::Test
{
protected:
    void SetUp() override
    {
        struct stat locStat;
        if (stat(locModel("LWO/LWO2/boxuv.lwo").c_str(), &locStat) != 0)
            GTEST_SKIP() << "assimp-testmodels is not installed";
        LWCache::Clear();
    }
    void TearDown() override { LWCache::Clear(); }

    static void ListLWO(const std::string& aFolder, std::vector<std::string>* aFiles)
    {
        DIR* locDir = opendir(aFolder.c_str());
        if (!locDir)
            return;
        while (dirent* locEntry = readdir(locDir))
        {
            std::string locName = locEntry->d_name;
            if (locName == "." || locName == "..")
                continue;
            std::string locPath = aFolder + "/" + locName;
            if (locName.size() > 4 && locName.substr(locName.size() - 4) == ".lwo")
                aFiles->push_back(locPath);
            else
                ListLWO(locPath, aFiles);
        }
        closedir(locDir);
    }
};

TEST_F(LWRealFiles, EveryLWO2FileLoadsAndOtherFormsAreRefused)
{
    std::vector<std::string> locFiles;
    ListLWO(locModel("LWO/LWO2"), &locFiles);
    locFiles.push_back(locModel("LWS/simple_cube.lwo"));
    EXPECT_EQ(locFiles.size(), 36u);
    for (const std::string& locFile : locFiles)
    {
        std::unique_ptr<LWObject> locObject(LoadLWO2(locFile.c_str()));
        EXPECT_TRUE(locObject) << locFile << ": " << EditorError::Get();
    }
    std::vector<std::string> locRefused;
    ListLWO(locModel("LWO/LWOB"), &locRefused);
    locRefused.push_back(locModel("invalid/empty.lwo"));
    EXPECT_EQ(locRefused.size(), 5u);
    for (const std::string& locFile : locRefused)
    {
        EXPECT_EQ(LoadLWO2(locFile.c_str()), nullptr) << locFile;
        EXPECT_EQ(EditorError::Get(), EDITOR_ERROR_INVALID_LWO) << locFile;
    }
}

TEST_F(LWRealFiles, TexturedBoxAndSixteenSurfacesSharingOneImage)
{
    ASSERT_TRUE(FindOrLoadLWObject(locModel("LWO/LWO2/boxuv.lwo").c_str(), 1, false));
    const LWLayerMesh& locBox = *LWCache::GetLastMesh();
    EXPECT_EQ(locBox.myObject->myLayers[1]->myPoints.size(), 24u);
    ASSERT_EQ(locBox.myBatches.size(), 1u);
    EXPECT_EQ(locBox.myBatches[0].GetNumTriangles(), 12u);
    EXPECT_EQ(locBox.myBatches[0].myVertices.size(), 24u);
    EXPECT_EQ(locBox.myBatches[0].myTextureNames[0], "BOXUV.PNG");
    EXPECT_EQ(locBox.myBatches[0].myTextureBaseNames[0], "BOXUV");
    EXPECT_EQ(locBox.myBatches[0].myNumUVSets, 1);

    ASSERT_TRUE(FindOrLoadLWObject(locModel("LWO/LWO2/uvtest.lwo").c_str(), 1, false));
    const LWLayerMesh& locUV = *LWCache::GetLastMesh();
    EXPECT_EQ(locUV.myObject->mySurfaces.size(), 16u);
    ASSERT_EQ(locUV.myBatches.size(), 1u);
    EXPECT_EQ(locUV.myBatches[0].myTextureBaseNames[0], "UVTEST");
    EXPECT_EQ(locUV.myBatches[0].GetNumTriangles(), 32u);
}

TEST_F(LWRealFiles, HierarchyLayersKeepFileOrderAndParents)
{
    std::unique_ptr<LWObject> locObject(LoadLWO2(locModel("LWO/LWO2/hierarchy.lwo").c_str()));
    ASSERT_TRUE(locObject);
    ASSERT_EQ(locObject->myLayers.size(), 5u);
    const uint16_t locNumbers[] = {LW_DEFAULT_LAYER, 3, 4, 2, 1};
    const uint16_t locParents[] = {LW_NO_PARENT, 4, LW_NO_PARENT, 3, 4};
    for (int i = 0; i < 5; i++)
    {
        EXPECT_EQ(locObject->myLayers[i]->myNumber, locNumbers[i]);
        EXPECT_EQ(locObject->myLayers[i]->myParent, locParents[i]);
    }
    EXPECT_EQ(locObject->myLayers[2]->myName, "RootOfHierarchy");
    ASSERT_TRUE(FindOrLoadLWObject(locModel("LWO/LWO2/hierarchy.lwo").c_str(), 4, true));
    EXPECT_EQ(LWCache::GetLastMesh()->myBatches[0].GetNumTriangles(), 528u);
}

TEST_F(LWRealFiles, ExporterChunksAreSkippedAndMappingRulesApply)
{
    ASSERT_TRUE(FindOrLoadLWObject(locModel("LWS/simple_cube.lwo").c_str(), 1, false));
    EXPECT_EQ(LWCache::GetLastMesh()->myBatches[0].myVertices.size(), 8u);

    for (const char* locAxis : {"planar_x", "planar_z_scale_111", "cylindrical_y", "spherical_z_wrap_22"})
    {
        std::string locFile = locModel("LWO/LWO2/MappingModes/earth_") + locAxis + ".lwo";
        EXPECT_FALSE(FindOrLoadLWObject(locFile.c_str(), 1, false)) << locFile;
        EXPECT_EQ(EditorError::Get(), EDITOR_ERROR_NOT_UV_MAPPED) << locFile;
    }
    EXPECT_TRUE(FindOrLoadLWObject(locModel("LWO/LWO2/MappingModes/earth_uv_cylindrical_y.lwo").c_str(), 1, false));

    EXPECT_FALSE(FindOrLoadLWObject(locModel("LWO/LWO2/concave_polygon.lwo").c_str(), 1, false));
    EXPECT_EQ(EditorError::Get(), EDITOR_ERROR_NOT_TRIANGULATED);

    // Vertex colours and a second UV set that no block uses.
    ASSERT_TRUE(FindOrLoadLWObject(locModel("LWO/LWO2/box_2vc_1unused.lwo").c_str(), 1, false));
    EXPECT_TRUE(LWCache::GetLastMesh()->myBatches[0].myHasVertexColours);
    ASSERT_TRUE(FindOrLoadLWObject(locModel("LWO/LWO2/box_2uv_1unused.lwo").c_str(), 1, false));
    EXPECT_EQ(LWCache::GetLastMesh()->myBatches[0].myNumUVSets, 1);
}
} // namespace
