// A stand-in for the Windows registry's machine-wide keys. Linux has no registry, so
// every read answers "not present" unless a value was put in first (tests do that to
// check what the program does with software found there).
#pragma once

#include <cstdint>
#include <map>
#include <string>

class CRegistry {
public:
    // Reads the 4-byte number `name` of key `key`; false when either is missing or the
    // value is not a number.
    bool ReadNumber(const std::string& key, const std::string& name, uint32_t& value) const;
    // Reads the text `name` of key `key`; false when either is missing or not a text.
    bool ReadString(const std::string& key, const std::string& name, std::string& value) const;

    void SetNumber(const std::string& key, const std::string& name, uint32_t value);
    void SetString(const std::string& key, const std::string& name, const std::string& value);
    // Removes every value.
    void Clear();

private:
    struct Value {
        bool isNumber = false;
        uint32_t number = 0;
        std::string text;
    };
    // Key names compare without regard to case, as Windows does.
    static std::string Fold(const std::string& key, const std::string& name);
    std::map<std::string, Value> values;
};

// The machine's registry stand-in: empty on Linux.
CRegistry& Registry();
