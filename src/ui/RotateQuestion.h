// The rotate question of the slide-show window: "Rotate the Selected Photos:" with a
// button for each of the three turns and Cancel.
#pragma once

#include <QDialog>

class CRotateQuestion : public QDialog {
    Q_OBJECT
public:
    explicit CRotateQuestion(QWidget* parent = nullptr);

    // Asks the question; returns the turn chosen (0 = 90 degrees clockwise, 1 = 180
    // degrees, 2 = 90 degrees counter-clockwise) or -1 when the person cancelled.
    static int Ask(QWidget* parent);

    // The turn chosen, -1 until a turn button is pressed.
    int Turn() const { return turn; }

private:
    int turn = -1;
};
