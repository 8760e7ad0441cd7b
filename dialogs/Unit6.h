// Placeholder window: a later change fills in its controls and handlers.
#pragma once

#include <QDialog>

class TForm6 : public QDialog {
    Q_OBJECT
public:
    explicit TForm6(QWidget *parent = nullptr);
};

extern TForm6 *Form6;
