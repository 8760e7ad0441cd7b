// The start-up password gate through whole runs of the program: the defaults
// it writes, when it asks, and what each way out of the prompt leads to.
#include "BoxRecorder.h"
#include "ErrorReporting.h"
#include "PersistedState.h"
#include "Program.h"
#include "TestInput.h"
#include "ProgramState.h"
#include "Unit1.h"
#include "Unit6.h"
#include "ScratchFiles.h"
#include "files/file_system.h"

#include <QRadioButton>

#include <QAction>
#include <QCoreApplication>
#include <QScreen>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <unistd.h>
#include <optional>
#include <string>
#include <vector>

namespace {

using PersistedState::PasswordValue;
using PersistedState::ProtectionFlagValue;

const QString WrongPasswordText = QStringLiteral("Неправильный пароль / Невірний пароль / Wrong password");

// What one run of the program showed and how it ended.
struct RunRecord {
    int promptShown = 0;
    bool mainWindowSeenDuringPrompt = true;
    bool fadedIn = false;
    bool endedByTest = false;
    bool timedOut = false;
    std::vector<ShownBox> boxes;
};

// Watches the prompt: counts its showings and notes whether the main window
// could be seen at that moment.
class PromptWatch : public QObject {
public:
    explicit PromptWatch(RunRecord &run) : run_(run) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show && watched == Form6) {
            ++run_.promptShown;
            run_.mainWindowSeenDuringPrompt = !Form1->AlphaBlend() || Form1->AlphaBlendValue() != 0;
        }
        return false;
    }

private:
    RunRecord &run_;
};

// A step waits for its condition, then acts once; the steps run in order.
struct Step {
    std::function<bool()> ready;
    std::function<void()> act;
};

bool PromptUp() { return Form6 && Form6->isVisible() && QApplication::activeModalWidget() == Form6; }
bool FadedIn() { return Form1 && !Form1->AlphaBlend(); }

void TypeIntoPrompt(const QString &text)
{
    Retype(Form6->Edit1, text);
}

// Runs the program with the steps as the user's part. When the steps are done
// and the program is still running, the test closes the main window.
RunRecord RunProgramWith(std::vector<Step> steps)
{
    static char name[] = "password_gate_tests";
    static char *argv[] = {name, nullptr};
    int argc = 1;

    RunRecord run;
    PromptWatch watch(run);
    std::optional<BoxRecorder> recorder(std::in_place);
    std::size_t next = 0;
    RunProgram(argc, argv, [&](TForm1 &mainWindow) {
        Form6->installEventFilter(&watch);
        auto *poll = new QTimer(&mainWindow);
        QObject::connect(poll, &QTimer::timeout, &mainWindow, [&] {
            run.fadedIn = run.fadedIn || FadedIn();
            if (next < steps.size()) {
                if (steps[next].ready()) {
                    const auto act = steps[next++].act;
                    act();
                }
                return;
            }
            if (!run.endedByTest && Form1->isVisible()) {
                run.endedByTest = true;
                Form1->close();
            }
        });
        poll->start(10);
        QTimer::singleShot(20000, &mainWindow, [&run] {
            run.timedOut = true;
            QCoreApplication::exit(1);
        });
    });
    run.boxes = std::move(recorder->boxes);
    recorder.reset();
    SetDialogHook({});
    EXPECT_FALSE(run.timedOut) << "stuck before step " << next + 1 << " of " << steps.size();
    EXPECT_EQ(next, steps.size());
    return run;
}

const Step WaitForFadeIn{FadedIn, [] {}};

class PasswordGateTest : public ::testing::Test {
protected:
    ScratchRegistry registry_;

    static void Protect(const std::string &password)
    {
        SetStoreText(PasswordValue, password);
        SetStoreText(ProtectionFlagValue, "1");
    }

    // The last fields and the language as an earlier run left them.
    static void StoreLastRun()
    {
        SetProgramText("Path", "Software\\Kept");
        SetProgramText("Name", "kept name");
        SetProgramText("Word", "kept word");
        SetProgramText("lastlang", "2");
    }

    static void ExpectLastRunKept()
    {
        EXPECT_EQ(ProgramText("Path"), "Software\\Kept");
        EXPECT_EQ(ProgramText("Name"), "kept name");
        EXPECT_EQ(ProgramText("Word"), "kept word");
        EXPECT_EQ(ProgramText("lastlang"), "2");
    }
};

