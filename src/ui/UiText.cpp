#include "ui/UiText.h"

#include "base/Texts.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QPushButton>

QString T(int key) { return Q(Text(key)); }

QString Q(const std::string& text)
{
    QString result = QString::fromUtf8(text.data(), qsizetype(text.size()));
    // The core's line breaks are "\n\r" (and "\r\n" from files); Qt wants "\n" alone.
    result.replace(QStringLiteral("\n\r"), QStringLiteral("\n"));
    result.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return result;
}

std::string S(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    return std::string(bytes.constData(), size_t(bytes.size()));
}

QDialogButtonBox* OkCancelButtons(QDialog& dialog)
{
    auto* buttons = new QDialogButtonBox(&dialog);
    buttons->addButton(T(100), QDialogButtonBox::AcceptRole)->setObjectName("ok");
    buttons->addButton(T(101), QDialogButtonBox::RejectRole)->setObjectName("cancel");
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    return buttons;
}
