#include "media/GraphText.h"

#include <cstdio>

unsigned CGraphText::AddChain(unsigned from, const std::vector<std::string>& names, unsigned into)
{
    unsigned prevOut = from;
    for (const std::string& name : names) {
        SGraphFilter filter{NewId(), name, {}};
        const unsigned in = NewId(), out = NewId();
        filter.pins.push_back({in, "Input", true, prevOut});
        Connect(prevOut, in);
        filter.pins.push_back({out, "Output", false, 0});
        filters.push_back(std::move(filter));
        prevOut = out;
    }
    Connect(prevOut, into);
    return prevOut;
}

std::string CGraphText::Text() const
{
    std::string text;
    char line[512];
    for (const auto& f : filters) {
        std::snprintf(line, sizeof line, "    Filter [%x]  '%s'\n", f.id, f.name.c_str());
        text += line;
        for (const auto& p : f.pins) {
            if (p.peer)
                std::snprintf(line, sizeof line, "          Pin [%x]  '%s' [%sput]  Connected to pin [%x]\n", p.id,
                              p.name.c_str(), p.input ? "In" : "Out", p.peer);
            else
                std::snprintf(line, sizeof line, "          Pin [%x]  '%s' [%sput]\n", p.id, p.name.c_str(),
                              p.input ? "In" : "Out");
            text += line;
        }
    }
    return text;
}

void CGraphText::Connect(unsigned pin, unsigned peer)
{
    for (auto& f : filters)
        for (auto& p : f.pins)
            if (p.id == pin) p.peer = peer;
}
