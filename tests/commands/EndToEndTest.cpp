// The real program on a display and a registry of its own, worked through the
// keyboard alone (xdotool), then closed; the registry files tell the result.
// Built a second time with VANTOR_WINDOWS_PROGRAM, it drives Vantor.exe under
// Wine in a scratch prefix instead, and `wine reg` tells the result.
#include "ScratchRegistry.h"
#include "SoftwareRenderer.h"

#include <vantor_registry.h>

#include <QDir>
#include <QImage>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTest>
#include <QThread>

#include <xcb/xcb.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#ifndef VANTOR_PROGRAM
#error "VANTOR_PROGRAM must name the program binary"
#endif

class EndToEndTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void cleanup();
#ifdef VANTOR_WINDOWS_PROGRAM
    void onWineStartRegistryLanguageAndAbout();
#else
    void keyboardOnlySessionsOverThreeRuns();
    void fadesReachTheScreenStepByStep_data();
    void fadesReachTheScreenStepByStep();
#endif

private:
    QProcessEnvironment Environment() const;
    void Launch();
    void Start();
    void Close();
    void Xdotool(const QStringList &arguments);
    void Key(const QString &keys);
    void Type(const QString &text);
    QString FindWindow(const QString &titlePattern);
    QString WaitForWindow(const QString &titlePattern);
    void AcceptMessageDialog();

    QProcess display_;
    QString displayName_;
    ScratchRegistry registry_;
    QString RegistryDir() const { return QString::fromStdString(registry_.Path().string()); }
    QProcess program_;
    QString mainWindow_;
#ifdef VANTOR_WINDOWS_PROGRAM
    QString Reg(const QStringList &arguments);
    void PointAt(const QString &window) { Xdotool({"mousemove", "--sync", "--window", window, "30", "30"}); }
    void AnswerWith(const QString &titlePattern, const QString &keys);
    QImage AboutBoxOf(bool onWine);
    QString prefixState_;
#endif
};

namespace {

constexpr int PatienceMs = 60000;

const std::string Path = "Software\\Вантор\\Проба";
const std::string Name = "Значення";
const std::string Value = "Привіт, їжаку";

#ifndef VANTOR_WINDOWS_PROGRAM
// Reads one value as the files now hold it.
std::optional<std::string> TextIn(const QString &dir, HKEY root, const std::string &path, const std::string &name)
{
    VtrRegReset(dir.toUtf8().constData());
    std::optional<std::string> result;
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return result;
    char data[512] = {};
    DWORD size = sizeof data - 1;
    DWORD type = REG_NONE;
    if (RegQueryValueExA(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE *>(data), &size) == ERROR_SUCCESS
        && type == REG_SZ)
        result = std::string(data);
    RegCloseKey(key);
    return result;
}

void PutTextIn(const QString &dir, HKEY root, const std::string &path, const std::string &name,
               const std::string &text)
{
    VtrRegReset(dir.toUtf8().constData());
    HKEY key = nullptr;
    QCOMPARE(RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
             ERROR_SUCCESS);
    QCOMPARE(RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE *>(text.c_str()),
                            static_cast<DWORD>(text.size() + 1)),
             ERROR_SUCCESS);
    RegCloseKey(key);
    VtrRegReset(nullptr);
}
#endif

bool WaitUntil(const std::function<bool()> &condition, qint64 patienceMs = PatienceMs)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < patienceMs) {
        if (condition())
            return true;
        QThread::msleep(100);
    }
    return condition();
}

#ifndef VANTOR_WINDOWS_PROGRAM
QString Q(const std::string &text) { return QString::fromStdString(text); }
#endif

bool DisplayAnswers(const QString &display)
{
    xcb_connection_t *connection = xcb_connect(display.toLatin1().constData(), nullptr);
    const bool answers = xcb_connection_has_error(connection) == 0;
    xcb_disconnect(connection);
    return answers;
}

#ifndef VANTOR_WINDOWS_PROGRAM
// The hives as they stand, to show with a failure.
QString RegistryFiles(const QString &dir)
{
    QString text;
    for (const char *file : {"user.reg", "system.reg"}) {
        QFile hive(dir + QLatin1Char('/') + QLatin1String(file));
        if (hive.open(QIODevice::ReadOnly))
            text += QStringLiteral("\n== %1\n").arg(QLatin1String(file)) + QString::fromUtf8(hive.readAll().right(1500));
    }
    return text;
}
#endif

