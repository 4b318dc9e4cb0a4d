#include "ui/DvdFormatBox.h"

#include "app/DVDShowDlg.h"
#include "ui/UiText.h"

#include <QBoxLayout>
#include <QButtonGroup>
#include <QGroupBox>
#include <QRadioButton>

CDvdFormatBox::CDvdFormatBox(QWidget* parent, Arrangement arrangement) : QWidget(parent)
{
    setObjectName("dvdFormat");
    const bool row = arrangement == Arrangement::Row;
    auto* layout = new QBoxLayout(row ? QBoxLayout::LeftToRight : QBoxLayout::TopToBottom, this);
    layout->setContentsMargins(0, 0, 0, 0);

    // One group box of radio buttons that exclude each other.
    auto group = [this, layout](int titleKey, const char* name, QBoxLayout::Direction direction) {
        auto* box = new QGroupBox(T(titleKey), this);
        box->setObjectName(name);
        auto* column = new QBoxLayout(direction, box);
        auto* buttons = new QButtonGroup(box);
        layout->addWidget(box);
        return [this, box, column, buttons](const char* buttonName, int key, int tip) {
            auto* button = new QRadioButton(T(key), box);
            button->setObjectName(buttonName);
            if (tip) button->setToolTip(T(tip));
            column->addWidget(button);
            buttons->addButton(button);
            connect(button, &QRadioButton::toggled, this, [this](bool on) {
                if (on) emit Changed();
            });
            return button;
        };
    };
    const QBoxLayout::Direction down = QBoxLayout::TopToBottom;
    auto standard = group(113, "standardGroup", row ? down : QBoxLayout::LeftToRight);
    ntsc = standard("ntsc", 114, 200);
    pal = standard("pal", 115, 201);
    auto resolution = group(122, "resolutionGroup", down);
    const char* names[3] = {"resolutionHigh", "resolutionMedium", "resolutionLow"};
    for (int i = 0; i < 3; ++i) resolutions[i] = resolution(names[i], 0, 202 + i);
    auto aspect = group(123, "aspectGroup", down);
    aspect43 = aspect("aspect43", 124, 0);
    aspect169 = aspect("aspect169", 125, 0);
    if (row)
        for (QGroupBox* box : findChildren<QGroupBox*>()) static_cast<QBoxLayout*>(box->layout())->addStretch(1);

    connect(pal, &QRadioButton::toggled, this, &CDvdFormatBox::Relabel);
    Set(false, 0, false);
    Relabel();
}

void CDvdFormatBox::Set(bool palStandard, int resolution, bool wide)
{
    (palStandard ? pal : ntsc)->setChecked(true);
    resolutions[resolution == 0 || resolution == 1 ? resolution : 2]->setChecked(true);
    (wide ? aspect169 : aspect43)->setChecked(true);
}

bool CDvdFormatBox::Pal() const { return pal->isChecked(); }

int CDvdFormatBox::Resolution() const { return resolutions[0]->isChecked() ? 0 : resolutions[1]->isChecked() ? 1 : 2; }

bool CDvdFormatBox::Wide() const { return aspect169->isChecked(); }

void CDvdFormatBox::Relabel()
{
    const std::array<int, 3> keys = CDVDShowDlg::ResolutionKeys(Pal());
    for (size_t i = 0; i < 3; ++i) resolutions[i]->setText(T(keys[i]));
}
