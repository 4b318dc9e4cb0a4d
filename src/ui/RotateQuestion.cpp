#include "ui/RotateQuestion.h"

#include "ui/UiText.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

CRotateQuestion::CRotateQuestion(QWidget* parent) : QDialog(parent)
{
    setObjectName("rotateQuestion");
    setWindowTitle(T(8001));
    auto* layout = new QVBoxLayout(this);
    auto* label = new QLabel(T(8002), this);
    label->setObjectName("rotateLabel");
    layout->addWidget(label);
    auto* buttons = new QHBoxLayout;
    const char* names[3] = {"rotateClockwise", "rotate180", "rotateCounterClockwise"};
    for (int i = 0; i < 3; ++i) {
        auto* button = new QPushButton(T(8003 + i), this);
        button->setObjectName(names[i]);
        connect(button, &QPushButton::clicked, this, [this, i] {
            turn = i;
            accept();
        });
        buttons->addWidget(button);
    }
    auto* cancel = new QPushButton(T(101), this);
    cancel->setObjectName("rotateCancel");
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
}

int CRotateQuestion::Ask(QWidget* parent)
{
    CRotateQuestion question(parent);
    return question.exec() == QDialog::Accepted ? question.Turn() : -1;
}
