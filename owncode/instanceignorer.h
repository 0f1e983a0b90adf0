// The editor's answer to unknown types and members met while compiling: the
// user is asked with the two ignore dialogs.
#pragma once

#include "velk/velk_compiler.h"

class InstanceIgnorer : public VelkInstanceIgnorer
{
public:
    // 0: ignore every instance of the type, 1: only this one, 2: cancelled
    // (the compile stops with "Unknown type").
    int Sub_OkToIgnoreInstanceOfType(const char* aTypeName, const char* anInstanceText) override;
    bool Sub_OkToIgnoreMember(const char* aTypeName, const char* anInstanceName, const char* aMemberName) override;
};