// Sees, from an X connection of its own as a compositor does, the distinct
// opacities between transparent and opaque that the program's windows take.
class OpacityWatch {
public:
    explicit OpacityWatch(const QString &display) : connection_(xcb_connect(display.toLatin1().constData(), nullptr))
    {
        Select(xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root, XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY);
        const char name[] = "_NET_WM_WINDOW_OPACITY";
        xcb_intern_atom_reply_t *atom =
            xcb_intern_atom_reply(connection_, xcb_intern_atom(connection_, 0, sizeof name - 1, name), nullptr);
        opacity_ = atom ? atom->atom : xcb_atom_t(XCB_ATOM_NONE);
        free(atom);
        watcher_ = std::thread([this] {
            while (!stop_)
                Take(xcb_poll_for_event(connection_));
        });
    }
    ~OpacityWatch()
    {
        stop_ = true;
        watcher_.join();
        xcb_disconnect(connection_);
    }

    int changes = 0; // of the opacity: each step of a fade is one
    int last = -1;
    std::mutex mutex;

private:
    void Select(xcb_window_t window, uint32_t mask)
    {
        xcb_change_window_attributes(connection_, window, XCB_CW_EVENT_MASK, &mask);
        xcb_flush(connection_);
    }
    void Take(xcb_generic_event_t *event)
    {
        if (!event)
            return std::this_thread::sleep_for(std::chrono::microseconds(200));
        const auto *created = reinterpret_cast<xcb_create_notify_event_t *>(event);
        const auto *changed = reinterpret_cast<xcb_property_notify_event_t *>(event);
        if ((event->response_type & 0x7f) == XCB_CREATE_NOTIFY)
            Select(created->window, XCB_EVENT_MASK_PROPERTY_CHANGE);
        // Counted as they come: a watch that reads late reads a later value.
        if ((event->response_type & 0x7f) == XCB_PROPERTY_NOTIFY && changed->atom == opacity_) {
            {
                const std::lock_guard lock(mutex);
                ++changes;
            }
            Read(changed->window);
        }
        free(event);
    }
    void Read(xcb_window_t window)
    {
        xcb_get_property_reply_t *reply = xcb_get_property_reply(
            connection_, xcb_get_property(connection_, 0, window, opacity_, XCB_ATOM_CARDINAL, 0, 1), nullptr);
        if (reply && xcb_get_property_value_length(reply) == 4) {
            const std::lock_guard lock(mutex);
            last = int(*static_cast<const uint32_t *>(xcb_get_property_value(reply)) / 0x01010101u);
        } else if (reply && reply->type == XCB_NONE) {
            // Removed: opaque. Wine removes it at the end of a fade-in.
            const std::lock_guard lock(mutex);
            last = 255;
        }
        free(reply);
    }

    xcb_connection_t *connection_;
    xcb_atom_t opacity_;
    std::atomic<bool> stop_{false};
    std::thread watcher_;
};

} // namespace

void EndToEndTest::initTestCase()
{
    // A display of its own, so no other window can take the keyboard: the
    // first number from 100 on that no X server holds. Xvfb takes the number's
    // lock itself, and ends at once when another server took it first.
    for (int number = 100; number < 300 && displayName_.isEmpty(); ++number) {
        const QString name = QStringLiteral(":%1").arg(number);
        if (QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(number)))
            continue;
        display_.start(QStringLiteral("Xvfb"), {name, QStringLiteral("-screen"), QStringLiteral("0"),
                                                QStringLiteral("1024x768x24"), QStringLiteral("-nolisten"),
                                                QStringLiteral("tcp")});
        QVERIFY2(display_.waitForStarted(), "Xvfb cannot be started");
        // Xvfb may take the number before a client can connect to it; one
        // that never answers is given up for the next number.
        WaitUntil([&] { return DisplayAnswers(name) || display_.waitForFinished(100); }, 10000);
        if (display_.state() == QProcess::Running && DisplayAnswers(name))
            displayName_ = name;
        else if (display_.state() != QProcess::NotRunning) {
            display_.kill();
            display_.waitForFinished();
        }
    }
    QVERIFY2(!displayName_.isEmpty(), "no free display number");
