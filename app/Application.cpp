#include "Application.h"

#include "ErrorReporting.h"

#include <QFont>

namespace {

// The window's faces are old Windows fonts; where they are missing the
// metric-compatible Liberation Sans stands in, and fontconfig picks any sans
// face after that.
void SubstituteMissingFaces()
{
    const QStringList fallbacks{QStringLiteral("Liberation Sans"), QStringLiteral("Arial"),
                                QStringLiteral("DejaVu Sans")};
    for (const char *face : {"MS Sans Serif", "Pragmatica", "Pasma"})
        QFont::insertSubstitutions(QString::fromLatin1(face), fallbacks);
}

} // namespace

TApplication::TApplication(int &argc, char **argv) : QApplication(argc, argv)
{
    setStyle(QStringLiteral("Fusion"));
    SubstituteMissingFaces();
}

// Event dispatch: a failure that escapes any handler ends up here, is shown
// in the error box, and the event counts as handled.
bool TApplication::notify(QObject *receiver, QEvent *event)
{
    bool handled = true;
    RunReportingFailures([&] { handled = QApplication::notify(receiver, event); });
    return handled;
}
