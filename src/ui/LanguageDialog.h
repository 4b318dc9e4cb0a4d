// The "Select Language" dialog: the list of languages found, one to choose.
#pragma once

#include "base/Language.h"

#include <QDialog>

#include <vector>

class QListWidget;

class CLanguageDialog : public QDialog {
    Q_OBJECT
public:
    CLanguageDialog(QWidget* parent, const std::vector<CLanguageEntry>& entries);
    // The entry chosen (the highlighted one), 0 for English.
    int Chosen() const;

private:
    QListWidget* list;
};

// Shows the dialog over `parent` and returns the chosen entry's index; 0 (English) when
// the dialog is closed without a choice.
int AskLanguage(QWidget* parent, const std::vector<CLanguageEntry>& entries);
