#include "cli/Commands.h"

#include <algorithm>
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
                    if (i + 1 >= argc) {
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
            if (i + 1 >= argc) {
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

int Fail(const std::string& message)
{
    std::fprintf(stderr, "kestrova: %s\n", message.c_str());
    return 1;
}
