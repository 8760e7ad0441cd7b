// Placeholder window: a later change fills in its controls and handlers.
#pragma once

#include <QDialog>

class TAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit TAboutBox(QWidget *parent = nullptr);
};

extern TAboutBox *AboutBox;
