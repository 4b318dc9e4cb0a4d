// A core source that reaches for Qt.
#include <QString>
