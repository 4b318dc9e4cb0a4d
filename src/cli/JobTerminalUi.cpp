#include "cli/JobTerminalUi.h"

#include "base/Texts.h"
#include "cli/Commands.h"
#include "platform/Folders.h"

#include <unistd.h>

#include <cstdio>

MsgAnswer CJobTerminalUi::MessageBox(const std::string& text, const std::string& caption, MsgButtons buttons,
                                     MsgIcon icon)
{
    if (caption == Text(423) && buttons == MsgButtons::YesNo) {
        if (burn) return MsgAnswer::Yes;
        std::fprintf(stderr,
                     "Burn it with\n"
                     "  kestrova burn %s\n"
                     "or make a disc image with\n"
                     "  kestrova iso %s -o IMAGE.iso\n",
                     dvdRoot.c_str(), dvdRoot.c_str());
        return MsgAnswer::No;
    }
    return inner.MessageBox(text, caption, buttons, icon);
}

CTerminalUi::Answers JobAnswers(const CArgs& args)
{
    if (args.Has("--yes")) return CTerminalUi::Answers::Yes;
    if (args.Has("--no")) return CTerminalUi::Answers::No;
    if (isatty(STDIN_FILENO) && isatty(STDERR_FILENO)) return CTerminalUi::Answers::Ask;
    return CTerminalUi::Answers::Safe;
}

std::filesystem::path OutputVideoTs(const CArgs& args)
{
    const std::string out = args.Get("--out");
    std::filesystem::path videoTs =
        out.empty() ? std::filesystem::path(CFolders::DefaultDvdFolder()) : std::filesystem::path(out);
    if (videoTs.filename().empty()) videoTs = videoTs.parent_path();
    if (videoTs.filename() != "VIDEO_TS") videoTs /= "VIDEO_TS";
    return videoTs;
}
