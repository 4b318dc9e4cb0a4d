// Texts for the windows: the message text of a key as Qt wants it, and the two string
// conversions every window needs.
#pragma once

#include <QString>
#include <string>

// The text of message `key` (translated when a language is chosen), with the "||" line
// breaks as plain line feeds.
QString T(int key);
// UTF-8 text of the core as a QString, and back.
QString Q(const std::string& text);
std::string S(const QString& text);