#ifdef VANTOR_WINDOWS_PROGRAM
    // A scratch prefix in which Arial is Liberation Sans, its metric twin.
    prefixState_ = QDir::temp().filePath(QStringLiteral("vantor-e2e-prefix-%1").arg(QCoreApplication::applicationPid()));
    QCOMPARE(QProcess::execute(QStringLiteral(VANTOR_WINE_PREFIX_SCRIPT), {"create", prefixState_}), 0);
    for (const char *face : {"Arial", "Arial Cyr"})
        Reg({"add", "HKCU\\Software\\Wine\\Fonts\\Replacements", "/v", face, "/d", "Liberation Sans", "/f"});
#endif
}

// A test that failed half-way leaves the program running.
void EndToEndTest::cleanup()
{
    if (program_.state() != QProcess::NotRunning) {
        program_.kill();
        program_.waitForFinished();
    }
}

void EndToEndTest::cleanupTestCase()
{
    display_.terminate();
    display_.waitForFinished();
    VtrRegReset(nullptr);
#ifdef VANTOR_WINDOWS_PROGRAM
    QProcess::execute(QStringLiteral(VANTOR_WINE_PREFIX_SCRIPT), {"remove", prefixState_});
#endif
}

QProcessEnvironment EndToEndTest::Environment() const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), displayName_);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.insert(QStringLiteral("VANTOR_REGISTRY"), RegistryDir());
    environment.remove(QStringLiteral("WINEPREFIX"));
    environment.remove(QStringLiteral("VANTOR_REGISTRY_READONLY"));
    // xdotool reads the text it types in the locale's encoding.
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
#ifdef VANTOR_WINDOWS_PROGRAM
    if (!prefixState_.isEmpty()) {
        QFile state(prefixState_);
        if (state.open(QIODevice::ReadOnly))
            environment.insert(QStringLiteral("WINEPREFIX"), QString::fromUtf8(state.readAll()).trimmed());
    }
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    environment.insert(QStringLiteral("WINEDEBUG"), QStringLiteral("-all"));
    environment.insert(QStringLiteral("WINEDLLOVERRIDES"), QStringLiteral("mscoree,mshtml,winemenubuilder.exe=d"));
#endif
    return environment;
}

void EndToEndTest::Xdotool(const QStringList &arguments)
{
    QProcess tool;
    tool.setProcessEnvironment(Environment());
    tool.start(QStringLiteral("xdotool"), arguments);
    QVERIFY2(tool.waitForFinished(PatienceMs), qPrintable(arguments.join(' ')));
    QVERIFY2(tool.exitCode() == 0, qPrintable(arguments.join(' ') + ": " + tool.readAllStandardError()));
}

void EndToEndTest::Key(const QString &keys) { Xdotool(QStringList{"key", "--delay", "60"} + keys.split(' ')); }

// xdotool types a character that the keymap lacks by binding it to a spare
// key for the moment; the program must see the new binding before the key.
// A generous delay keeps that true on a busy machine.
void EndToEndTest::Type(const QString &text) { Xdotool({"type", "--delay", "150", text}); }

// The first visible window whose title matches, or empty text.
QString EndToEndTest::FindWindow(const QString &titlePattern)
{
    QProcess tool;
    tool.setProcessEnvironment(Environment());
    tool.start(QStringLiteral("xdotool"), {"search", "--onlyvisible", "--name", titlePattern});
    tool.waitForFinished(PatienceMs);
    return QString::fromLatin1(tool.readAllStandardOutput()).section('\n', 0, 0).trimmed();
}

QString EndToEndTest::WaitForWindow(const QString &titlePattern)
{
    QString window;
    WaitUntil([&] {
        window = FindWindow(titlePattern);
        return !window.isEmpty();
    });
    return window;
}

void EndToEndTest::Launch()
{
    QProcessEnvironment environment = Environment();
#if defined(VANTOR_SANITIZER_RUNTIME) && !defined(VANTOR_WINDOWS_PROGRAM)
    environment.insert(QStringLiteral("LD_PRELOAD"),
                       QStringLiteral(VANTOR_SANITIZER_RUNTIME " ") + QString::fromStdString(SoftwareRendererPath()));
#endif
    program_.setProcessEnvironment(environment);
    program_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
#ifdef VANTOR_WINDOWS_PROGRAM
    program_.start(QStringLiteral(VANTOR_WINE), {QStringLiteral(VANTOR_WINDOWS_PROGRAM)});
#else
    program_.start(QStringLiteral(VANTOR_PROGRAM), {});
#endif
    QVERIFY2(program_.waitForStarted(), "the program does not start");
}

