// Placeholder: replaced by the 3D text control.
#pragma once

#include <QWidget>

class TText3D : public QWidget {
    Q_OBJECT
public:
    explicit TText3D(QWidget *parent = nullptr) : QWidget(parent) {}
};
