// Windows of this program that are being written: each opens a notice until its own
// source file replaces the definition here.
#include "ui/QtUiPort.h"
#include "ui/Windows.h"

namespace {
void NotYet(const char* what)
{
    GuiPort().MessageBox(std::string(what) + " is not part of this build yet.", "Kestrova", MsgButtons::Ok,
                         MsgIcon::Information);
}
}  // namespace

QWidget* OpenVideoWindow(QWidget*)
{
    NotYet("The video window");
    return nullptr;
}
