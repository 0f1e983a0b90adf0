// Shared by the LightWave tests: objects loaded from writer-made bytes, and
// a scratch folder for files that readers open by name.
#pragma once

#include <sys/stat.h>

#include <memory>
#include <string>
#include <vector>

#include "modeleditor/editorerror.h"
#include "modeleditor/lw_object.h"
#include "modeleditor/lw_writer.h"
#include "qfile/render/qf_file.h"

// A read-only file object over bytes in memory; the bytes stay the caller's.
class MemoryFile
{
public:
    MemoryFile(const void* aData, size_t aSize, bool aSwapBytes)
    {
        myFile.myBuffer = static_cast<uint8_t*>(const_cast<void*>(aData));
        myFile.myFileSize = myFile.myCapacity = (uint32_t)aSize;
        myFile.myFilePos = 0;
        myFile.myStatus = QF_READ | (aSwapBytes ? (uint32_t)QF_SWAP_BYTES : 0u);
        myFile.myFlags = QF_FLAG_NOT_OWNED | (aSwapBytes ? (uint32_t)QF_FLAG_SWAP_BYTES : 0u);
    }
    ~MemoryFile()
    {
        myFile.myBuffer = nullptr;
        myFile.myStatus = QF_FILE_NOT_OPEN;
    }

    QF_File myFile;
};

// Loads an object from memory, as the editor opens .lwo files: byte-swapped.
inline std::unique_ptr<LWObject> LoadLWBytes(const std::vector<uint8_t>& aBytes, const char* aName = "test.lwo")
{
    MemoryFile locFile(aBytes.data(), aBytes.size(), true);
    EditorError::Set(EDITOR_ERROR_NONE);
    return std::unique_ptr<LWObject>(LoadLWO2(locFile.myFile, aName));
}

inline std::string TestPath(const std::string& aName)
{
    mkdir(Q_TEST_TMP_DIR, 0755);
    return std::string(Q_TEST_TMP_DIR) + "/" + aName;
}

// A unit cube: 8 points, 6 quads, all tagged with tag 0.
inline void WriteCube(LWO2Writer& aWriter, float aSize = 1.0f)
{
    float s = aSize;
    aWriter.Points({{-s, -s, -s}, {s, -s, -s}, {s, s, -s}, {-s, s, -s}, {-s, -s, s}, {s, -s, s}, {s, s, s}, {-s, s, s}});
    aWriter.Polygons({{0, 1, 2, 3}, {7, 6, 5, 4}, {0, 4, 5, 1}, {1, 5, 6, 2}, {2, 6, 7, 3}, {3, 7, 4, 0}});
    aWriter.PolygonTags("SURF", {{0, 0}, {1, 0}, {2, 0}, {3, 0}, {4, 0}, {5, 0}});
}

// Two triangles of layer "body" spanning (-s, 0, -s) to (s, 2s, s), surface
// "Default", and the weight map "Weight" on points 0 and 1.
inline void WriteWeightedLayer(LWO2Writer& aWriter, float aSize = 1.0f)
{
    float s = aSize;
    aWriter.Tags({"Default"});
    aWriter.Layer(0, "body");
    aWriter.Points({{-s, 0, -s}, {s, 0, -s}, {s, 2 * s, -s}, {-s, 2 * s, s}});
    aWriter.Polygons({{0, 1, 2}, {0, 2, 3}});
    aWriter.PolygonTags("SURF", {{0, 0}, {1, 0}});
    aWriter.VertexMap("WGHT", 1, "Weight", {{0, 0, {1.0f}}, {1, 0, {0.5f}}});
    aWriter.BeginSurface("Default");
    aWriter.EndSurface();
}
