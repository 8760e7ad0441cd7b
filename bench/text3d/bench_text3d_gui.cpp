// Prints the figures of the 3D text control: the time to build the 255 glyph
// lists at both qualities, and the frame time of the About box's control.
#include "GlyphOutlines.h"
#include "Text3D.h"
#include "Unit2.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QSurfaceFormat>
#include <QTest>
#include <QTimer>

#include <GL/gl.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

struct Figures {
    double Median = 0;
    double Mean = 0;
    double P95 = 0;
    double Max = 0;
};

Figures Summarise(std::vector<double> samples)
{
    std::sort(samples.begin(), samples.end());
    Figures f;
    if (samples.empty())
        return f;
    f.Median = samples[samples.size() / 2];
    f.P95 = samples[std::min(samples.size() - 1, samples.size() * 95 / 100)];
    f.Max = samples.back();
    for (double s : samples)
        f.Mean += s;
    f.Mean /= double(samples.size());
    return f;
}

double Milliseconds(const QElapsedTimer &timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

void BenchGlyphLists(const char *name, double deviation)
{
    QSurfaceFormat format;
    format.setProfile(QSurfaceFormat::CompatibilityProfile);
    QOpenGLContext context;
    context.setFormat(format);
    QOffscreenSurface surface;
    surface.setFormat(format);
    surface.create();
    if (!context.create() || !context.makeCurrent(&surface)) {
        std::printf("glyph lists %-10s: no OpenGL context\n", name);
        return;
    }
    std::vector<double> outlines;
    std::vector<double> whole;
    size_t triangles = 0;
    for (int run = 0; run < 7; ++run) {
        QElapsedTimer timer;
        timer.start();
        const QRawFont font = MakeGlyphFont({QStringLiteral("Arial Cyr"), TText3D::DefaultCharset, false, false, 28});
        const std::vector<TGlyphSolid> solids = BuildGlyphSolids(font, 0, TText3D::GlyphCount, deviation);
        outlines.push_back(Milliseconds(timer));
        CompileGlyphLists(solids, TText3D::GlyphListBase, 0);
        glFinish();
        whole.push_back(Milliseconds(timer));
        glDeleteLists(TText3D::GlyphListBase, TText3D::GlyphCount);
        triangles = 0;
        for (const TGlyphSolid &solid : solids)
            triangles += solid.FaceTriangles.size() / 3 * 2 + solid.Walls.size() * 2;
    }
    const Figures o = Summarise(outlines);
    const Figures w = Summarise(whole);
    std::printf("glyph lists %-10s: %7.1f ms median (%.1f ms outlines and tessellation, max %.1f ms), %zu triangles\n",
                name, w.Median, o.Median, w.Max, triangles);
    context.doneCurrent();
}

void BenchAboutBoxFrames()
{
    TAboutBox box;
    box.show();
    if (!QTest::qWaitForWindowExposed(&box)) {
        std::printf("about box frames: the window was not shown\n");
        return;
    }
    TText3D &text = *box.Text3D1;
    text.SetRefreshDelay(0); // the frames are driven here
    box.Text3D1Click();
    if (!text.HasRenderContext()) {
        std::printf("about box frames: no OpenGL context\n");
        return;
    }
    for (int k = 0; k < 60; ++k) // past the incoming transition
        text.RenderFrame();

    std::vector<double> drawn;
    std::vector<double> shown;
    for (int k = 0; k < 600; ++k) {
        QElapsedTimer timer;
        timer.start();
        text.RenderFrame();
        glFinish(); // the software renderer has finished the frame
        drawn.push_back(Milliseconds(timer));
        QCoreApplication::processEvents(); // the view's composition into the window
        shown.push_back(Milliseconds(timer));
    }
    const Figures d = Summarise(drawn);
    const Figures s = Summarise(shown);
    std::printf("about box frame (draw)        : %5.2f ms median, %5.2f ms mean, %5.2f ms p95, %5.2f ms max\n",
                d.Median, d.Mean, d.P95, d.Max);
    std::printf("about box frame (draw + show) : %5.2f ms median, %5.2f ms mean, %5.2f ms p95, %5.2f ms max\n",
                s.Median, s.Mean, s.P95, s.Max);

    // At its own 10 ms timer: how many ticks two seconds bring.
    int ticks = 0;
    QObject::connect(&text.RefreshTimer(), &QTimer::timeout, &box, [&ticks] { ++ticks; });
    text.SetRefreshDelay(10);
    QElapsedTimer timer;
    timer.start();
    QTest::qWait(2000);
    std::printf("about box at its 10 ms timer  : %d frames in %.0f ms (%.1f frames a second)\n", ticks,
                Milliseconds(timer), ticks * 1000.0 / Milliseconds(timer));
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    std::printf("3D text control (targets: qtFastest lists <= 150 ms, About box frame <= 3 ms)\n");
    BenchGlyphLists("qtFastest", 1000.0);
    BenchGlyphLists("qtBest", 0.0);
    BenchAboutBoxFrames();
    return 0;
}
