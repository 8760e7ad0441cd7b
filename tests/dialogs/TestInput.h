// Typing any text, Cyrillic included, as key presses on a widget.
#pragma once

#include <QLineEdit>
#include <QTest>

inline void TypeText(QWidget *widget, const QString &text)
{
    for (const QChar ch : text) {
        if (ch.unicode() < 0x80)
            QTest::keyClick(widget, ch.toLatin1());
        else
            QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(ch), Qt::NoModifier);
    }
}

// Replaces the field's text by typing.
inline void Retype(QLineEdit *field, const QString &text)
{
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Backspace);
    TypeText(field, text);
}
