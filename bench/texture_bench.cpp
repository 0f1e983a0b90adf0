// texture_bench: every .tga and .dds file of a folder (and its sub-folders) loaded through
// QR_Texture::Acquire on the OpenGL device (decode, sizing, mip chain, upload); prints the
// files, MB/s and ms per texture. Baselines in the same run: Qt's TGA reader decoding the
// same TGA files, and the same DDS levels uploaded straight through the device layer.
// Usage: texture_bench DIR [rounds=3]
#include "bench/bench_args.h"
#include <QGuiApplication>
#include <QImageReader>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "qrender/qr_error.h"
#include "qrender/qr_render.h"
#include "qrender/qr_renderd3d.h"
#include "qrender/qr_texture.h"

namespace
{

struct File
{
    std::string myPath;   // without the extension
    uint64_t mySize;
    bool myDDSFlag;
};

double Seconds(std::chrono::steady_clock::time_point aStart)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - aStart).count();
}

uint32_t Word(const std::vector<uint8_t>& aData, size_t anOffset)
{
    uint32_t v;
    memcpy(&v, &aData[anOffset], 4);
    return v;
}

// The DDS file's levels uploaded straight through the device: header read, one texture,
// every level locked and copied. False for a file the renderer would not read either.
bool UploadDDS(GFX_Device* aDevice, const std::string& aPath)
{
    FILE* f = fopen(aPath.c_str(), "rb");
    if (!f)
        return false;
    std::vector<uint8_t> locData;
    uint8_t locBuffer[65536];
    size_t n;
    while ((n = fread(locBuffer, 1, sizeof(locBuffer), f)) > 0)
        locData.insert(locData.end(), locBuffer, locBuffer + n);
    fclose(f);
    if (locData.size() < 128 || memcmp(locData.data(), "DDS ", 4) != 0)
        return false;
    uint32_t h = Word(locData, 12), w = Word(locData, 16), locMips = Word(locData, 28);
    uint32_t locFourCC = Word(locData, 84);
    GFX_Format locFormat = locFourCC == Word({'D', 'X', 'T', '1'}, 0)   ? GFX_FORMAT_DXT1
                           : locFourCC == Word({'D', 'X', 'T', '3'}, 0) ? GFX_FORMAT_DXT3
                           : locFourCC == Word({'D', 'X', 'T', '5'}, 0) ? GFX_FORMAT_DXT5
                                                                        : GFX_FORMAT_V8U8;
    uint32_t locLevels = (Word(locData, 8) & 0x20000) && locMips ? locMips : 1;
    GFX_TextureDesc locDesc;
    locDesc.myWidth = w;
    locDesc.myHeight = h;
    locDesc.myLevels = locLevels;
    locDesc.myFormat = locFormat;
    GFX_Texture* t = aDevice->CreateTexture(locDesc);
    if (!t)
        return false;
    size_t locPos = 128;
    for (uint32_t i = 0; i < locLevels; i++)
    {
        uint32_t lw = w >> i ? w >> i : 1, lh = h >> i ? h >> i : 1;
        uint32_t locRow = GFX_FormatPitch(locFormat, lw);
        uint32_t locRows = GFX_FormatIsCompressed(locFormat) ? (lh + 3) / 4 : lh;
        GFX_LockedRect r;
        if (locPos + (size_t)locRow * locRows > locData.size() ||
            !aDevice->LockTexture(t, GFX_CUBEFACE_POSITIVE_X, i, 0, &r))
            break;
        for (uint32_t y = 0; y < locRows; y++)
            memcpy((uint8_t*)r.myBits + (size_t)y * r.myPitch, &locData[locPos + (size_t)y * locRow], locRow);
        aDevice->UnlockTexture(t, GFX_CUBEFACE_POSITIVE_X, i);
        locPos += (size_t)locRow * locRows;
    }
    aDevice->ReleaseTexture(t);
    return true;
}

void Print(const char* aWhat, int aFiles, uint64_t aBytes, double aSeconds)
{
    if (aFiles == 0)
        return;
    printf("%-34s %5d files %8.1f MB %8.1f MB/s %8.2f ms per texture\n", aWhat, aFiles, aBytes / 1e6,
           aBytes / 1e6 / aSeconds, aSeconds * 1000.0 / aFiles);
}

} // namespace

