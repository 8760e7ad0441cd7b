#include "ProgramFixture.h"

#include "ErrorReporting.h"
#include "PersistedState.h"
#include "Registry.h"
#include "Unit1.h"
#include "Unit2.h"
#include "Unit3.h"
#include "Unit4.h"
#include "Unit5.h"
#include "Unit6.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>


namespace {

template <typename Window>
void Destroy(Window *&window)
{
    delete window;
    window = nullptr;
}

} // namespace

void ProgramFixture::SetUp()
{
}

void ProgramFixture::TearDown()
{
    for (const ShownBox &box : boxes_.boxes)
        ADD_FAILURE() << "unexpected box: " << box.text.toStdString();
    if (running_)
        DestroyWindows();
}

void ProgramFixture::StartProgram()
{
    ASSERT_FALSE(running_);
    Form1 = new TForm1;
    AboutBox = new TAboutBox;
    Form3 = new TForm3;
    Form4 = new TForm4;
    Form5 = new TForm5;
    Form6 = new TForm6;
    running_ = true;
}

void ProgramFixture::DestroyWindows()
{
    Destroy(Form6);
    Destroy(Form5);
    Destroy(Form4);
    Destroy(Form3);
    Destroy(AboutBox);
    Destroy(Form1);
    running_ = false;
}

void ProgramFixture::EndProgram()
{
    ASSERT_TRUE(running_);
    Form1->close();
    QApplication::processEvents();
    DestroyWindows();
    // A new run reads the registry afresh from its files.
    registry_.Reload();
}

void ProgramFixture::Activate()
{
    Form1->FormActivate();
}

void WhenModalShown(std::function<void()> work)
{
    auto *poll = new QTimer(qApp);
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, work = std::move(work)] {
        if (!QApplication::activeModalWidget())
            return;
        poll->stop();
        poll->deleteLater();
        work();
    });
    poll->start();
}
