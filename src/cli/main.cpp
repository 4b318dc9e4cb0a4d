// kestrova: the command-line program. Runs every job without a window.
#include "cli/Commands.h"

#include "app/KestrovaApp.h"
#include "base/Language.h"
#include "cli/TerminalUi.h"
#include "platform/Folders.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <optional>
#include <string>

namespace {

void PrintHelp()
{
    std::printf("Usage: kestrova COMMAND [ARGUMENTS]\n\nCommands:\n");
    for (const auto& [name, command] : Commands()) std::printf("  %-12s %s\n", name.c_str(), command.summary.c_str());
    std::printf(
        "\nCommon options:\n"
        "  --help        help for a command (kestrova COMMAND --help)\n"
        "  --version     print the version\n"
        "  --yes, --no   answer every question Yes or No\n"
        "  --lang NAME   use the language NAME for this run\n");
}

// Every option a command accepts: those its help names (with the slide-show outputs'
// for "slideshow"), those taking a value, and the common ones.
std::vector<std::string> KnownOptions(const CCommand& command, const std::vector<std::string>& valueOptions)
{
    std::string help = command.usage;
    if (command.name == "slideshow")
        for (const auto& output : SlideshowOutputs()) help += output.usage;
    std::vector<std::string> known = OptionsNamedIn(help);
    known.insert(known.end(), valueOptions.begin(), valueOptions.end());
    known.insert(known.end(), {"--help", "--yes", "--no", "--lang"});
    if (help.find(" -o ") != std::string::npos) known.push_back("-o");
    return known;
}

// Commands that only look (at drives or a media file) start without the start-up, and
// sysinfo runs a fuller one of its own; every other command makes something.
bool NeedsStartUp(const std::string& command)
{
    return command != "drives" && command != "media" && command != "sysinfo";
}

// The last resort for an exception that escaped everything, also on another thread:
// one line instead of an abort.
[[noreturn]] void OnTerminate() { std::_Exit(InternalError(std::current_exception(), stderr)); }

int RunCommand(int argc, char** argv)
{
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        PrintHelp();
        return argc < 2 ? 2 : 0;
    }
    if (std::strcmp(argv[1], "--version") == 0) {
        std::printf("kestrova %s\n", KESTROVA_VERSION_TEXT);
        return 0;
    }

    auto it = Commands().find(argv[1]);
    if (it == Commands().end()) return Fail(std::string("unknown command '") + argv[1] + "' (see kestrova --help)");
    const CCommand& command = it->second;

    std::vector<std::string> valueOptions = command.valueOptions;
    valueOptions.push_back("--lang");
    if (command.name == "slideshow") {
        for (const auto& output : SlideshowOutputs()) {
            valueOptions.push_back(output.option);
            valueOptions.insert(valueOptions.end(), output.valueOptions.begin(), output.valueOptions.end());
        }
    }
    CArgs args;
    std::string error;
    if (!ParseArgs(argc, argv, 2, valueOptions, args, error))
        return Fail(error + " (see kestrova " + command.name + " --help)");
    if (!RefuseUnknownOptions(args, KnownOptions(command, valueOptions), command.name, error)) return Fail(error);
    if (args.Has("--help")) {
        std::printf("%s", command.usage.c_str());
        if (command.name == "slideshow")
            for (const auto& output : SlideshowOutputs()) std::printf("%s", output.usage.c_str());
        return 0;
    }

    // The remembered language (or the locale's), and --lang for this run only.
    ChooseLanguage(CFolders::Data(), CFolders::Config());
    if (args.Has("--lang") && !SelectLanguageForRun(args.Get("--lang"))) {
        std::string names;
        for (const auto& entry : LanguageList()) names += (names.empty() ? "" : ", ") + entry.name;
        return Fail("unknown language '" + args.Get("--lang") + "' (available: " + names + ")");
    }

    CTerminalUi::Answers answers = CTerminalUi::Answers::Safe;
    if (args.Has("--yes"))
        answers = CTerminalUi::Answers::Yes;
    else if (args.Has("--no"))
        answers = CTerminalUi::Answers::No;
    CTerminalUi ui(answers);
    CUiScope scope(ui);
    CTerminalUi::InstallInterruptHandler();
    // The program's start-up: folders, remembered folders, recorders and the system
    // report. The application object lives until the command ends, so the jobs add their
    // notes to the same log.
    std::optional<CKestrovaApp> app;
    if (NeedsStartUp(command.name)) {
        app.emplace();
        app->StartCommandLine();
    }
    const int status = command.run(args);
    // A run ended by a second interrupt reports the interrupt's status.
    return status != 0 && CTerminalUi::StopWasRequested() ? 130 : status;
}

}  // namespace

int main(int argc, char** argv)
{
    std::set_terminate(OnTerminate);
    try {
        return RunCommand(argc, argv);
    } catch (...) {
        return InternalError(std::current_exception(), stderr);
    }
}