TEST_F(PasswordGateTest, ACleanRegistryGetsTheDefaultsAndNoPrompt)
{
    const RunRecord run = RunProgramWith({WaitForFadeIn});

    EXPECT_EQ(run.promptShown, 0);
    EXPECT_TRUE(run.fadedIn);
    EXPECT_TRUE(run.boxes.empty());
    EXPECT_EQ(StoreText(PasswordValue), "brightcanoe");
    EXPECT_EQ(StoreText(ProtectionFlagValue), "0");
}

TEST_F(PasswordGateTest, OnlyTheExactFlagOneAsksForThePassword)
{
    struct Case {
        std::string stored;
        bool asks;
        std::string afterwards;
    };
    for (const Case &flag : std::vector<Case>{{" 1", false, " 1"},
                                              {"01", false, "01"},
                                              {"yes", false, "yes"},
                                              {"", false, "0"},
                                              {"1", true, "1"}}) {
        SCOPED_TRACE("ok = \"" + flag.stored + "\"");
        ScratchRegistry fresh;
        SetStoreText(PasswordValue, "pw");
        SetStoreText(ProtectionFlagValue, flag.stored);
        std::vector<Step> steps;
        if (flag.asks)
            steps.push_back({PromptUp, [] {
                                 TypeIntoPrompt(QStringLiteral("pw"));
                                 QTest::mouseClick(Form6->Button1, Qt::LeftButton);
                             }});
        steps.push_back(WaitForFadeIn);

        const RunRecord run = RunProgramWith(steps);

        EXPECT_EQ(run.promptShown, flag.asks ? 1 : 0);
        EXPECT_TRUE(run.fadedIn);
        EXPECT_EQ(StoreText(ProtectionFlagValue), flag.afterwards);
        EXPECT_EQ(StoreText(PasswordValue), "pw");
    }
}

TEST_F(PasswordGateTest, TheRightPasswordLetsTheWindowFadeIn)
{
    Protect("Pass word");
    const RunRecord run = RunProgramWith({
        {PromptUp,
         [] {
             EXPECT_EQ(Form6->windowTitle(), QStringLiteral("Введите пароль"));
             TypeIntoPrompt(QStringLiteral("Pass word"));
             QTest::mouseClick(Form6->Button1, Qt::LeftButton);
         }},
        WaitForFadeIn,
    });

    EXPECT_EQ(run.promptShown, 1);
    EXPECT_FALSE(run.mainWindowSeenDuringPrompt);
    EXPECT_TRUE(run.fadedIn);
    EXPECT_TRUE(run.endedByTest);
    EXPECT_TRUE(run.boxes.empty());
}

TEST_F(PasswordGateTest, AWrongPasswordIsToldAndThePromptStaysWithoutLimit)
{
    Protect("Pass word");
    const auto tryWrong = [](const QString &text) {
        return Step{PromptUp, [text] {
                        TypeIntoPrompt(text);
                        QTest::mouseClick(Form6->Button1, Qt::LeftButton);
                        EXPECT_TRUE(Form6->isVisible());
                        EXPECT_EQ(Form6->Edit1->text(), text);
                        EXPECT_FALSE(FadedIn());
                    }};
    };
    const RunRecord run = RunProgramWith({
        tryWrong(QStringLiteral("pass word")),
        tryWrong(QStringLiteral("Pass word ")),
        tryWrong(QString()),
        {PromptUp,
         [] {
             TypeIntoPrompt(QStringLiteral("Pass word"));
             QTest::keyClick(Form6->Edit1, Qt::Key_Return);
         }},
        WaitForFadeIn,
    });

    ASSERT_EQ(run.boxes.size(), 3u);
    for (const ShownBox &box : run.boxes) {
        EXPECT_EQ(box.icon, QMessageBox::NoIcon);
        EXPECT_EQ(box.text, WrongPasswordText);
    }
    EXPECT_EQ(run.promptShown, 1);
    EXPECT_TRUE(run.fadedIn);
}

TEST_F(PasswordGateTest, CancelEndsTheProgramEvenWithTheRightPasswordAndStoresNothing)
{
    Protect("Pass word");
    StoreLastRun();
    const RunRecord run = RunProgramWith({
        {PromptUp,
         [] {
             TypeIntoPrompt(QStringLiteral("Pass word"));
             QTest::mouseClick(Form6->Button2, Qt::LeftButton);
         }},
    });

    EXPECT_FALSE(run.endedByTest);
    EXPECT_FALSE(run.fadedIn);
    EXPECT_TRUE(run.boxes.empty());
    ExpectLastRunKept();
}

