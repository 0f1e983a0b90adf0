// The readers of the LWO2 chunks made of sub-chunks: surfaces with their
// texture blocks, image clips and envelopes. Sub-chunks end at their
// declared size; unknown ones are skipped and their IDs logged.
#include "modeleditor/lw_lwo2_local.h"

namespace
{
// Walks the sub-chunks (ID4, U2 size) of the current chunk; aHandler reads
// the fields of one. A tail shorter than a sub-chunk header is skipped. A
// sub-chunk whose fields run past its end keeps the fields that fitted and
// the defaults of the rest (real files carry such sub-chunks); only a size
// running past the enclosing chunk fails.
template <class Handler> bool locSubChunks(LWReader& aReader, Handler&& aHandler)
{
    while (aReader.Left() >= 6)
    {
        uint32_t locId = 0;
        uint16_t locSize = 0;
        aReader.ID4(&locId);
        aReader.U2(&locSize);
        LWReader::Scope locScope;
        if (!aReader.Enter(locSize, &locScope))
            return false;
        if (!aHandler(locId))
        {
            if (aReader.HasOverrun())
                return false;
            aReader.NoteShort(locId);
        }
        aReader.Leave(locScope);
    }
    return true;
}

bool locValueEnvelope(LWReader& aReader, float* aValue, uint32_t* anEnvelope)
{
    return aReader.F4(aValue) && aReader.VX(anEnvelope);
}

bool locVectorEnvelope(LWReader& aReader, LWVec3* aValue, uint32_t* anEnvelope)
{
    return aReader.VEC12(aValue) && aReader.VX(anEnvelope);
}

bool locReadTextureMap(LWReader& aReader, LWTextureBlock* aBlock)
{
    return locSubChunks(aReader, [&](uint32_t anId) {
        switch (anId)
        {
            case LWID("CNTR"):
                return locVectorEnvelope(aReader, &aBlock->myCentre, &aBlock->myCentreEnvelope);
            case LWID("SIZE"):
                return locVectorEnvelope(aReader, &aBlock->mySize, &aBlock->mySizeEnvelope);
            case LWID("ROTA"):
                return locVectorEnvelope(aReader, &aBlock->myRotation, &aBlock->myRotationEnvelope);
            case LWID("FALL"):
                return aReader.U2(&aBlock->myFalloffType) &&
                       locVectorEnvelope(aReader, &aBlock->myFalloff, &aBlock->myFalloffEnvelope);
            case LWID("OREF"):
                if (!aReader.S0(&aBlock->myReferenceObject))
                    return false;
                if (aBlock->myReferenceObject == "(none)")
                    aBlock->myReferenceObject.Set("");
                return true;
            case LWID("CSYS"):
                return aReader.U2(&aBlock->myCoordinateSystem);
            default:
                aReader.NoteSkipped(anId);
                return true;
        }
    });
}

bool locReadBlockHeader(LWReader& aReader, LWTextureBlock* aBlock)
{
    // The ordinal string, then the header's own sub-chunks.
    if (aReader.Left() >= 2 && !aReader.S0(&aBlock->myOrdinal))
        return false;
    return locSubChunks(aReader, [&](uint32_t anId) {
        switch (anId)
        {
            case LWID("CHAN"):
                return aReader.ID4(&aBlock->myChannel);
            case LWID("ENAB"):
                return aReader.U2(&aBlock->myEnabled);
            case LWID("OPAC"):
                return aReader.U2(&aBlock->myOpacityType) &&
                       locValueEnvelope(aReader, &aBlock->myOpacity, &aBlock->myOpacityEnvelope);
            case LWID("NEGA"):
            case LWID("AXIS"):
                return true;
            default:
                aReader.NoteSkipped(anId);
                return true;
        }
    });
}

bool locReadBlockAttribute(LWReader& aReader, LWTextureBlock* aBlock, uint32_t anId)
{
    switch (anId)
    {
        case LWID("TMAP"):
            return locReadTextureMap(aReader, aBlock);
        case LWID("PROJ"):
            return aReader.U2(&aBlock->myProjection);
        case LWID("AXIS"):
            return aReader.U2(&aBlock->myAxis);
        case LWID("IMAG"):
            return aReader.VX(&aBlock->myImage);
        case LWID("WRAP"):
            return aReader.U2(&aBlock->myWrapWidth) && aReader.U2(&aBlock->myWrapHeight);
        case LWID("WRPW"):
            return locValueEnvelope(aReader, &aBlock->myWrapAmountWidth, &aBlock->myWrapAmountWidthEnvelope);
        case LWID("WRPH"):
            return locValueEnvelope(aReader, &aBlock->myWrapAmountHeight, &aBlock->myWrapAmountHeightEnvelope);
        case LWID("VMAP"):
            return aReader.S0(&aBlock->myUVMapName);
        case LWID("AAST"):
            return aReader.U2(&aBlock->myAntialiasingFlags) && aReader.F4(&aBlock->myAntialiasingStrength);
        case LWID("PIXB"):
            return aReader.U2(&aBlock->myPixelBlending);
        case LWID("VALU"):
        {
            uint32_t locCount = aReader.Left() / 4;
            aBlock->myNumValues = locCount < 3 ? (int)locCount : 3;
            for (int i = 0; i < aBlock->myNumValues; i++)
                aReader.F4(&aBlock->myValues[i]);
            return true;
        }
        case LWID("PNAM"):
            return aReader.S0(&aBlock->myParameterName);
        case LWID("INAM"):
            return aReader.S0(&aBlock->myItemName);
        case LWID("GRST"):
            return aReader.F4(&aBlock->myGradientStart);
        case LWID("GREN"):
            return aReader.F4(&aBlock->myGradientEnd);
        case LWID("GRPT"):
            return aReader.U2(&aBlock->myGradientRepeat);
        case LWID("FKEY"):
        {
            uint32_t locCount = aReader.Left() / 20;
            aBlock->myGradientInputs.resize(locCount);
            aBlock->myGradientOutputs.resize(locCount * 4);
            for (uint32_t k = 0; k < locCount; k++)
            {
                aReader.F4(&aBlock->myGradientInputs[k]);
                for (int j = 0; j < 4; j++)
                    aReader.F4(&aBlock->myGradientOutputs[k * 4 + j]);
            }
            return true;
        }
        case LWID("IKEY"):
        {
            uint32_t locCount = aReader.Left() / 2;
            aBlock->myGradientInterpolations.resize(locCount);
            for (uint32_t k = 0; k < locCount; k++)
                aReader.U2(&aBlock->myGradientInterpolations[k]);
            return true;
        }
        case LWID("FUNC"):
            return aReader.S0(&aBlock->myFunctionName) && aReader.Bytes(&aBlock->myFunctionData, aReader.Left());
        case LWID("STCK"):
        case LWID("TAMP"):
            return true;
        default:
            aReader.NoteSkipped(anId);
            return true;
    }
}

bool locReadBlock(LWReader& aReader, LWTextureBlock* aBlock)
{
    uint16_t locHeaderSize;
    LWReader::Scope locHeader;
    if (!aReader.ID4(&aBlock->myType) || !aReader.U2(&locHeaderSize) || !aReader.Enter(locHeaderSize, &locHeader))
        return false;
    // The header is a sub-chunk too: short, it keeps what fitted.
    if (!locReadBlockHeader(aReader, aBlock))
    {
        if (aReader.HasOverrun())
            return false;
        aReader.NoteShort(aBlock->myType);
    }
    aReader.Leave(locHeader);
    return locSubChunks(aReader, [&](uint32_t anId) { return locReadBlockAttribute(aReader, aBlock, anId); });
}

bool locReadSurfaceField(LWReader& aReader, LWSurface* aSurface, uint32_t anId)
{
    LWSurface& s = *aSurface;
    switch (anId)
    {
        case LWID("COLR"):
            return locVectorEnvelope(aReader, &s.myColour, &s.myColourEnvelope);
        case LWID("DIFF"):
            return locValueEnvelope(aReader, &s.myDiffuse, &s.myDiffuseEnvelope);
        case LWID("LUMI"):
            return locValueEnvelope(aReader, &s.myLuminosity, &s.myLuminosityEnvelope);
        case LWID("SPEC"):
            return locValueEnvelope(aReader, &s.mySpecular, &s.mySpecularEnvelope);
        case LWID("REFL"):
            return locValueEnvelope(aReader, &s.myReflection, &s.myReflectionEnvelope);
        case LWID("TRAN"):
            return locValueEnvelope(aReader, &s.myTransparency, &s.myTransparencyEnvelope);
        case LWID("TRNL"):
            return locValueEnvelope(aReader, &s.myTranslucency, &s.myTranslucencyEnvelope);
        case LWID("GLOS"):
            return locValueEnvelope(aReader, &s.myGlossiness, &s.myGlossinessEnvelope);
        case LWID("SHRP"):
            return locValueEnvelope(aReader, &s.mySharpness, &s.mySharpnessEnvelope);
        case LWID("BUMP"):
            return locValueEnvelope(aReader, &s.myBump, &s.myBumpEnvelope);
        case LWID("SIDE"):
            return aReader.U2(&s.mySidedness);
        case LWID("SMAN"):
            return aReader.F4(&s.mySmoothingAngle);
        case LWID("RFOP"):
            return aReader.U2(&s.myReflectionOptions);
        case LWID("RIMG"):
            return aReader.VX(&s.myReflectionImage);
        case LWID("RSAN"):
            return locValueEnvelope(aReader, &s.myReflectionSeamAngle, &s.myReflectionSeamAngleEnvelope);
        case LWID("RIND"):
            return locValueEnvelope(aReader, &s.myRefractiveIndex, &s.myRefractiveIndexEnvelope);
        case LWID("CLRH"):
            return locValueEnvelope(aReader, &s.myColourHighlights, &s.myColourHighlightsEnvelope);
        case LWID("TROP"):
            return aReader.U2(&s.myTransparencyOptions);
        case LWID("TIMG"):
            return aReader.VX(&s.myRefractionImage);
        case LWID("CLRF"):
            return locValueEnvelope(aReader, &s.myColourFilter, &s.myColourFilterEnvelope);
        case LWID("ADTR"):
            return locValueEnvelope(aReader, &s.myAdditiveTransparency, &s.myAdditiveTransparencyEnvelope);
        case LWID("GLOW"):
            return aReader.U2(&s.myGlowType) &&
                   locValueEnvelope(aReader, &s.myGlowIntensity, &s.myGlowIntensityEnvelope) &&
                   locValueEnvelope(aReader, &s.myGlowSize, &s.myGlowSizeEnvelope);
        case LWID("LINE"):
            if (!aReader.U2(&s.myLineFlags))
                return false;
            if (aReader.Left() > 0 && !locValueEnvelope(aReader, &s.myLineSize, &s.myLineSizeEnvelope))
                return false;
            return aReader.Left() == 0 || locVectorEnvelope(aReader, &s.myLineColour, &s.myLineColourEnvelope);
        case LWID("ALPH"):
            if (!aReader.U2(&s.myAlphaMode))
                return false;
            return aReader.Left() == 0 || aReader.F4(&s.myAlphaValue);
        case LWID("VCOL"):
        {
            float locIntensity;
            uint32_t locEnvelope;
            return aReader.F4(&locIntensity) && aReader.VX(&locEnvelope) && aReader.ID4(&s.myVertexColourMapType) &&
                   aReader.S0(&s.myVertexColourMapName);
        }
        case LWID("BLOK"):
        {
            LWTextureBlock locBlock;
            if (!locReadBlock(aReader, &locBlock))
                return false;
            if (s.myFirstColourImage < 0 && locBlock.myType == LWID("IMAP") && locBlock.myChannel == LWID("COLR"))
                s.myFirstColourImage = (int)s.myBlocks.size();
            s.myBlocks.push_back(std::move(locBlock));
            return true;
        }
        case LWID("FLAG"):
        case LWID("GVAL"):
            return true;
        default:
            aReader.NoteSkipped(anId);
            return true;
    }
}

template <class Item> Item* locAddItem(LWClip* aClip, uint32_t anId)
{
    auto locItem = std::make_unique<Item>();
    locItem->myId = anId;
    Item* locResult = locItem.get();
    aClip->myItems.push_back(std::move(locItem));
    return locResult;
}

bool locReadClipItem(LWReader& aReader, LWClip* aClip, uint32_t anId)
{
    switch (anId)
    {
        case LWID("STIL"):
            return aReader.S0(&locAddItem<LWClipStill>(aClip, anId)->myFileName);
        case LWID("ISEQ"):
        {
            LWClipSequence* locItem = locAddItem<LWClipSequence>(aClip, anId);
            uint16_t locUnused;
            return aReader.U1(&locItem->myDigits) && aReader.U1(&locItem->myFlags) && aReader.U2(&locItem->myOffset) &&
                   aReader.U2(&locUnused) && aReader.U2(&locUnused) && aReader.U2(&locUnused) &&
                   aReader.S0(&locItem->myPrefix) && aReader.S0(&locItem->mySuffix);
        }
        case LWID("ANIM"):
        {
            LWClipAnim* locItem = locAddItem<LWClipAnim>(aClip, anId);
            return aReader.S0(&locItem->myFileName) && aReader.S0(&locItem->myServerName) &&
                   aReader.U2(&locItem->myFlags) && aReader.Bytes(&locItem->myData, aReader.Left());
        }
        case LWID("STCC"):
        {
            LWClipCycle* locItem = locAddItem<LWClipCycle>(aClip, anId);
            return aReader.U2(&locItem->myLow) && aReader.U2(&locItem->myHigh) && aReader.S0(&locItem->myName);
        }
        case LWID("CONT"):
        case LWID("BRIT"):
        case LWID("SATR"):
        case LWID("HUE "):
        case LWID("GAMM"):
        {
            LWClipValue* locItem = locAddItem<LWClipValue>(aClip, anId);
            return locValueEnvelope(aReader, &locItem->myValue, &locItem->myEnvelope);
        }
        case LWID("NEGA"):
            return aReader.U2(&locAddItem<LWClipValue>(aClip, anId)->myFlag);
        case LWID("IFLT"):
        case LWID("PFLT"):
        {
            LWClipFilter* locItem = locAddItem<LWClipFilter>(aClip, anId);
            return aReader.S0(&locItem->myServerName) && aReader.U2(&locItem->myFlags) &&
                   aReader.Bytes(&locItem->myData, aReader.Left());
        }
        case LWID("FLAG"):
        case LWID("AMOD"):
            return true;
        default:
            aReader.NoteSkipped(anId);
            return true;
    }
}

bool locReadEnvelopeField(LWReader& aReader, LWEnvelope* anEnvelope, uint32_t anId)
{
    switch (anId)
    {
        case LWID("TYPE"):
            return aReader.U1(&anEnvelope->myUserFormat) && aReader.U1(&anEnvelope->myType);
        case LWID("PRE\0"):
        case LWID("PRE "):
            return aReader.U2(&anEnvelope->myPreBehaviour);
        case LWID("POST"):
            return aReader.U2(&anEnvelope->myPostBehaviour);
        case LWID("KEY\0"):
        case LWID("KEY "):
        {
            LWEnvelopeKey locKey;
            if (!aReader.F4(&locKey.myTime) || !aReader.F4(&locKey.myValue))
                return false;
            anEnvelope->myKeys.push_back(locKey);
            return true;
        }
        case LWID("SPAN"):
        {
            LWEnvelopeSpan locSpan;
            if (!aReader.ID4(&locSpan.myCurveType))
                return false;
            locSpan.myParameters.resize(aReader.Left() / 4);
            for (float& locParameter : locSpan.myParameters)
                aReader.F4(&locParameter);
            anEnvelope->mySpans.push_back(std::move(locSpan));
            return true;
        }
        case LWID("CHAN"):
            return aReader.S0(&anEnvelope->myChannelServer) && aReader.U2(&anEnvelope->myChannelFlags) &&
                   aReader.Bytes(&anEnvelope->myChannelData, aReader.Left());
        case LWID("NAME"):
            return aReader.S0(&anEnvelope->myName);
        default:
            aReader.NoteSkipped(anId);
            return true;
    }
}
} // namespace

bool LWReadSurface(LWReader& aReader, LWSurface* aSurface)
{
    if (!aReader.S0(&aSurface->myName) || !aReader.S0(&aSurface->mySourceName))
        return false;
    return locSubChunks(aReader, [&](uint32_t anId) { return locReadSurfaceField(aReader, aSurface, anId); });
}

bool LWReadClip(LWReader& aReader, LWClip* aClip)
{
    if (!aReader.U4(&aClip->myIndex))
        return false;
    return locSubChunks(aReader, [&](uint32_t anId) { return locReadClipItem(aReader, aClip, anId); });
}

bool LWReadEnvelope(LWReader& aReader, LWEnvelope* anEnvelope)
{
    if (!aReader.VX(&anEnvelope->myIndex))
        return false;
    return locSubChunks(aReader, [&](uint32_t anId) { return locReadEnvelopeField(aReader, anEnvelope, anId); });
}
