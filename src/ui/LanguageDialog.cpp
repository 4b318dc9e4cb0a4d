#include "ui/LanguageDialog.h"

#include "ui/UiText.h"

#include <QDialogButtonBox>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

CLanguageDialog::CLanguageDialog(QWidget* parent, const std::vector<CLanguageEntry>& entries) : QDialog(parent)
{
    setObjectName("languageDialog");
    setWindowTitle(T(252));
    auto* layout = new QVBoxLayout(this);
    list = new QListWidget(this);
    list->setObjectName("languageList");
    for (const CLanguageEntry& entry : entries) list->addItem(Q(entry.name));
    list->setCurrentRow(0);
    layout->addWidget(list);
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(T(100), QDialogButtonBox::AcceptRole);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(list, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
    resize(320, 280);
}

int CLanguageDialog::Chosen() const { return std::max(0, list->currentRow()); }

int AskLanguage(QWidget* parent, const std::vector<CLanguageEntry>& entries)
{
    CLanguageDialog dialog(parent, entries);
    if (dialog.exec() != QDialog::Accepted) return 0;
    return dialog.Chosen();
}
