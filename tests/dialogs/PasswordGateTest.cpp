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
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
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

// A hive file that cannot be understood, cannot be written, or lies in a
// folder that cannot be written: the start-up tells each file once, before
// anything else (the gate's refusal would only repeat it), and a write to it
// then gives the refusal with its reason. A request is not told at start.
TEST_F(PasswordGateTest, AFileTheProgramMayNotChangeIsToldAtStartAndWithEveryRefusal)
{
    const auto spoil = [](ScratchRegistry &registry, const char *file, const std::string &from, const char *to) {
        std::string text = readFile(registry.File(file));
        text.replace(text.find(from), from.size(), to);
        writeFile(registry.File(file), text);
        return "line " + std::to_string(std::count(text.begin(), text.begin() + text.find(to), '\n') + 1);
    };
    struct Row {
        std::vector<const char *> told; // at start, in this order
        const char *refusing;
        std::function<std::string(ScratchRegistry &)> spoil; // gives what the reason says
    };
    const std::vector<Row> rows{
        {{"user.reg"}, "user.reg", [&](ScratchRegistry &r) { return spoil(r, "user.reg", "\"0\"\n", "\"0"); }},
        {{"system.reg"}, "system.reg", [&](ScratchRegistry &r) { return spoil(r, "system.reg", "\"2\"\n", "\"2"); }},
        {{"user.reg"}, "user.reg", [&](ScratchRegistry &r) { return spoil(r, "user.reg", "=\"pw\"", "=\"pw"); }},
        {{"system.reg", "user.reg"}, "system.reg",
         [](ScratchRegistry &r) {
             r.MakeHiveReadOnly("system.reg");
             r.MakeHiveReadOnly("user.reg");
             return std::string("because the file is not writable");
         }},
        {{"system.reg", "user.reg"}, "system.reg",
         [](ScratchRegistry &r) {
             std::filesystem::remove(r.File("system.reg"));
             std::filesystem::remove(r.File("user.reg"));
             return std::string("because the registry folder is not writable");
         }},
        {{}, "user.reg", [](ScratchRegistry &) {
             setenv("VANTOR_REGISTRY_READONLY", "user.reg", 1);
             return std::string("read-only, as requested");
         }},
    };
    for (const Row &row : rows) {
        ScratchRegistry registry;
        SetStoreText(PasswordValue, "pw");
        SetStoreText(ProtectionFlagValue, "0");
        SetProgramText("lastlang", "2");
        ASSERT_EQ(VtrRegFlushAll(), ERROR_SUCCESS);
        const std::string why = row.spoil(registry);
        SCOPED_TRACE(why);
        registry.Reload();
        const auto fileText = [&](const char *file) {
            return std::filesystem::exists(registry.File(file)) ? readFile(registry.File(file)) : std::string();
        };
        const std::string before = fileText(row.refusing);
        UnwritableFolder folder;
        folder.folder = why.find("folder") != std::string::npos ? registry.Path().string() : "";
        files::useFileSystem(&folder);
        const bool machine = row.refusing == std::string("system.reg");
        const RunRecord run = RunProgramWith({{FadedIn, [&] {
                                                   Form1->Edit2->setText(QStringLiteral("Software\\Vantor"));
                                                   Form1->Edit3->setText(QStringLiteral("v"));
                                                   (machine ? Form1->RadioButton3 : Form1->RadioButton2)->setChecked(true);
                                                   Form1->N6->trigger();
                                               }}});
        files::useFileSystem(nullptr);
        unsetenv("VANTOR_REGISTRY_READONLY");

        const auto path = [&](const char *file) { return QString::fromStdString(registry.File(file).string()); };
        ASSERT_GE(run.boxes.size(), row.told.size() + 1);
        for (size_t i = 0; i < row.told.size(); ++i) {
            EXPECT_TRUE(run.boxes[i].text.startsWith(QStringLiteral("Файл реестра ") + path(row.told[i]) + ' '));
            EXPECT_TRUE(run.boxes[i].text.contains(QString::fromStdString(why))) << run.boxes[i].text.toStdString();
        }
        const QStringList refusal = run.boxes[row.told.size()].text.split('\n');
        ASSERT_EQ(refusal.size(), 2);
        EXPECT_EQ(refusal[0], QStringLiteral("Failed to set data for 'v'"));
        EXPECT_TRUE(refusal[1].startsWith(path(row.refusing) + QStringLiteral(": read-only")));
        EXPECT_TRUE(refusal[1].contains(QString::fromStdString(why))) << refusal[1].toStdString();
        // Closing may be refused too: the last fields go to system.reg.
        for (size_t i = row.told.size() + 1; i < run.boxes.size(); ++i)
            EXPECT_TRUE(run.boxes[i].text.startsWith(QStringLiteral("Failed to set data for 'Path'\n")));
        EXPECT_LE(run.boxes.size(), row.told.size() + 2);
        EXPECT_EQ(fileText(row.refusing), before);
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
