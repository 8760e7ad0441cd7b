#include "Text3DCalls.h"

#include <QOpenGLWidget>

#include <GL/gl.h>
#include <GL/glu.h>

namespace {

class TNullText3DCalls final : public TText3DCalls {
public:
    void Clear() override {}
    void ClearColor(float, float, float, float) override {}
    void Material(float, float, float, float) override {}
    void MatrixMode(TMatrixMode) override {}
    void LoadIdentity() override {}
    void Perspective(double, double, double, double) override {}
    void Viewport(int, int, int, int) override {}
    void PushMatrix() override {}
    void PopMatrix() override {}
    void Translate(float, float, float) override {}
    void Rotate(float, float, float, float) override {}
    void Scale(float, float, float) override {}
    void ListBase(unsigned) override {}
    void CallList(unsigned char) override {}
    void SwapBuffers() override {}
};

} // namespace

TText3DCalls &NullText3DCalls()
{
    static TNullText3DCalls calls;
    return calls;
}

void TOpenGLText3DCalls::Clear() { glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT); }

void TOpenGLText3DCalls::ClearColor(float red, float green, float blue, float alpha)
{
    glClearColor(red, green, blue, alpha);
}

void TOpenGLText3DCalls::Material(float red, float green, float blue, float alpha)
{
    const GLfloat colour[4] = {red, green, blue, alpha};
    glMaterialfv(GL_FRONT, GL_AMBIENT_AND_DIFFUSE, colour);
}

void TOpenGLText3DCalls::MatrixMode(TMatrixMode mode)
{
    glMatrixMode(mode == mmProjection ? GL_PROJECTION : GL_MODELVIEW);
}

void TOpenGLText3DCalls::LoadIdentity() { glLoadIdentity(); }

void TOpenGLText3DCalls::Perspective(double fovy, double aspect, double zNear, double zFar)
{
    gluPerspective(fovy, aspect, zNear, zFar);
}

void TOpenGLText3DCalls::Viewport(int x, int y, int width, int height) { glViewport(x, y, width, height); }
void TOpenGLText3DCalls::PushMatrix() { glPushMatrix(); }
void TOpenGLText3DCalls::PopMatrix() { glPopMatrix(); }
void TOpenGLText3DCalls::Translate(float x, float y, float z) { glTranslatef(x, y, z); }
void TOpenGLText3DCalls::Rotate(float angle, float x, float y, float z) { glRotatef(angle, x, y, z); }
void TOpenGLText3DCalls::Scale(float x, float y, float z) { glScalef(x, y, z); }
void TOpenGLText3DCalls::ListBase(unsigned base) { glListBase(base); }

void TOpenGLText3DCalls::CallList(unsigned char code)
{
    glCallLists(1, GL_UNSIGNED_BYTE, &code);
}

void TOpenGLText3DCalls::SwapBuffers()
{
    // The frame is drawn straight into the view's framebuffer; showing it is
    // the view's next composition.
    glFlush();
    if (Target)
        Target->update();
}
