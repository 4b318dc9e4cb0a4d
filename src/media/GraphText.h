// The graph description written to graph.txt: the filters of a decoding chain in order,
// each with its pins, and for every connected pin the pin at the other end.
#pragma once

#include <string>
#include <vector>

struct SGraphPin {
    unsigned id;
    std::string name;
    bool input;
    unsigned peer;  // 0: not connected
};
struct SGraphFilter {
    unsigned id;
    std::string name;
    std::vector<SGraphPin> pins;
};

// Collects the filters of a description in order and writes them out as text. Filters
// and pins get stable identifiers from a counter.
class CGraphText {
public:
    // A new identifier for a filter or pin.
    unsigned NewId() { return next += 0x10; }

    // Adds `filter` after those added so far.
    void Add(SGraphFilter filter) { filters.push_back(std::move(filter)); }

    // Adds a chain of one-input, one-output filters named `names`, the first fed from
    // the output pin `from` and the last feeding the input pin `into`. Returns the pin
    // that feeds `into` (`from` itself for an empty chain).
    unsigned AddChain(unsigned from, const std::vector<std::string>& names, unsigned into);

    // One line per filter and one per pin under it.
    std::string Text() const;

private:
    // Marks the pin `pin` of the filters so far as connected to `peer`.
    void Connect(unsigned pin, unsigned peer);

    std::vector<SGraphFilter> filters;
    unsigned next = 0x1000;
};
