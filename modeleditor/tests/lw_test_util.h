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

// Loads an object from memory through a read-only file object over the bytes.
inline std::unique_ptr<LWObject> LoadLWBytes(const std::vector<uint8_t>& aBytes, const char* aName = "test.lwo")
{
    QF_File locFile;
    locFile.myBuffer = const_cast<uint8_t*>(aBytes.data());
    locFile.myFileSize = locFile.myCapacity = (uint32_t)aBytes.size();
    locFile.myFilePos = 0;
    locFile.myStatus = QF_READ | QF_SWAP_BYTES;
    locFile.myFlags = QF_FLAG_NOT_OWNED | QF_FLAG_SWAP_BYTES;
    EditorError::Set(EDITOR_ERROR_NONE);
    std::unique_ptr<LWObject> locObject(LoadLWO2(locFile, aName));
    locFile.myBuffer = nullptr;
    locFile.myStatus = QF_FILE_NOT_OPEN;
    return locObject;
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
