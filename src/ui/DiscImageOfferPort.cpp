#include "ui/DiscImageOfferPort.h"

#include "base/Texts.h"

std::string CDiscImageOfferPort::OfferText()
{
    return "\nBurning is not available in this version yet: Yes opens the disc image window, which writes "
           "this DVD folder into an ISO image file that any burning program can write to a disc.";
}

MsgAnswer CDiscImageOfferPort::MessageBox(const std::string& text, const std::string& caption, MsgButtons buttons,
                                          MsgIcon icon)
{
    if (caption == Text(423) && buttons == MsgButtons::YesNo)
        return inner.MessageBox(text + OfferText(), caption, buttons, icon);
    return inner.MessageBox(text, caption, buttons, icon);
}

std::unique_ptr<CProgressWindow> CDiscImageOfferPort::OpenProgress(const std::string& title, const std::string& body,
                                                                   bool visible)
{
    return inner.OpenProgress(title, body, visible);
}

std::optional<std::string> CDiscImageOfferPort::ChooseFolder(const std::string& title, const std::string& start)
{
    return inner.ChooseFolder(title, start);
}

void CDiscImageOfferPort::PlaySoundFile(const std::string& path) { inner.PlaySoundFile(path); }

bool CDiscImageOfferPort::StopRequested() { return inner.StopRequested(); }
