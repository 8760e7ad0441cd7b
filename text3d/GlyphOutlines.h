// Solid 3D glyphs for the 3D text control: outlines from Qt's font engine,
// flattened, faces tessellated with the GLU tessellator, side walls with
// normals, and compiled into one display list per character code.
#pragma once

#include <QRawFont>
#include <QString>

#include <vector>

struct TGlyphPoint {
    float x = 0;
    float y = 0;
};

// One side wall: the quad over the outline edge A-B from z = 0 to z = -1.
struct TGlyphWall {
    TGlyphPoint A;
    TGlyphPoint B;
    TGlyphPoint Normal;
};

// A glyph in em units (the em square is 1.0), y up, extruded from z = 0 to
// z = -1.
struct TGlyphSolid {
    std::vector<TGlyphPoint> FaceTriangles; // three points a triangle, counter-clockwise seen from +z
    std::vector<TGlyphWall> Walls;
    float Advance = 0;                      // the glyph's cell increment
};

struct TGlyphFontRequest {
    QString FaceName;
    unsigned char Charset = 1;
    bool Bold = false;
    bool Italic = false;
    int PixelHeight = 28;
};

// The glyph font, at a pixel size equal to its units per em so that its
// paths come in design units.
QRawFont MakeGlyphFont(const TGlyphFontRequest &request);

// The flattened closed contours of a glyph in em units, y up. Curves keep
// within `deviation` design units of the true outline; less than one design
// unit counts as one.
std::vector<std::vector<TGlyphPoint>> FlattenGlyph(const QRawFont &font, quint32 glyphIndex, double deviation);

TGlyphSolid BuildGlyphSolid(const QRawFont &font, quint32 glyphIndex, double deviation);

// The solids of `count` character codes of the Windows Cyrillic code page
// from `firstCode` on.
std::vector<TGlyphSolid> BuildGlyphSolids(const QRawFont &font, int firstCode, int count, double deviation);

// Needs a current OpenGL context: list `listBase + firstCode + k` draws
// solid k and then moves right by its advance.
void CompileGlyphLists(const std::vector<TGlyphSolid> &solids, unsigned listBase, int firstCode);