void EndToEndTest::Start()
{
    Launch();
    const QString window = WaitForWindow(QStringLiteral("^Vantor  1\\.5"));
    QVERIFY2(!window.isEmpty(), "the main window does not appear");
    mainWindow_ = window;
#ifdef VANTOR_WINDOWS_PROGRAM
    // With no window manager, the keyboard goes to the Wine window under the pointer.
    PointAt(window);
    return;
#endif
    // The program gives itself the focus; wait until the display agrees.
    QVERIFY(WaitUntil([&] {
        QProcess tool;
        tool.setProcessEnvironment(Environment());
        tool.start(QStringLiteral("xdotool"), {"getwindowfocus"});
        tool.waitForFinished(PatienceMs);
        return QString::fromLatin1(tool.readAllStandardOutput()).trimmed() == window;
    }));
}

void EndToEndTest::Close()
{
    Key(QStringLiteral("ctrl+F4"));
    QVERIFY2(program_.waitForFinished(PatienceMs), "the program does not end");
    QCOMPARE(program_.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program_.exitCode(), 0);
}

// The warning's dialog carries the bare application title. This display has
// no window manager to hand the focus back to the main window once the dialog
// is gone, so the test does that part itself.
void EndToEndTest::AcceptMessageDialog()
{
    QVERIFY2(!WaitForWindow(QStringLiteral("^Vantor 1\\.5$")).isEmpty(), "no message dialog");
    Key(QStringLiteral("Return"));
    QVERIFY(WaitUntil([&] { return FindWindow(QStringLiteral("^Vantor 1\\.5$")).isEmpty(); }));
    Xdotool({"windowfocus", "--sync", mainWindow_});
}

#ifndef VANTOR_WINDOWS_PROGRAM
void EndToEndTest::keyboardOnlySessionsOverThreeRuns()
{
    const QString dir = RegistryDir();
    const QString toEdit4 = QStringLiteral("Tab Tab Tab Tab Tab Tab Tab");
    // From Edit4: the root box, the first root button, then down to HKLM.
    const QString toMachineRoot = QStringLiteral("Tab Tab space Down Down");

    // First run: type the target, change value with no root chosen (the
    // warning, then HKEY_CURRENT_USER), create key under HKEY_LOCAL_MACHINE,
    // delete key on a name that is a value, not a key.
    Start();
    Type(Q(Path));
    Key(QStringLiteral("Tab"));
    Type(Q(Name));
    Key(toEdit4);
    Type(Q(Value));
    Key(QStringLiteral("F3"));
    AcceptMessageDialog();
    WaitUntil([&] { return TextIn(dir, HKEY_CURRENT_USER, Path, Name) == Value; });
    QVERIFY2(TextIn(dir, HKEY_CURRENT_USER, Path, Name) == Value, qPrintable(RegistryFiles(dir)));
    Key(toMachineRoot);
    Key(QStringLiteral("F1"));
    WaitUntil([&] { return TextIn(dir, HKEY_LOCAL_MACHINE, Path, Name) == Value; });
    QVERIFY2(TextIn(dir, HKEY_LOCAL_MACHINE, Path, Name) == Value, qPrintable(RegistryFiles(dir)));
    Key(QStringLiteral("F5"));
    Close();
    QCOMPARE(TextIn(dir, HKEY_CURRENT_USER, Path, Name), Value);
    QCOMPARE(TextIn(dir, HKEY_LOCAL_MACHINE, Path, Name), Value);
    QCOMPARE(TextIn(dir, HKEY_CLASSES_ROOT, Path, Name), std::nullopt);
    QCOMPARE(TextIn(dir, HKEY_LOCAL_MACHINE, "Software\\VTR", "Path"), Path);
    QCOMPARE(TextIn(dir, HKEY_LOCAL_MACHINE, "Software\\VTR", "Name"), Name);
    QCOMPARE(TextIn(dir, HKEY_LOCAL_MACHINE, "Software\\VTR", "Word"), std::string("(Ключ не найден)"));

    // Second run: recall path and name, read the value under HKLM.
    Start();
    Key(QStringLiteral("ctrl+q ctrl+w"));
    Key(toEdit4 + QStringLiteral(" Tab ") + toMachineRoot);
    Key(QStringLiteral("F2"));
    Close();
    QCOMPARE(TextIn(dir, HKEY_LOCAL_MACHINE, "Software\\VTR", "Word"), Value);

    // Third run: recall all three fields (a stored text put in by hand for
    // the value), change the value under HKCU to it, then delete it there;
    // the one under HKLM stays.
    PutTextIn(dir, HKEY_LOCAL_MACHINE, "Software\\VTR", "Word", "зі сховища");
    Start();
    Key(QStringLiteral("ctrl+q ctrl+w ctrl+e"));
    Key(toEdit4 + QStringLiteral(" Tab Tab Tab space Down"));
    Key(QStringLiteral("F3"));
    WaitUntil([&] { return TextIn(dir, HKEY_CURRENT_USER, Path, Name) == "зі сховища"; });
    QVERIFY2(TextIn(dir, HKEY_CURRENT_USER, Path, Name) == "зі сховища", qPrintable(RegistryFiles(dir)));
    Key(QStringLiteral("F4"));
    Close();
    QCOMPARE(TextIn(dir, HKEY_CURRENT_USER, Path, Name), std::nullopt);
    QCOMPARE(TextIn(dir, HKEY_LOCAL_MACHINE, Path, Name), Value);
    QCOMPARE(TextIn(dir, HKEY_LOCAL_MACHINE, "Software\\VTR", "Word"), std::string("(Значение удалено)"));
}

