#include "ui/LanguageDialog.h"

#include "ui/UiText.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

int AskLanguage(QWidget* parent, const std::vector<CLanguageEntry>& entries)
{
    QDialog dialog(parent);
    dialog.setObjectName("languageDialog");
    dialog.setWindowTitle(T(252));
    auto* layout = new QVBoxLayout(&dialog);
    auto* list = new QListWidget(&dialog);
    list->setObjectName("languageList");
    for (const CLanguageEntry& entry : entries) list->addItem(Q(entry.name));
    list->setCurrentRow(0);
    layout->addWidget(list);
    auto* buttons = new QDialogButtonBox(&dialog);
    buttons->addButton(T(100), QDialogButtonBox::AcceptRole);
    layout->addWidget(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(list, &QListWidget::itemDoubleClicked, &dialog, &QDialog::accept);
    dialog.resize(320, 280);
    if (dialog.exec() != QDialog::Accepted) return 0;
    return std::max(0, list->currentRow());
}
