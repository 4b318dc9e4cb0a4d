#include "cli/Commands.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

bool CArgs::Has(const std::string& name) const
{
    return options.count(name) > 0 || std::find(flags.begin(), flags.end(), name) != flags.end();
}

std::string CArgs::Get(const std::string& name, const std::string& fallback) const
{
    auto range = options.equal_range(name);
    if (range.first == range.second) return fallback;
    auto last = range.second;
    --last;
    return last->second;
}

std::vector<std::string> CArgs::GetAll(const std::string& name) const
{
    std::vector<std::string> values;
    auto range = options.equal_range(name);
    for (auto it = range.first; it != range.second; ++it) values.push_back(it->second);
    return values;
}

std::map<std::string, CCommand>& Commands()
{
    static std::map<std::string, CCommand> commands;
    return commands;
}

std::vector<CSlideshowOutput>& SlideshowOutputs()
{
    static std::vector<CSlideshowOutput> outputs;
    return outputs;
}

CCommandRegistrar::CCommandRegistrar(CCommand command)
{
    std::string name = command.name;
    Commands()[name] = std::move(command);
}

CCommandRegistrar::CCommandRegistrar(CSlideshowOutput output)
{
    auto& outputs = SlideshowOutputs();
    outputs.push_back(std::move(output));
    std::stable_sort(outputs.begin(), outputs.end(),
                     [](const CSlideshowOutput& a, const CSlideshowOutput& b) { return a.order < b.order; });
}

namespace {

// True for a word that is an option name ("--out"), never taken as another's value.
bool IsOption(const char* word) { return std::strncmp(word, "--", 2) == 0 && word[2] != '\0'; }

}  // namespace

bool ParseArgs(int argc, char** argv, int first, const std::vector<std::string>& valueOptions, CArgs& args,
               std::string& error)
{
    for (int i = first; i < argc; ++i) {
        std::string word = argv[i];
        if (word.size() > 2 && word.compare(0, 2, "--") == 0) {
            std::string value;
            bool hasInlineValue = false;
            size_t eq = word.find('=');
            if (eq != std::string::npos) {
                value = word.substr(eq + 1);
                word = word.substr(0, eq);
                hasInlineValue = true;
            }
            bool takesValue = std::find(valueOptions.begin(), valueOptions.end(), word) != valueOptions.end();
            if (takesValue) {
                if (!hasInlineValue) {
                    // A following option is not taken as the value: "--out --yes" lacks its folder.
                    if (i + 1 >= argc || IsOption(argv[i + 1])) {
                        error = "option " + word + " needs a value";
                        return false;
                    }
                    value = argv[++i];
                }
                args.options.emplace(word, value);
            } else {
                args.flags.push_back(word);
            }
        } else if (word == "-o") {
            if (i + 1 >= argc || IsOption(argv[i + 1])) {
                error = "option -o needs a value";
                return false;
            }
            args.options.emplace("-o", argv[++i]);
        } else {
            args.positional.push_back(word);
        }
    }
    return true;
}

std::vector<std::string> OptionsNamedIn(const std::string& text)
{
    std::vector<std::string> names;
    for (size_t at = text.find("--"); at != std::string::npos; at = text.find("--", at + 2)) {
        if (at > 0 && (std::isalnum(static_cast<unsigned char>(text[at - 1])) || text[at - 1] == '-')) continue;
        size_t end = at + 2;
        while (end < text.size() && (std::isalnum(static_cast<unsigned char>(text[end])) || text[end] == '-')) ++end;
        if (end > at + 2 && std::isalnum(static_cast<unsigned char>(text[at + 2])))
            names.push_back(text.substr(at, end - at));
    }
    return names;
}

bool RefuseUnknownOptions(const CArgs& args, const std::vector<std::string>& known, const std::string& command,
                          std::string& error)
{
    std::vector<std::string> given = args.flags;
    for (const auto& [name, value] : args.options) given.push_back(name);
    for (const std::string& name : given) {
        if (std::find(known.begin(), known.end(), name) != known.end()) continue;
        error = "unknown option " + name + " (see kestrova " + command + " --help)";
        return false;
    }
    return true;
}

int InternalError(std::exception_ptr failure, std::FILE* out)
{
    std::string what = "unknown exception";
    try {
        if (failure) std::rethrow_exception(failure);
    } catch (const std::exception& e) {
        what = e.what();
    } catch (...) {}
    std::fprintf(out, "kestrova: internal error: %s\n", what.c_str());
    std::fflush(out);
    return kInternalErrorExit;
}

int Fail(const std::string& message)
{
    std::fprintf(stderr, "kestrova: %s\n", message.c_str());
    return 1;
}
