// The picture format of a DVD as every job window offers it: the video standard, the
// resolution and the aspect ratio as three groups of radio buttons. The resolutions are
// labelled with the picture sizes of the chosen standard and relabelled when it changes.
#pragma once

#include <QWidget>

class QRadioButton;

class CDvdFormatBox : public QWidget {
    Q_OBJECT
public:
    // Row: the three groups side by side. Stack: one above the other, the two standards
    // in a row (for a narrow side panel).
    enum class Arrangement { Row, Stack };

    CDvdFormatBox(QWidget* parent, Arrangement arrangement);

    // Checks the buttons of a format: resolution 0 High, 1 Medium, anything else Low.
    void Set(bool pal, int resolution, bool wide);
    bool Pal() const;
    // 0 High, 1 Medium, 2 Low.
    int Resolution() const;
    bool Wide() const;

signals:
    // Any of the three choices changed.
    void Changed();

private:
    void Relabel();

    QRadioButton* ntsc;
    QRadioButton* pal;
    QRadioButton* resolutions[3];
    QRadioButton* aspect43;
    QRadioButton* aspect169;
};
