// The "Select Language" dialog: the list of languages found, one to choose.
#pragma once

#include "base/Language.h"

#include <vector>

class QWidget;

// Shows the dialog over `parent` and returns the chosen entry's index; 0 (English) when
// the dialog is closed without a choice.
int AskLanguage(QWidget* parent, const std::vector<CLanguageEntry>& entries);
