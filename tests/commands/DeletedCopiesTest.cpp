// The copies "Delete key" (F5) and "Delete value" (F4) keep before they
// delete: made through the real window, brought back by importing them.
#include "CommandsSupport.h"
#include "RegFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <memory>

class DeletedCopiesTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void deletedCopyBringsBackWhatWasDeleted_data();
    void deletedCopyBringsBackWhatWasDeleted();
    void unwritableCopyFolderRefusesTheDelete_data();
    void unwritableCopyFolderRefusesTheDelete();
    void refusedDeleteLeavesNoCopy_data();
    void refusedDeleteLeavesNoCopy();

private:
    std::unique_ptr<ScratchRegistry> registry_;
    std::unique_ptr<TForm1> form_;
};

namespace {

const std::string Parent = "Software\\Копии";
const std::string Doomed = Parent + "\\Ключ 中文";

// Three levels of subkeys below the doomed key, and a value of every type.
void MakeTree()
{
    const std::string levels[] = {Doomed, Doomed + "\\Один", Doomed + "\\Один\\Два", Doomed + "\\Один\\Два\\Три"};
    for (const std::string &key : levels) {
        PutText(HKEY_CURRENT_USER, key, "Текст 😀", "значение 🎉 " + key);
        PutText(HKEY_CURRENT_USER, key, "", "по умолчанию");
        PutValue(HKEY_CURRENT_USER, key, "expand", REG_EXPAND_SZ, std::string("%PATH%;ß\0", 10));
        PutValue(HKEY_CURRENT_USER, key, "multi", REG_MULTI_SZ, std::string("один\0два\0\0", 16));
        PutDword(HKEY_CURRENT_USER, key, "dword", 0xDEADBEEF);
        PutValue(HKEY_CURRENT_USER, key, "qword", REG_QWORD, std::string("\x01\x02\x03\x04\x05\x06\x07\x08", 8));
        PutValue(HKEY_CURRENT_USER, key, "binary", REG_BINARY, std::string("\x00\xff\x10", 3));
        PutValue(HKEY_CURRENT_USER, key, "big-endian", REG_DWORD_BIG_ENDIAN, std::string("\x00\x00\x00\x07", 4));
        PutValue(HKEY_CURRENT_USER, key, "none", REG_NONE, std::string("\x61\x00", 2));
        PutValue(HKEY_CURRENT_USER, key, "odd type", 0x12345, std::string("\xab", 1));
    }
}

// The key with everything below it, as .reg text: equal text, equal tree.
std::string Snapshot(const std::string &path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return "(missing)";
    const std::string text = regfile::ExportKey(key, "HKEY_CURRENT_USER\\" + path, regfile::Format::Unicode);
    RegCloseKey(key);
    return text;
}

QStringList CopiesMade()
{
    const QDir folder(qEnvironmentVariable("XDG_STATE_HOME") + "/vantor/deleted");
    QStringList paths;
    // A copy may hold a password: one that others may read is told apart.
    for (const QString &name : folder.entryList({"*.reg"}, QDir::Files)) {
        const bool private_ = !(QFileInfo(folder.filePath(name)).permissions() & (QFile::ReadGroup | QFile::ReadOther));
        paths << folder.filePath(name) + (private_ ? "" : " (others may read it)");
    }
    return paths;
}

} // namespace

void DeletedCopiesTest::init()
{
    registry_ = std::make_unique<ScratchRegistry>();
    form_ = std::make_unique<TForm1>();
    ShowAndActivate(*form_);
    MakeTree();
    QTest::mouseClick(form_->RadioButton2, Qt::LeftButton);
}

void DeletedCopiesTest::cleanup()
{
    form_.reset();
    registry_.reset();
}

void DeletedCopiesTest::deletedCopyBringsBackWhatWasDeleted_data()
{
    QTest::addColumn<int>("command");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("name");
    QTest::addRow("F5 on a key") << int(cmDeleteKey) << QString::fromStdString(Parent)
                                 << QString::fromStdString(Doomed.substr(Parent.size() + 1));
    QTest::addRow("F4 on a value") << int(cmDeleteValue) << QString::fromStdString(Doomed + "\\Один")
                                   << QStringLiteral("multi");
}

void DeletedCopiesTest::deletedCopyBringsBackWhatWasDeleted()
{
    QFETCH(int, command);
    QFETCH(QString, path);
    QFETCH(QString, name);
    const std::string before = Snapshot(Doomed);
    Type(form_->Edit2, path);
    Type(form_->Edit3, name);
    QCOMPARE(form_->Edit3->text(), name);
    Run(*form_, static_cast<TCommand>(command), trKey);
    QVERIFY(Snapshot(Doomed) != before);

    const QStringList copies = CopiesMade();
    QCOMPARE(copies.size(), 1);
    QVERIFY(copies.front().contains("HKEY_CURRENT_USER_Software_Копии_Ключ"));
    const regfile::ImportReport report = regfile::Import(regfile::ReadFile(copies.front().toStdString()));
    QVERIFY(report.complete());
    QCOMPARE(Snapshot(Doomed), before);
}

void DeletedCopiesTest::unwritableCopyFolderRefusesTheDelete_data()
{
    deletedCopyBringsBackWhatWasDeleted_data();
}

void DeletedCopiesTest::unwritableCopyFolderRefusesTheDelete()
{
    QFETCH(int, command);
    QFETCH(QString, path);
    QFETCH(QString, name);
    // A file where the folder should be: not even root can make it.
    const QString blocked = QString::fromStdString((registry_->Path() / "blocked").string());
    QFile file(blocked);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    qputenv("XDG_STATE_HOME", blocked.toUtf8());
    const std::string before = Snapshot(Doomed);
    BoxRecorder recorder;
    Type(form_->Edit2, path);
    Type(form_->Edit3, name);
    Run(*form_, static_cast<TCommand>(command), trKey);

    QCOMPARE(recorder.boxes.size(), std::size_t(1));
    QVERIFY(recorder.boxes.front().text.contains("Not a directory"));
    QCOMPARE(Snapshot(Doomed), before);
}

void DeletedCopiesTest::refusedDeleteLeavesNoCopy_data()
{
    deletedCopyBringsBackWhatWasDeleted_data();
}

void DeletedCopiesTest::refusedDeleteLeavesNoCopy()
{
    QFETCH(int, command);
    QFETCH(QString, path);
    QFETCH(QString, name);
    QCOMPARE(VtrRegSetReadOnly("user.reg", TRUE), ERROR_SUCCESS);
    BoxRecorder recorder;
    Type(form_->Edit2, path);
    Type(form_->Edit3, name);
    Run(*form_, static_cast<TCommand>(command), trKey);
    QCOMPARE(VtrRegSetReadOnly("user.reg", FALSE), ERROR_SUCCESS);
    QCOMPARE(CopiesMade(), QStringList());
}

VANTOR_TEST_MAIN(DeletedCopiesTest)
#include "DeletedCopiesTest.moc"
