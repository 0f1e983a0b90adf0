// A model for the editor-scene tests: a box mesh on NORMAL_MESH in part "body"
// and a second part "arm" below it, both in states "STND" and "WALK", written
// with the editor's .qrb writer and read into a template.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "modeleditor/templateedit.h"
#include "modeleditor/tests/me_qrbmodel.h"
#include "qrender/qr_templateobject.h"
#include "qrender/tests/qr_sample_models.h"

inline QRB_TestModel MET_BoxModel()
{
    QRB_TestModel m;
    m.myRadius = 1.0f;
    QRB_TestPart body;
    body.myName = "body";
    body.myMeshName = "box";
    body.myMesh = QRT_CubeMesh("", 0.5f);
    body.myMesh.mySettings[1] = 0; // unlit: the tint shows as it is
    body.myStates = {QRT_State(StateCodeToId("STND"), QRB_TestPath::Constant({0, 0.5f, 0, 0, 0, 0})),
                     QRT_State(StateCodeToId("WALK"), QRB_TestPath::Constant({0, 0.5f, 0, 0, 0, 0}))};
    QRB_TestPart arm;
    arm.myName = "arm";
    QRB_TestState s1 = QRT_State(StateCodeToId("STND"), QRB_TestPath::Constant({0, 0.5f, 0, 0, 0, 0}));
    s1.myParent = 0;
    QRB_TestState s2 = QRT_State(StateCodeToId("WALK"), QRB_TestPath::Constant({0, 0.5f, 0, 0, 0, 0}));
    s2.myParent = 0;
    arm.myStates = {s1, s2};
    m.myParts = {body, arm};
    return m;
}

// Writes aModel as aName in the current folder through the editor's writer and
// reads it. A renderer must exist.
inline QR_TemplateObject* MET_LoadModel(const QRB_TestModel& aModel, const char* aName = "box.qrb")
{
    if (!MET_WriteModel(aName, aModel))
        return nullptr;
    return QR_TemplateObject::Acquire(aName);
}
