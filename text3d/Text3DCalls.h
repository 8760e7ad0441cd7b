// The OpenGL calls that the 3D text control makes for its projection and its
// frames, behind one interface: the control's own context carries them out,
// a control without a context sends them nowhere, and a test can record them.
#pragma once

class QOpenGLWidget;

class TText3DCalls {
public:
    enum TMatrixMode { mmProjection, mmModelView };

    virtual ~TText3DCalls() = default;

    virtual void Clear() = 0; // colour and depth buffers
    virtual void ClearColor(float red, float green, float blue, float alpha) = 0;
    virtual void Material(float red, float green, float blue, float alpha) = 0; // front, ambient and diffuse
    virtual void MatrixMode(TMatrixMode mode) = 0;
    virtual void LoadIdentity() = 0;
    virtual void Perspective(double fovy, double aspect, double zNear, double zFar) = 0;
    virtual void Viewport(int x, int y, int width, int height) = 0;
    virtual void PushMatrix() = 0;
    virtual void PopMatrix() = 0;
    virtual void Translate(float x, float y, float z) = 0;
    virtual void Rotate(float angle, float x, float y, float z) = 0;
    virtual void Scale(float x, float y, float z) = 0;
    virtual void ListBase(unsigned base) = 0;
    virtual void CallList(unsigned char code) = 0; // one list, by an unsigned byte
    virtual void SwapBuffers() = 0;
};

// Calls that go nowhere: the frames of a control without a context.
TText3DCalls &NullText3DCalls();

// Calls carried out in the current OpenGL context; the swap shows the frame
// of `Target`.
class TOpenGLText3DCalls final : public TText3DCalls {
public:
    QOpenGLWidget *Target = nullptr;

    void Clear() override;
    void ClearColor(float red, float green, float blue, float alpha) override;
    void Material(float red, float green, float blue, float alpha) override;
    void MatrixMode(TMatrixMode mode) override;
    void LoadIdentity() override;
    void Perspective(double fovy, double aspect, double zNear, double zFar) override;
    void Viewport(int x, int y, int width, int height) override;
    void PushMatrix() override;
    void PopMatrix() override;
    void Translate(float x, float y, float z) override;
    void Rotate(float angle, float x, float y, float z) override;
    void Scale(float x, float y, float z) override;
    void ListBase(unsigned base) override;
    void CallList(unsigned char code) override;
    void SwapBuffers() override;
};
