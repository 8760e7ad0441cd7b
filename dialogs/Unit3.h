// Placeholder window: a later change fills in its controls and handlers.
#pragma once

#include <QDialog>

class TForm3 : public QDialog {
    Q_OBJECT
public:
    explicit TForm3(QWidget *parent = nullptr);
};

extern TForm3 *Form3;