TEST_F(PasswordGateTest, TheCloseBoxWithTheRightPasswordLetsTheProgramRun)
{
    Protect("Pass word");
    const RunRecord run = RunProgramWith({
        {PromptUp,
         [] {
             TypeIntoPrompt(QStringLiteral("Pass word"));
             Form6->close();
         }},
        WaitForFadeIn,
    });

    EXPECT_TRUE(run.endedByTest);
    EXPECT_TRUE(run.fadedIn);
}

TEST_F(PasswordGateTest, TheCloseBoxOrEscWithAWrongPasswordEndTheProgramAndStoreNothing)
{
    for (const bool byEscape : {false, true}) {
        SCOPED_TRACE(byEscape ? "Esc" : "close box");
        ScratchRegistry fresh;
        Protect("Pass word");
        StoreLastRun();
        const RunRecord run = RunProgramWith({
            {PromptUp,
             [byEscape] {
                 TypeIntoPrompt(QStringLiteral("Pass wor"));
                 if (byEscape)
                     QTest::keyClick(Form6->Edit1, Qt::Key_Escape);
                 else
                     Form6->close();
             }},
        });

        EXPECT_FALSE(run.endedByTest);
        EXPECT_FALSE(run.fadedIn);
        ExpectLastRunKept();
    }
}

TEST_F(PasswordGateTest, ACloseAfterAGoodStartStoresTheFieldsAndLanguage)
{
    Protect("Pass word");
    StoreLastRun();
    const RunRecord run = RunProgramWith({
        {PromptUp,
         [] {
             TypeIntoPrompt(QStringLiteral("Pass word"));
             QTest::mouseClick(Form6->Button1, Qt::LeftButton);
         }},
        {FadedIn, [] { Form1->Edit2->setText(QStringLiteral("new path")); }},
    });

    EXPECT_TRUE(run.endedByTest);
    EXPECT_EQ(ProgramText("Path"), "new path");
    EXPECT_EQ(ProgramText("Name"), "");
    EXPECT_EQ(ProgramText("Word"), "");
}

TEST_F(PasswordGateTest, AnEmptyStoredPasswordBecomesTheDefaultAtTheNextStart)
{
    Protect("");
    const RunRecord run = RunProgramWith({
        {PromptUp,
         [] {
             TypeIntoPrompt(QString());
             QTest::mouseClick(Form6->Button1, Qt::LeftButton);
         }},
        {PromptUp,
         [] {
             TypeIntoPrompt(QStringLiteral("brightcanoe"));
             QTest::mouseClick(Form6->Button1, Qt::LeftButton);
         }},
        WaitForFadeIn,
    });

    EXPECT_EQ(StoreText(PasswordValue), "brightcanoe");
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(run.boxes[0].text, WrongPasswordText);
    EXPECT_TRUE(run.fadedIn);
}

TEST_F(PasswordGateTest, AnUnreadableStoreIsToldOnceAndTheProgramStartsUnprotected)
{
    SetStoreText(PasswordValue, "pw");
    SetStoreNumber(ProtectionFlagValue, 1);
    SetProgramText("lastlang", "2");
    bool englishApplied = false;
    const RunRecord run = RunProgramWith({{FadedIn, [&] { englishApplied = Form1->N18->isChecked(); }}});

    EXPECT_EQ(run.promptShown, 0);
    EXPECT_TRUE(run.fadedIn);
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(run.boxes[0].icon, QMessageBox::Critical);
    EXPECT_EQ(run.boxes[0].text, QStringLiteral("Invalid data type for 'ok'"));
    // The start-up went on to the language step.
    EXPECT_TRUE(englishApplied);
}

