#include "platform/Registry.h"

#include <cctype>

std::string CRegistry::Fold(const std::string& key, const std::string& name)
{
    std::string folded = key + '\x01' + name;
    for (char& c : folded) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return folded;
}

bool CRegistry::ReadNumber(const std::string& key, const std::string& name, uint32_t& value) const
{
    auto found = values.find(Fold(key, name));
    if (found == values.end() || !found->second.isNumber) return false;
    value = found->second.number;
    return true;
}

bool CRegistry::ReadString(const std::string& key, const std::string& name, std::string& value) const
{
    auto found = values.find(Fold(key, name));
    if (found == values.end() || found->second.isNumber) return false;
    value = found->second.text;
    return true;
}

void CRegistry::SetNumber(const std::string& key, const std::string& name, uint32_t value)
{
    Value& slot = values[Fold(key, name)];
    slot.isNumber = true;
    slot.number = value;
    slot.text.clear();
}

void CRegistry::SetString(const std::string& key, const std::string& name, const std::string& value)
{
    Value& slot = values[Fold(key, name)];
    slot.isNumber = false;
    slot.number = 0;
    slot.text = value;
}

void CRegistry::Clear() { values.clear(); }

CRegistry& Registry()
{
    static CRegistry machine;
    return machine;
}
