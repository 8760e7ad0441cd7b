#include "GlyphOutlines.h"

#include "Cp1251.h"
#include "FontFaces.h"

#include <QFont>
#include <QPainterPath>

#include <GL/gl.h>
#include <GL/glu.h>

// Windows' headers name the callbacks' calling convention differently.
#ifndef GLAPIENTRY
#define GLAPIENTRY APIENTRY
#endif

#include <algorithm>
#include <array>
#include <cmath>
#include <deque>
#include <memory>

namespace {

using Contour = std::vector<TGlyphPoint>;

// Segments for a cubic so that the chords stay within `tolerance`: the
// deviation of n uniform chords is at most 3/4 * max|second difference| / n^2.
int CubicSegments(QPointF p0, QPointF p1, QPointF p2, QPointF p3, double tolerance)
{
    const QPointF d1 = p0 - 2 * p1 + p2;
    const QPointF d2 = p1 - 2 * p2 + p3;
    const double spread = std::max(std::hypot(d1.x(), d1.y()), std::hypot(d2.x(), d2.y()));
    const double segments = std::ceil(std::sqrt(0.75 * spread / tolerance));
    return std::clamp(int(segments), 1, 64);
}

QPointF CubicPoint(QPointF p0, QPointF p1, QPointF p2, QPointF p3, double t)
{
    const double u = 1 - t;
    return u * u * u * p0 + 3 * u * u * t * p1 + 3 * u * t * t * p2 + t * t * t * p3;
}

void AppendPoint(Contour &contour, QPointF p, double scale)
{
    const TGlyphPoint point{float(p.x() * scale), float(-p.y() * scale)};
    if (!contour.empty() && contour.back().x == point.x && contour.back().y == point.y)
        return;
    contour.push_back(point);
}

void CloseContour(std::vector<Contour> &contours, Contour &contour)
{
    if (contour.size() > 1 && contour.front().x == contour.back().x && contour.front().y == contour.back().y)
        contour.pop_back();
    if (contour.size() >= 3)
        contours.push_back(std::move(contour));
    contour.clear();
}

double SignedArea(const Contour &contour)
{
    double area = 0;
    for (size_t i = 0; i < contour.size(); ++i) {
        const TGlyphPoint &a = contour[i];
        const TGlyphPoint &b = contour[(i + 1) % contour.size()];
        area += double(a.x) * b.y - double(b.x) * a.y;
    }
    return area / 2;
}

// Collects the triangles that the GLU tessellator hands out.
struct Tessellation {
    std::vector<TGlyphPoint> *Triangles = nullptr;
    std::deque<std::array<GLdouble, 3>> Combined; // stable addresses for COMBINE
};

void GLAPIENTRY OnBegin(GLenum, void *) {}
void GLAPIENTRY OnEnd(void *) {}
void GLAPIENTRY OnError(GLenum, void *) {}
// Having an edge-flag callback makes the tessellator hand out plain triangles only.
void GLAPIENTRY OnEdgeFlag(GLboolean, void *) {}

void GLAPIENTRY OnVertex(void *vertex, void *data)
{
    const auto *v = static_cast<const GLdouble *>(vertex);
    static_cast<Tessellation *>(data)->Triangles->push_back({float(v[0]), float(v[1])});
}

void GLAPIENTRY OnCombine(GLdouble coords[3], void *[4], GLfloat[4], void **out, void *data)
{
    auto &combined = static_cast<Tessellation *>(data)->Combined;
    combined.push_back({coords[0], coords[1], coords[2]});
    *out = combined.back().data();
}

using TessCallback = void(GLAPIENTRY *)();

struct TessDeleter {
    void operator()(GLUtesselator *tess) const { gluDeleteTess(tess); }
};

std::vector<TGlyphPoint> TessellateFace(const std::vector<Contour> &contours)
{
    std::vector<TGlyphPoint> triangles;
    std::unique_ptr<GLUtesselator, TessDeleter> tess(gluNewTess());
    if (!tess)
        return triangles;
    gluTessCallback(tess.get(), GLU_TESS_BEGIN_DATA, reinterpret_cast<TessCallback>(&OnBegin));
    gluTessCallback(tess.get(), GLU_TESS_END_DATA, reinterpret_cast<TessCallback>(&OnEnd));
    gluTessCallback(tess.get(), GLU_TESS_ERROR_DATA, reinterpret_cast<TessCallback>(&OnError));
    gluTessCallback(tess.get(), GLU_TESS_EDGE_FLAG_DATA, reinterpret_cast<TessCallback>(&OnEdgeFlag));
    gluTessCallback(tess.get(), GLU_TESS_VERTEX_DATA, reinterpret_cast<TessCallback>(&OnVertex));
    gluTessCallback(tess.get(), GLU_TESS_COMBINE_DATA, reinterpret_cast<TessCallback>(&OnCombine));
    gluTessProperty(tess.get(), GLU_TESS_WINDING_RULE, GLU_TESS_WINDING_NONZERO);
    gluTessNormal(tess.get(), 0, 0, 1);

    size_t total = 0;
    for (const Contour &contour : contours)
        total += contour.size();
    std::vector<std::array<GLdouble, 3>> vertices;
    vertices.reserve(total); // the tessellator keeps pointers into it

    Tessellation state;
    state.Triangles = &triangles;
    gluTessBeginPolygon(tess.get(), &state);
    for (const Contour &contour : contours) {
        gluTessBeginContour(tess.get());
        for (const TGlyphPoint &p : contour) {
            vertices.push_back({p.x, p.y, 0});
            gluTessVertex(tess.get(), vertices.back().data(), vertices.back().data());
        }
        gluTessEndContour(tess.get());
    }
    gluTessEndPolygon(tess.get());
    if (triangles.size() % 3 != 0)
        triangles.clear();
    return triangles;
}

// Walls face away from the filled side. Which side that is follows from the
// font's contour direction, read from the sign of the glyph's whole area:
// TrueType outer contours run clockwise (negative area, y up), PostScript
// ones counter-clockwise; holes run the other way in both.
std::vector<TGlyphWall> BuildWalls(const std::vector<Contour> &contours)
{
    double area = 0;
    for (const Contour &contour : contours)
        area += SignedArea(contour);
    const float side = area < 0 ? 1.0f : -1.0f;

    std::vector<TGlyphWall> walls;
    for (const Contour &contour : contours) {
        for (size_t i = 0; i < contour.size(); ++i) {
            const TGlyphPoint a = contour[i];
            const TGlyphPoint b = contour[(i + 1) % contour.size()];
            const float dx = b.x - a.x;
            const float dy = b.y - a.y;
            const float length = std::hypot(dx, dy);
            if (length == 0)
                continue;
            walls.push_back({a, b, {side * -dy / length, side * dx / length}});
        }
    }
    return walls;
}

} // namespace