TEST_F(PasswordGateTest, APasswordThatTurnsUnreadableAtThePromptStillLetsItEndTheProgram)
{
    Protect("Pass word");
    const RunRecord run = RunProgramWith({
        {PromptUp,
         [] {
             SetStoreNumber(PasswordValue, 7);
             TypeIntoPrompt(QStringLiteral("Pass word"));
             QTest::mouseClick(Form6->Button1, Qt::LeftButton);
             EXPECT_TRUE(Form6->isVisible());
             QTest::mouseClick(Form6->Button2, Qt::LeftButton);
         }},
    });

    EXPECT_FALSE(run.endedByTest);
    EXPECT_FALSE(run.fadedIn);
    ASSERT_EQ(run.boxes.size(), 2u);
    for (const ShownBox &box : run.boxes) {
        EXPECT_EQ(box.icon, QMessageBox::Critical);
        EXPECT_EQ(box.text, QStringLiteral("Invalid data type for 'configuration'"));
    }
}

// The file system with one folder that may not be written, whoever asks.
struct UnwritableFolder : files::FileSystem {
    std::string folder;
    int access(const std::string &path, int mode) override
    {
        return path == folder && (mode & W_OK) ? (errno = EACCES, -1) : FileSystem::access(path, mode);
    }
};

// Every refusal the user meets gives its reason, in the language the window
// shows: a registry file the program may not change is told once at start
// (in the language the windows are made in), and each refused action says
// its first line and then why. The refusing file is never touched.
using ProgramRefusals = PasswordGateTest;

