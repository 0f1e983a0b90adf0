// The ".pe" text as the model editor's particle-emitter editor writes it, from an in-memory
// definition: for tests, fuzz seeds and the sample-model generator.
#pragma once

#include <stdio.h>

#include <string>

#include "qrender/qr_sharedgenericparticledata.h"

struct QRT_PeAnimation
{
    int myNumTextures;
    int myWidth; // of a frame, texels
    int myHeight;
    float myFrameTime; // seconds
};

// Lines end with CR LF; rectangles and boxes are written with their full sizes.
inline std::string QRT_WritePe(const QR_SharedGenericParticleData& d, const std::string& aSurface,
                               const std::string& aTexture, const QRT_PeAnimation* anAnimation = nullptr)
{
    std::string s;
    char b[512];
    auto locLine = [&](const char* aFormat, auto... anArgs)
    {
        snprintf(b, sizeof(b), aFormat, anArgs...);
        s += b;
        s += "\r\n";
    };
    locLine("GENERIC");
    std::string locFlags = "FLAGS";
    if (d.myFlags & QR_PARTICLEFLAG_EMITTORSPACE)
        locFlags += " EMITTORSPACE";
    if (d.myFlags & QR_PARTICLEFLAG_TEXTUREANIMATED)
        locFlags += " TEXTUREANIMATED";
    if (d.myFlags & QR_PARTICLEFLAG_ENABLED)
        locFlags += " ENABLED";
    locLine("%s", locFlags.c_str());
    locLine("RADIUS %.3f", d.myRadius);
    const float* e = d.myOriginExtents;
    switch (d.myOrigin)
    {
    case QR_PARTICLEORIGIN_RECTANGLE: locLine("EMITORIGIN RECTANGLE %g %g", e[0] * 2, e[1] * 2); break;
    case QR_PARTICLEORIGIN_CIRCLE: locLine("EMITORIGIN CIRCLE %g %g", e[0], e[1]); break;
    case QR_PARTICLEORIGIN_BOX: locLine("EMITORIGIN BOX %g %g %g", e[0] * 2, e[1] * 2, e[2] * 2); break;
    case QR_PARTICLEORIGIN_SPHERE: locLine("EMITORIGIN SPHERE %g %g %g", e[0], e[1], e[2]); break;
    default: locLine("EMITORIGIN POINT"); break;
    }
    static const char* const locTypes[] = {"CAMERAFACING", "3D", "STREAK"};
    locLine("TYPE %s", locTypes[d.myParticleType % 3]);
    locLine("SURFACE %s", aSurface.c_str());
    locLine("TEXTURE %s", aTexture.c_str());
    if ((d.myFlags & QR_PARTICLEFLAG_TEXTUREANIMATED) && anAnimation)
    {
        locLine("NUMTEXTURES %d", anAnimation->myNumTextures);
        locLine("PARTICLEWIDTH %d", anAnimation->myWidth);
        locLine("PARTICLEHEIGHT %d", anAnimation->myHeight);
        locLine("ANIMTIME %g", anAnimation->myFrameTime);
    }
    switch (d.myRotation)
    {
    case QR_PARTICLEROTATION_RANDOMONCE: locLine("TEXTUREROTATION RANDOMONCE"); break;
    case QR_PARTICLEROTATION_SPEED:
        locLine("TEXTUREROTATION SPEED %g %g", d.myRotationSpeedMin, d.myRotationSpeedMax);
        break;
    case QR_PARTICLEROTATION_RANDOMDIR:
        locLine("TEXTUREROTATION RANDOMDIR %g %g", d.myRotationSpeedMin, d.myRotationSpeedMax);
        break;
    default: locLine("TEXTUREROTATION NONE"); break;
    }
    locLine("TOTALTIME %g", d.myTotalTime);
    locLine("SPAWNTIME %g", d.mySpawnTime);
    locLine("SPACE %s", d.myVelocitySpace ? "EMITTOR" : "WORLD");
    locLine("VELX %g %g", d.myVelocityMin[0], d.myVelocityMax[0]);
    locLine("VELY %g %g", d.myVelocityMin[1], d.myVelocityMax[1]);
    locLine("VELZ %g %g", d.myVelocityMin[2], d.myVelocityMax[2]);
    locLine("SIZE %g %g", d.mySizeMin, d.mySizeMax);
    locLine("ALPHA %d %d", (int)d.myAlphaMin, (int)d.myAlphaMax);
    locLine("NUM_PHASES %d", (int)d.myNumPhases);
    static const char* const locModes[] = {"SET", "ADD", "MOD", "APPDEFINED"};
    for (uint32_t p = 0; p < d.myNumPhases; p++)
    {
        const QR_ParticlePhase& ph = d.myPhases[p];
        locLine("LENGTH %g", ph.myLength);
        locLine("SPACE %s", ph.mySpace ? "EMITTOR" : "WORLD");
        locLine("VELX %g %g %s", ph.myVelocityMin[0], ph.myVelocityMax[0], locModes[ph.myVelocityBlend[0] & 3]);
        locLine("VELY %g %g %s", ph.myVelocityMin[1], ph.myVelocityMax[1], locModes[ph.myVelocityBlend[1] & 3]);
        locLine("VELZ %g %g %s", ph.myVelocityMin[2], ph.myVelocityMax[2], locModes[ph.myVelocityBlend[2] & 3]);
        locLine("SIZE %g %g %s", ph.mySizeMin, ph.mySizeMax, locModes[ph.mySizeBlend & 3]);
        locLine("ALPHA %d %d %s", (int)ph.myAlphaMin, (int)ph.myAlphaMax, locModes[ph.myAlphaBlend & 3]);
    }
    return s;
}
