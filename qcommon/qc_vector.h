// Three-float vector of the renderer build.
#pragma once

#include <math.h>

class QC_Vector
{
public:
    float x, y, z;

    QC_Vector() = default;
    QC_Vector(float anX, float anY, float aZ) : x(anX), y(anY), z(aZ) {}

    float LengthSquared() const { return x * x + y * y + z * z; }

    // A zero (or degenerate) vector becomes (0, 0, 0) without a division.
    QC_Vector& Normalize()
    {
        float locLengthSquared = x * x + y * y + z * z;
        if (!(locLengthSquared > 0.0f))
        {
            x = y = z = 0.0f;
            return *this;
        }
        float locInverse = 1.0f / sqrtf(locLengthSquared);
        x *= locInverse;
        y *= locInverse;
        z *= locInverse;
        return *this;
    }

    // The caller guarantees a non-zero vector.
    QC_Vector& FastNormalize()
    {
        float locInverse = 1.0f / sqrtf(x * x + y * y + z * z);
        x *= locInverse;
        y *= locInverse;
        z *= locInverse;
        return *this;
    }

    static QC_Vector Cross(const QC_Vector& a, const QC_Vector& b)
    {
        return QC_Vector(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
    }

    // Exact comparison; NaN components count as different.
    bool operator!=(const QC_Vector& anOther) const { return !(x == anOther.x && y == anOther.y && z == anOther.z); }
    bool operator==(const QC_Vector& anOther) const { return !(*this != anOther); }
};