void EndToEndTest::fadesReachTheScreenStepByStep_data()
{
    QTest::addColumn<bool>("prompted");
    QTest::newRow("normal start") << false;
    QTest::newRow("after the password prompt") << true;
}

// The program's loop is idle but for its fade timers: every step must reach
// the window system by itself, with no input to wake the program.
void EndToEndTest::fadesReachTheScreenStepByStep()
{
    QFETCH(bool, prompted);
    const QString dir = RegistryDir();
    PutTextIn(dir, HKEY_CURRENT_USER, "AppEvents\\Schemes\\Apps\\System", "configuration", "пароль");
    PutTextIn(dir, HKEY_CURRENT_USER, "AppEvents\\Schemes\\Apps\\System", "ok", prompted ? "1" : "0");
    OpacityWatch watch(displayName_);
    // A fade has 50 steps between its ends; a watch that comes in late may miss a few.
    const auto fadedStepByStep = [&](int end) {
        const std::lock_guard lock(watch.mutex);
        return watch.last == end && watch.changes >= 30;
    };
    if (prompted) {
        Launch();
        const QString prompt = WaitForWindow(QStringLiteral("^Введите пароль$"));
        QVERIFY2(!prompt.isEmpty(), "no password prompt");
        // A letter that xdotool's spare key binding delivers wrong on a busy
        // machine gives the wrong-password message: that is closed and the
        // password typed again.
        for (int attempt = 0; attempt < 3 && !FindWindow(QStringLiteral("^Введите пароль$")).isEmpty(); ++attempt) {
            if (!FindWindow(QStringLiteral("^Vantor 1\\.5$")).isEmpty())
                Key(QStringLiteral("Return"));
            Xdotool({"windowfocus", "--sync", prompt});
            Key(QStringLiteral("ctrl+a BackSpace"));
            Type(QStringLiteral("пароль"));
            Key(QStringLiteral("Return"));
            // Until the prompt goes, or the wrong-password message comes.
            WaitUntil([&] {
                return FindWindow(QStringLiteral("^Введите пароль$")).isEmpty() ||
                       !FindWindow(QStringLiteral("^Vantor 1\\.5$")).isEmpty();
            });
        }
        QVERIFY2(FindWindow(QStringLiteral("^Введите пароль$")).isEmpty(), "the password prompt stays");
        mainWindow_ = WaitForWindow(QStringLiteral("^Vantor  1\\.5"));
    } else {
        Start();
    }
    QVERIFY2(WaitUntil([&] { return fadedStepByStep(255); }), "the fade-in does not reach the screen step by step");

    {
        const std::lock_guard lock(watch.mutex);
        watch.changes = 0;
    }
    Xdotool({"windowfocus", "--sync", mainWindow_});
    Key(QStringLiteral("ctrl+F9"));
    QVERIFY2(!WaitForWindow(QStringLiteral("^About VTR$")).isEmpty(), "no About box");
    Key(QStringLiteral("Return"));
    QVERIFY2(WaitUntil([&] { return fadedStepByStep(0); }), "the fade-out does not reach the screen step by step");
    Close();
}

