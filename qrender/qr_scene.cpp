// The light list of a scene.
#include "qrender/qr_scene.h"

#include <new>
#include <string.h>

#include "qinput/qi_time.h"
#include "qrender/qr_light.h"

QR_Scene::QR_Scene()
    : myLights(nullptr)
    , myNumLights(0)
    , mySceneInUsageCounter(0)
{
}

QR_Scene::~QR_Scene()
{
    delete[] myLights;
}

bool QR_Scene::AddLight(QR_Light* aLight)
{
    if (!aLight || mySceneInUsageCounter > 0)
        return false;
    for (uint32_t i = 0; i < myNumLights; i++)
        if (myLights[i] == aLight)
            return false;
    uint32_t locAt;
    if (aLight->myType == QR_LIGHT_DIRECTIONAL)
        locAt = 0;
    else if (aLight->myType == QR_LIGHT_POINT)
    {
        // Before the first spot light.
        locAt = myNumLights;
        while (locAt > 0 && myLights[locAt - 1]->myType == QR_LIGHT_SPOT)
            locAt--;
    }
    else if (aLight->myType == QR_LIGHT_SPOT)
        locAt = myNumLights;
    else
        return false;
    QR_Light** locLights = new (std::nothrow) QR_Light*[myNumLights + 1];
    if (!locLights)
        return false;
    for (uint32_t i = 0, j = 0; i <= myNumLights; i++)
        locLights[i] = i == locAt ? aLight : myLights[j++];
    delete[] myLights;
    myLights = locLights;
    myNumLights++;
    return true;
}

bool QR_Scene::RemoveLight(QR_Light* aLight)
{
    if (mySceneInUsageCounter > 0)
        return false;
    uint32_t locAt = 0;
    while (locAt < myNumLights && myLights[locAt] != aLight)
        locAt++;
    if (locAt == myNumLights)
        return false;
    if (myNumLights == 1)
    {
        delete[] myLights;
        myLights = nullptr;
        myNumLights = 0;
        return true;
    }
    QR_Light** locLights = new (std::nothrow) QR_Light*[myNumLights - 1];
    if (!locLights)
        return false;
    for (uint32_t i = 0, j = 0; i < myNumLights; i++)
        if (i != locAt)
            locLights[j++] = myLights[i];
    delete[] myLights;
    myLights = locLights;
    myNumLights--;
    return true;
}

void QR_Scene::Update()
{
    for (uint32_t i = 0; i < myNumLights; i++)
        myLights[i]->Update(QI_Time::ourTime);
}