TEST_F(ProgramRefusals, RefusalsGiveTheirReason)
{
    using Fill = std::array<const char *, 3>; // path, name, root: "CU" or "LM"
    struct Row {
        const char *language; // as stored
        std::function<QString(ScratchRegistry &)> spoil; // gives what the reason says of the file
        std::vector<const char *> told; // at start, in this order
        Fill fields;
        QAction *TForm1::*action;
        QString firstLine;
        QString reason; // %1: the refusing file's path, %2: what spoil gave
        const char *refusing;
    };
    const auto lineOf = [](const std::string &text, size_t at) {
        return QString::number(std::count(text.begin(), text.begin() + at, '\n') + 1);
    };
    const auto cutShort = [&](ScratchRegistry &r) {
        std::string text = readFile(r.File("user.reg"));
        text.resize(text.size() - 3);
        writeFile(r.File("user.reg"), text);
        return lineOf(text, text.size());
    };
    const auto badValue = [&](ScratchRegistry &r) {
        std::string text = readFile(r.File("user.reg"));
        const size_t at = text.find("=\"pw\"");
        text.replace(at, 5, "=\"pw");
        writeFile(r.File("user.reg"), text);
        return lineOf(text, at);
    };
    const auto bothReadOnly = [](ScratchRegistry &r) {
        r.MakeHiveReadOnly("system.reg");
        r.MakeHiveReadOnly("user.reg");
        return QString();
    };
    const auto folder = [](ScratchRegistry &) { return QStringLiteral("folder"); };
    const auto request = [](ScratchRegistry &) {
        setenv("VANTOR_REGISTRY_READONLY", "user.reg", 1);
        return QString();
    };
    const auto asItIs = [](ScratchRegistry &) { return QString(); };
    const std::string longName(20000, 'n');
    const std::vector<Row> rows{
        {"0", cutShort, {"user.reg"}, {"Software\\Vantor", "v", "CU"}, &TForm1::N6, "Failed to set data for 'v'",
         "Файл реестра %1 не будет изменён: строка %2 оборвана на середине (файл, возможно, обрезан).", "user.reg"},
        {"1", badValue, {"user.reg"}, {"AppEvents\\Schemes\\Apps\\System", "ok", "CU"}, &TForm1::N7,
         "Failed to delete value 'ok'", "Файл реєстру %1 не буде змінено: рядок %2 зі значенням не розпізнано.",
         "user.reg"},
        {"2", bothReadOnly, {"system.reg", "user.reg"}, {"Software", "VTR", "LM"}, &TForm1::N8,
         "Failed to delete key 'VTR'", "The registry file %1 will not be changed: the file may not be written.",
         "system.reg"},
        {"2", folder, {"system.reg", "user.reg"}, {"Software\\Vantor", "v", "LM"}, &TForm1::N111,
         "Failed to set data for 'Paths1'",
         "The registry file %1 will not be changed: the registry folder may not be written.", "system.reg"},
        {"0", request, {}, {"AppEvents\\Schemes", "Apps", "CU"}, &TForm1::N8, "Failed to delete key 'Apps'",
         "Файл реестра %1 не будет изменён: он открыт только для чтения по запросу.", "user.reg"},
        {"1", asItIs, {}, {"", "", "CU"}, &TForm1::N8, "Failed to delete key ''",
         "Кореневий ключ ніколи не видаляється.", nullptr},
        {"2", asItIs, {}, {"\\\\Software\\Audit", "val1", "CU"}, &TForm1::N4, "Failed to set data for 'val1'",
         "Level 1 of the path is empty.", nullptr},
        {"0", asItIs, {}, {"Software\\Vantor", longName.c_str(), "CU"}, &TForm1::N4,
         QString::fromStdString("Failed to set data for '" + longName + "'"), "Имя длиннее 16383 символов.",
         nullptr},
    };
    for (const Row &row : rows) {
        ScratchRegistry registry;
        SetStoreText(PasswordValue, "pw");
        SetStoreText(ProtectionFlagValue, "0");
        SetProgramText("lastlang", row.language);
        ASSERT_EQ(VtrRegFlushAll(), ERROR_SUCCESS);
        const QString spoiled = row.spoil(registry);
        SCOPED_TRACE(row.firstLine.left(60).toStdString());
        registry.Reload();
        const auto bytes = [&](const char *file) { return file ? readFile(registry.File(file)) : std::string(); };
        const std::string before = bytes(row.refusing);
        UnwritableFolder unwritable;
        unwritable.folder = spoiled == "folder" ? registry.Path().string() : "";
        files::useFileSystem(&unwritable);
        int screenWidth = 0;
        const RunRecord run = RunProgramWith({{FadedIn, [&] {
                                                   screenWidth = Form1->screen()->availableGeometry().width();
                                                   Form1->Edit2->setText(QString::fromUtf8(row.fields[0]));
                                                   Form1->Edit3->setText(QString::fromUtf8(row.fields[1]));
                                                   const bool machine = row.fields[2] == std::string("LM");
                                                   (machine ? Form1->RadioButton3 : Form1->RadioButton2)->setChecked(true);
                                                   (Form1->*row.action)->trigger();
                                               }}});
        files::useFileSystem(nullptr);
        unsetenv("VANTOR_REGISTRY_READONLY");

        const auto path = [&](const char *file) { return QString::fromStdString(registry.File(file).string()); };
        const QString reason =
            row.refusing ? QString(row.reason).replace("%1", path(row.refusing)).replace("%2", spoiled) : row.reason;
        ASSERT_GE(run.boxes.size(), row.told.size() + 1);
        for (size_t i = 0; i < row.told.size(); ++i)
            EXPECT_TRUE(run.boxes[i].text.startsWith(QStringLiteral("Файл реестра ") + path(row.told[i]) + ' '))
                << run.boxes[i].text.toStdString();
        if (!row.told.empty() && row.language == std::string("0")) {
            EXPECT_EQ(run.boxes[0].text.toStdString(), reason.toStdString());
        }
        const ShownBox &refused = run.boxes[row.told.size()];
        const QString whole = refused.details.isEmpty() ? refused.text : refused.details;
        EXPECT_EQ(whole.toStdString(), (row.firstLine + QChar(10) + reason).toStdString());
        EXPECT_LE(refused.width, screenWidth);
        // Closing is refused too where system.reg is: the last fields go there.
        const bool closeRefused = row.refusing && row.refusing == std::string("system.reg");
        ASSERT_EQ(run.boxes.size(), row.told.size() + (closeRefused ? 2 : 1));
        if (closeRefused) {
            EXPECT_EQ(run.boxes.back().text.toStdString(), ("Failed to set data for 'Path'\n" + reason).toStdString());
        }
        EXPECT_EQ(bytes(row.refusing), before);
    }
}

TEST_F(PasswordGateTest, AnUnwritableStoreThatNeedsNoWriteStillAsks)
{
    Protect("Pass word");
    MakeUserHiveReadOnly(registry_);
    const RunRecord run = RunProgramWith({
        {PromptUp,
         [] {
             TypeIntoPrompt(QStringLiteral("Pass word"));
             QTest::mouseClick(Form6->Button1, Qt::LeftButton);
         }},
        WaitForFadeIn,
    });

    EXPECT_EQ(run.promptShown, 1);
    ASSERT_EQ(run.boxes.size(), 1u); // the start-up's word on user.reg
    EXPECT_TRUE(run.boxes[0].text.contains(QStringLiteral("user.reg")));
}

} // namespace