QRawFont MakeGlyphFont(const TGlyphFontRequest &request)
{
    QFont font(FontFaces::Resolve(request.FaceName));
    font.setPixelSize(std::max(1, request.PixelHeight));
    font.setWeight(request.Bold ? QFont::Black : QFont::Normal);
    font.setItalic(request.Italic);
    QRawFont raw = QRawFont::fromFont(font, FontFaces::WritingSystemOf(request.Charset));
    if (raw.isValid())
        raw.setPixelSize(raw.unitsPerEm());
    return raw;
}

std::vector<std::vector<TGlyphPoint>> FlattenGlyph(const QRawFont &font, quint32 glyphIndex, double deviation)
{
    std::vector<Contour> contours;
    const double unitsPerEm = font.unitsPerEm();
    if (unitsPerEm <= 0)
        return contours;
    const double scale = 1.0 / unitsPerEm;
    const double tolerance = std::max(deviation, 1.0) * (font.pixelSize() / unitsPerEm);
    const QPainterPath path = font.pathForGlyph(glyphIndex);

    Contour contour;
    QPointF last;
    for (int i = 0; i < path.elementCount(); ++i) {
        const QPainterPath::Element e = path.elementAt(i);
        switch (e.type) {
        case QPainterPath::MoveToElement:
            CloseContour(contours, contour);
            last = e;
            AppendPoint(contour, last, scale);
            break;
        case QPainterPath::LineToElement:
            last = e;
            AppendPoint(contour, last, scale);
            break;
        case QPainterPath::CurveToElement: {
            if (i + 2 >= path.elementCount())
                break;
            const QPointF p1 = e;
            const QPointF p2 = path.elementAt(i + 1);
            const QPointF p3 = path.elementAt(i + 2);
            const int segments = CubicSegments(last, p1, p2, p3, tolerance);
            for (int k = 1; k <= segments; ++k)
                AppendPoint(contour, CubicPoint(last, p1, p2, p3, double(k) / segments), scale);
            last = p3;
            i += 2;
            break;
        }
        case QPainterPath::CurveToDataElement:
            break;
        }
    }
    CloseContour(contours, contour);
    return contours;
}

