// The lights a view renders with. The scene does not own its lights; it refuses changes
// while a view is rendering with it.
#pragma once

#include <stdint.h>

class QR_Light;

class QR_Scene
{
public:
    QR_Scene();
    ~QR_Scene();
    QR_Scene(const QR_Scene&) = delete;
    QR_Scene& operator=(const QR_Scene&) = delete;

    // Directional lights go first, point lights after them, spot lights last. False while
    // in use, for a light already in the scene, or one of type 2 or an unknown type.
    bool AddLight(QR_Light* aLight);
    // False while in use or for a light not in the scene; the others keep their order.
    bool RemoveLight(QR_Light* aLight);
    // Every light's paths at the frame timer's running time.
    void Update();

    QR_Light** myLights; // owned array; the lights are not owned
    uint32_t myNumLights;
    int32_t mySceneInUsageCounter;
};