#else
// `wine reg` in the test's prefix; its output.
QString EndToEndTest::Reg(const QStringList &arguments)
{
    QProcess reg;
    reg.setProcessEnvironment(Environment());
    reg.start(QStringLiteral(VANTOR_WINE), QStringList{"reg"} + arguments);
    reg.waitForFinished(PatienceMs);
    return QString::fromLocal8Bit(reg.readAllStandardOutput());
}

// Keys to the window of that title, then back to the main window.
void EndToEndTest::AnswerWith(const QString &titlePattern, const QString &keys)
{
    const QString window = WaitForWindow(titlePattern);
    QVERIFY2(!window.isEmpty(), qPrintable(titlePattern + " does not appear"));
    PointAt(window);
    Key(keys);
    QVERIFY(WaitUntil([&] { return FindWindow(titlePattern).isEmpty(); }));
    PointAt(mainWindow_);
}

// The About box's first activation on the screen, the program left running.
QImage EndToEndTest::AboutBoxOf(bool onWine)
{
    if (!onWine) {
        QProcessEnvironment environment = Environment();
        environment.remove(QStringLiteral("WINEPREFIX"));
#ifdef VANTOR_SANITIZER_RUNTIME
        environment.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(VANTOR_SANITIZER_RUNTIME " ") +
                                                             QString::fromStdString(SoftwareRendererPath()));
#endif
        program_.setProcessEnvironment(environment);
        program_.start(QStringLiteral(VANTOR_PROGRAM), {});
        mainWindow_ = WaitForWindow(QStringLiteral("^Vantor  1\\.5"));
        Xdotool({"windowfocus", "--sync", mainWindow_});
    }
    Key(QStringLiteral("ctrl+F9"));
    const QString about = WaitForWindow(QStringLiteral("^About VTR$"));
    PointAt(about);
    QThread::msleep(3000); // its fade-in and first frame
    xcb_connection_t *connection = xcb_connect(displayName_.toLatin1().constData(), nullptr);
    const xcb_window_t window = about.toUInt();
    xcb_get_geometry_reply_t *size =
        xcb_get_geometry_reply(connection, xcb_get_geometry(connection, window), nullptr);
    xcb_get_image_reply_t *image = size ? xcb_get_image_reply(connection,
        xcb_get_image(connection, XCB_IMAGE_FORMAT_Z_PIXMAP, window, 0, 0, size->width, size->height, ~0u),
        nullptr) : nullptr;
    QImage shot;
    if (image)
        shot = QImage(xcb_get_image_data(image), size->width, size->height, QImage::Format_RGB32).copy();
    free(image);
    free(size);
    xcb_disconnect(connection);
    Key(QStringLiteral("Return"));
    WaitUntil([&] { return FindWindow(QStringLiteral("^About VTR$")).isEmpty(); });
    PointAt(mainWindow_);
    return shot;
}