TGlyphSolid BuildGlyphSolid(const QRawFont &font, quint32 glyphIndex, double deviation)
{
    TGlyphSolid solid;
    const std::vector<Contour> contours = FlattenGlyph(font, glyphIndex, deviation);
    solid.FaceTriangles = TessellateFace(contours);
    solid.Walls = BuildWalls(contours);
    const QList<QPointF> advances =
        font.advancesForGlyphIndexes(QList<quint32>{glyphIndex}, QRawFont::UseDesignMetrics);
    if (!advances.isEmpty() && font.unitsPerEm() > 0)
        solid.Advance = float(advances.first().x() / font.pixelSize());
    return solid;
}

std::vector<TGlyphSolid> BuildGlyphSolids(const QRawFont &font, int firstCode, int count, double deviation)
{
    std::vector<TGlyphSolid> solids;
    solids.reserve(size_t(std::max(count, 0)));
    for (int k = 0; k < count; ++k) {
        const auto code = static_cast<unsigned char>(firstCode + k);
        const QList<quint32> indexes = font.glyphIndexesForString(QString(Cp1251::ToUnicode(code)));
        const quint32 index = indexes.isEmpty() ? 0 : indexes.first();
        solids.push_back(BuildGlyphSolid(font, index, deviation));
    }
    return solids;
}

void CompileGlyphLists(const std::vector<TGlyphSolid> &solids, unsigned listBase, int firstCode)
{
    for (size_t k = 0; k < solids.size(); ++k) {
        const TGlyphSolid &solid = solids[k];
        glNewList(GLuint(listBase + firstCode + k), GL_COMPILE);
        glBegin(GL_TRIANGLES);
        glNormal3f(0, 0, 1);
        for (const TGlyphPoint &p : solid.FaceTriangles)
            glVertex3f(p.x, p.y, 0);
        glNormal3f(0, 0, -1);
        for (size_t t = solid.FaceTriangles.size(); t >= 3; t -= 3) {
            for (size_t v = 1; v <= 3; ++v) { // each triangle reversed, so it faces -z
                const TGlyphPoint &p = solid.FaceTriangles[t - v];
                glVertex3f(p.x, p.y, -1);
            }
        }
        glEnd();
        glBegin(GL_QUADS);
        for (const TGlyphWall &wall : solid.Walls) {
            glNormal3f(wall.Normal.x, wall.Normal.y, 0);
            glVertex3f(wall.A.x, wall.A.y, 0);
            glVertex3f(wall.A.x, wall.A.y, -1);
            glVertex3f(wall.B.x, wall.B.y, -1);
            glVertex3f(wall.B.x, wall.B.y, 0);
        }
        glEnd();
        glTranslatef(solid.Advance, 0, 0);
        glEndList();
    }
}
