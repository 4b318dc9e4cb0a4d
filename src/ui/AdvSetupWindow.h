// The "Advanced Setting" window over CAdvSetupDlg: audio compression, the quantiser
// matrices with their two presets, the target disc size with its three presets, the
// audio/video delays and the starting footage number.
#pragma once

#include <QDialog>

#include "app/AdvSetupDlg.h"
class QCheckBox;
class QLineEdit;
class QPlainTextEdit;
class QSpinBox;

class CAdvSetupWindow : public QDialog {
    Q_OBJECT
public:
    // Shows the values of `values`; OK writes the edited values back into it.
    CAdvSetupWindow(QWidget* parent, CAdvSetupDlg& values);

    void accept() override;

private:
    void ShowValues();

    CAdvSetupDlg& target;  // written on OK only
    CAdvSetupDlg values;  // what the window shows, presets included
    QCheckBox* compress;
    QCheckBox* highQuality;
    QPlainTextEdit* intra;
    QPlainTextEdit* inter;
    QLineEdit* discSize;
    QSpinBox* audioDelay;
    QSpinBox* videoDelay;
    QSpinBox* footage;
};
