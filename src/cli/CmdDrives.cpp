// `kestrova drives`: lists the DVD recorders of the machine (or the virtual recorder).
#include "cli/Commands.h"

#include "app/BurnJob.h"
#include "app/BurnSession.h"

#include <cstdio>

namespace {

int RunDrives(const CArgs& args)
{
    if (!args.positional.empty()) return Fail("drives takes no file names (see kestrova drives --help)");
    CBurnSession session;
    std::string error;
    if (!session.Open(args.Get("--virtual-recorder"), error)) return Fail(error);
    for (const std::string& note : session.Notes()) std::fprintf(stderr, "kestrova: note: %s\n", note.c_str());
    CBurner& burner = session.Burner();
    if (burner.EntryCount() == 0) {
        std::printf("%s\n", CBurnJob::kNoRecorder);
        return 0;
    }
    for (int i = 0; i < burner.EntryCount(); ++i)
        std::printf("%d: %s (%s)\n", i + 1, burner.Entry(i).name.c_str(), session.DevicePath(i).c_str());
    return 0;
}

CCommandRegistrar registrar(CCommand{"drives",
                                     "list the DVD recorders",
                                     "Usage: kestrova drives [--virtual-recorder IMAGE[:PROFILE]]\n\n"
                                     "Lists the DVD recorders found through sysfs (/dev/sr*), numbered as\n"
                                     "kestrova burn --drive takes them, or \"No DVD +-R/RW Drive Found!\".\n"
                                     "Drives that are busy, mounted or not open to this user are named on\n"
                                     "stderr.\n",
                                     {"--virtual-recorder"},
                                     RunDrives});

}  // namespace