// The share of the 3D text strip's pixels, blurred by scaling to an eighth,
// whose grey differs by more than a tenth. The same letters differ by 0.2 %
// here, the English text beside the Russian by 6 %.
double Difference(const QImage &a, const QImage &b)
{
    const QRect strip(8, 208, 456, 72); // in the About box's client area
    const auto blurred = [&](const QImage &shot) {
        return shot.copy(strip).convertToFormat(QImage::Format_Grayscale8).scaled(
            strip.size() / 8, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    };
    const QImage x = blurred(a), y = blurred(b);
    int differing = 0;
    for (int row = 0; row < x.height(); ++row)
        for (int column = 0; column < x.width(); ++column)
            differing += std::abs(qGray(x.pixel(column, row)) - qGray(y.pixel(column, row))) > 25;
    return double(differing) / (x.width() * x.height());
}

void EndToEndTest::onWineStartRegistryLanguageAndAbout()
{
    const QString vtr = QStringLiteral("HKLM\\Software\\VTR");
    const QString key = QStringLiteral("HKLM\\Software\\VantorWine");
    const QString toEdit4 = QStringLiteral("Tab Tab Tab Tab Tab Tab Tab");
    const QString toMachineRoot = QStringLiteral("Tab Tab space Down Down");

    // Start-up: the title, the size and place the window is given, the fade-in.
    {
        OpacityWatch watch(displayName_);
        Start();
        QVERIFY(!QTest::currentTestFailed());
        const bool faded = WaitUntil([&] {
            const std::lock_guard lock(watch.mutex);
            return watch.last == 255 && watch.changes >= 30;
        }, 15000);
        QVERIFY2(faded, qPrintable(QStringLiteral("the fade-in: %1 steps, the last at %2").arg(watch.changes).arg(watch.last)));
    }
    QProcess geometry;
    geometry.start(QStringLiteral("xwininfo"), {"-display", displayName_, "-id", mainWindow_});
    geometry.waitForFinished(PatienceMs);
    const QString info = QString::fromLatin1(geometry.readAllStandardOutput());
    for (const char *fact : {"Absolute upper-left X:  435", "Width: 565"})
        QVERIFY2(info.contains(QLatin1String(fact)), qPrintable(info));

    // F1 creates the key and its value under HKLM, where `reg query` reads it.
    Type(QStringLiteral("Software\\VantorWine"));
    Key(QStringLiteral("Tab"));
    Type(QStringLiteral("greeting"));
    Key(toEdit4);
    Type(QStringLiteral("hello"));
    Key(toMachineRoot + QStringLiteral(" F1"));
    QVERIFY(WaitUntil([&] { return Reg({"query", key, "/v", "greeting"}).contains(QLatin1String("hello")); }));
    Close();
    QVERIFY(!QTest::currentTestFailed());

    // F2 reads what `reg add` wrote; the close stores it as the value field.
    Reg({"add", key, "/v", "greeting", "/d", "from-reg", "/f"});
    Start();
    QVERIFY(!QTest::currentTestFailed());
    Key(QStringLiteral("ctrl+q ctrl+w"));
    Key(toEdit4 + QStringLiteral(" Tab ") + toMachineRoot + QStringLiteral(" F2"));
    Close();
    QVERIFY(!QTest::currentTestFailed());
    QVERIFY2(Reg({"query", vtr, "/v", "Word"}).contains(QLatin1String("from-reg")), qPrintable(Reg({"query", vtr})));

    // F5 with no path and no name names the root itself: refused in a box.
    for (const char *field : {"Path", "Name"})
        Reg({"add", vtr, "/v", field, "/d", "", "/f"});
    Start();
    QVERIFY(!QTest::currentTestFailed());
    Key(QStringLiteral("ctrl+q ctrl+w ") + toEdit4 + QStringLiteral(" Tab ") + toMachineRoot + QStringLiteral(" F5"));
    AnswerWith(QStringLiteral("^Vantor 1\\.5$"), QStringLiteral("Return"));
    QVERIFY(Reg({"query", key}).contains(QLatin1String("greeting")));

    // A switch to English, then a restart: the settings dialog is in English both times.
    for (int run = 0; run < 2; ++run) {
        if (run == 0)
            Key(QStringLiteral("F12"));
        else
            Start();
        Key(QStringLiteral("F6"));
        AnswerWith(QStringLiteral("^Show$"), QStringLiteral("Escape"));
        if (run == 0)
            Close();
    QVERIFY(!QTest::currentTestFailed());
    }
    QVERIFY(Reg({"query", vtr, "/v", "lastlang"}).contains(QLatin1String("2")));

    // The About box's 3D text, beside the Linux program's on the same display
    // and in its language.
    Key(QStringLiteral("F10"));
    const QImage onWine = AboutBoxOf(true);
    Close();
    QVERIFY(!QTest::currentTestFailed());
    const QImage onLinux = AboutBoxOf(false);
    Close();
    QVERIFY(!QTest::currentTestFailed());
    QVERIFY(!onWine.isNull() && !onLinux.isNull());
    const double difference = Difference(onWine, onLinux);
    qInfo("About box: %.1f %% of the blurred pixels differ", difference * 100);
    if (difference > 0.02) {
        onWine.save(QDir::temp().filePath(QStringLiteral("vantor-about-wine.png")));
        onLinux.save(QDir::temp().filePath(QStringLiteral("vantor-about-linux.png")));
    }
    QVERIFY2(difference <= 0.02, "the About box differs from the Linux one (shots in the temporary folder)");
}
#endif

QTEST_GUILESS_MAIN(EndToEndTest)
#include "EndToEndTest.moc"
