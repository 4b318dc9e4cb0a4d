// Texts for the windows: the message text of a key as Qt wants it, the two string
// conversions every window needs, and the OK/Cancel buttons every dialog has.
#pragma once

#include <QDialogButtonBox>
#include <QString>
#include <string>

// The text of message `key` (translated when a language is chosen), with the "||" line
// breaks as plain line feeds.
QString T(int key);
// UTF-8 text of the core as a QString, and back.
QString Q(const std::string& text);
std::string S(const QString& text);

// The "OK" and "Cancel" buttons of `dialog` (named "ok" and "cancel"), wired to accept
// and reject it; the caller places the box in its layout.
QDialogButtonBox* OkCancelButtons(QDialog& dialog);