int main(int argc, char** argv)
{
    BenchArgs locArgs(argc, argv, "usage: texture_bench DIR [ROUNDS=3]\n");
    const std::vector<const char*> locRest = locArgs.Operands(1, 2);
    const char* const locRoot = locRest[0];
    int locRounds = locRest.size() > 1 ? locArgs.Int("ROUNDS", locRest[1], 1, 100000) : 3;
    // Qt warns about every file its reader refuses; the figures say how many it read.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    QGuiApplication locApp(argc, argv);

    std::vector<File> locFiles;
    std::error_code locError;
    for (const auto& e : std::filesystem::recursive_directory_iterator(locRoot, locError))
    {
        std::string p = e.path().string();
        std::string x = e.path().extension().string();
        for (char& c : x)
            c = (char)tolower((unsigned char)c);
        if (e.is_regular_file() && (x == ".tga" || x == ".dds"))
            locFiles.push_back({p.substr(0, p.size() - 4), (uint64_t)e.file_size(), x == ".dds"});
    }

    QR_RenderSettings s;
    s.myFullScreenFlag = 0;
    s.myWidth = 64;
    s.myHeight = 64;
    if (!QR_Render::Create(nullptr, nullptr) || !QR_Render::ourInstance->Init(&s))
    {
        fprintf(stderr, "texture_bench: no renderer (error %u: %s)\n", QR_Error::ourCode, GFX_GetLastErrorDetail());
        return 1;
    }
    GFX_Device* d = QR_RenderD3D::ourDevice;

    int locCounts[2] = {}, locFailed = 0;
    uint64_t locBytes[2] = {};
    double locRenderer[2] = {}, locQt = 0.0, locDevice = 0.0;
    // Qt reads only uncompressed TGA files with the TGA 2.0 footer: both sides over those.
    int locQtCount = 0;
    uint64_t locQtBytes = 0;
    double locOursOnQt = 0.0;
    for (int round = 0; round < locRounds; round++)
    {
        for (const File& f : locFiles)
        {
            int k = f.myDDSFlag ? 1 : 0;
            // TGA files are read as TGA even where a DDS file of the same name lies beside them.
            auto locStart = std::chrono::steady_clock::now();
            QR_Texture* t = QR_Texture::Acquire(f.myPath.c_str(), f.myDDSFlag ? 0u : (uint32_t)QR_TEXTUREFLAG_NODDS, 0, nullptr);
            QR_Texture::Release(t);
            double locOurs = Seconds(locStart);
            locRenderer[k] += locOurs;
            if (!t)
            {
                locFailed += round == 0;
                continue;
            }
            locCounts[k]++;
            locBytes[k] += f.mySize;
            locStart = std::chrono::steady_clock::now();
            if (f.myDDSFlag)
            {
                UploadDDS(d, f.myPath + ".dds");
                locDevice += Seconds(locStart);
            }
            else
            {
                QImageReader locReader(QString::fromStdString(f.myPath + ".tga"), "tga");
                QImage locImage = locReader.read();
                double locTheirs = Seconds(locStart);
                if (!locImage.isNull())
                {
                    locQt += locTheirs;
                    locOursOnQt += locOurs;
                    locQtCount++;
                    locQtBytes += f.mySize;
                }
            }
        }
    }
    printf("texture_bench: %s, %zu files, %d rounds, %d not loaded\n", locRoot, locFiles.size(), locRounds, locFailed);
    Print("TGA through QR_Texture::Acquire", locCounts[0], locBytes[0], locRenderer[0]);
    Print("  the files Qt reads, through Acquire", locQtCount, locQtBytes, locOursOnQt);
    Print("  the same files decoded by Qt", locQtCount, locQtBytes, locQt);
    Print("DDS through QR_Texture::Acquire", locCounts[1], locBytes[1], locRenderer[1]);
    Print("DDS levels straight to the device", locCounts[1], locBytes[1], locDevice);
    QR_Render::Destroy();
    return 0;
}
