// Records the OpenGL calls of the 3D text control and follows the model-view
// matrix, so that tests can read where each letter was drawn.
#pragma once

#include "Text3DCalls.h"

#include <QMatrix4x4>
#include <QString>
#include <QVector3D>

#include <functional>
#include <vector>

class TCallRecorder final : public TText3DCalls {
public:
    struct Letter {
        unsigned char Code = 0;   // the list called
        unsigned Base = 0;        // the list base in force
        QMatrix4x4 Matrix;        // model-view at the call
        QVector3D Origin() const { return Matrix.map(QVector3D(0, 0, 0)); }
    };

    // The advance that each list applies after its glyph, in em units.
    std::function<float(unsigned char)> Advance = [](unsigned char) { return 0.5f; };

    std::vector<QString> Calls;   // every call by name, in order
    std::vector<Letter> Letters;
    float ClearRgba[4] = {-1, -1, -1, -1};
    float MaterialRgba[4] = {-1, -1, -1, -1};
    double PerspectiveArgs[4] = {0, 0, 0, 0};
    int ViewportArgs[4] = {0, 0, 0, 0};
    int Swaps = 0;
    int Depth = 0;     // pushes not yet popped
    int MaxDepth = 0;

    void Reset()
    {
        Calls.clear();
        Letters.clear();
        Swaps = 0;
        MaxDepth = Depth;
    }

    void Clear() override { Calls.push_back(QStringLiteral("Clear")); }
    void ClearColor(float r, float g, float b, float a) override
    {
        Calls.push_back(QStringLiteral("ClearColor"));
        ClearRgba[0] = r, ClearRgba[1] = g, ClearRgba[2] = b, ClearRgba[3] = a;
    }
    void Material(float r, float g, float b, float a) override
    {
        Calls.push_back(QStringLiteral("Material"));
        MaterialRgba[0] = r, MaterialRgba[1] = g, MaterialRgba[2] = b, MaterialRgba[3] = a;
    }
    void MatrixMode(TMatrixMode mode) override
    {
        Calls.push_back(mode == mmProjection ? QStringLiteral("MatrixMode(Projection)") : QStringLiteral("MatrixMode(ModelView)"));
        FProjection = mode == mmProjection;
    }
    void LoadIdentity() override
    {
        Calls.push_back(QStringLiteral("LoadIdentity"));
        if (!FProjection)
            Current().setToIdentity();
    }
    void Perspective(double fovy, double aspect, double zNear, double zFar) override
    {
        Calls.push_back(QStringLiteral("Perspective"));
        PerspectiveArgs[0] = fovy, PerspectiveArgs[1] = aspect, PerspectiveArgs[2] = zNear, PerspectiveArgs[3] = zFar;
    }
    void Viewport(int x, int y, int w, int h) override
    {
        Calls.push_back(QStringLiteral("Viewport"));
        ViewportArgs[0] = x, ViewportArgs[1] = y, ViewportArgs[2] = w, ViewportArgs[3] = h;
    }
    void PushMatrix() override
    {
        Calls.push_back(QStringLiteral("PushMatrix"));
        FStack.push_back(Current());
        MaxDepth = std::max(MaxDepth, ++Depth);
    }
    void PopMatrix() override
    {
        Calls.push_back(QStringLiteral("PopMatrix"));
        if (FStack.size() > 1)
            FStack.pop_back();
        --Depth;
    }
    void Translate(float x, float y, float z) override
    {
        Calls.push_back(QStringLiteral("Translate"));
        Current().translate(x, y, z);
    }
    void Rotate(float angle, float x, float y, float z) override
    {
        Calls.push_back(QStringLiteral("Rotate"));
        Current().rotate(angle, x, y, z);
    }
    void Scale(float x, float y, float z) override
    {
        Calls.push_back(QStringLiteral("Scale"));
        Current().scale(x, y, z);
    }
    void ListBase(unsigned base) override
    {
        Calls.push_back(QStringLiteral("ListBase"));
        FBase = base;
    }
    void CallList(unsigned char code) override
    {
        Calls.push_back(QStringLiteral("CallList"));
        Letters.push_back({code, FBase, Current()});
        Current().translate(Advance(code), 0, 0);
    }
    void SwapBuffers() override
    {
        Calls.push_back(QStringLiteral("SwapBuffers"));
        ++Swaps;
    }

    const QMatrix4x4 &ModelView() const { return FStack.back(); }

private:
    QMatrix4x4 &Current() { return FStack.back(); }

    std::vector<QMatrix4x4> FStack{QMatrix4x4()};
    bool FProjection = false;
    unsigned FBase = 0;
};
