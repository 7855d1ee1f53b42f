// Test helpers of the international tests: the text of a string, and a scope that sets
// environment variables (the language and locale variables the platform reads) and puts them
// back.
#pragma once

#include "kernel/text/VString.h"

#include <cstdlib>
#include <initializer_list>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kova
{

inline std::u16string Text(const VString& inString)
{
    return std::u16string(inString.GetCPointer(), size_t(inString.GetLength()));
}

class StEnvironment
{
public:
    // A null value unsets the variable.
    StEnvironment(std::initializer_list<std::pair<const char*, const char*>> inVariables)
    {
        for (const auto& [name, value] : inVariables)
        {
            const char* saved = std::getenv(name);
            fSaved.emplace_back(name, saved != nullptr ? std::optional<std::string>(saved) : std::nullopt);
            Set(name, value);
        }
    }
    ~StEnvironment()
    {
        for (auto saved = fSaved.rbegin(); saved != fSaved.rend(); ++saved)
            Set(saved->first.c_str(), saved->second ? saved->second->c_str() : nullptr);
    }
    StEnvironment(const StEnvironment&) = delete;
    StEnvironment& operator=(const StEnvironment&) = delete;

private:
    static void Set(const char* inName, const char* inValue)
    {
        if (inValue != nullptr)
            setenv(inName, inValue, 1);
        else
            unsetenv(inName);
    }

    std::vector<std::pair<std::string, std::optional<std::string>>> fSaved;
};

} // namespace kova
