#pragma once

// A settings folder of one test's own: $XDG_CONFIG_HOME points into a fresh
// temporary folder while the object lives, and the folder goes with it.

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

class PrivateSettings {
public:
    PrivateSettings()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "zimbrel-settings-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr)
            fRoot = pattern;
        if (const char* previous = std::getenv("XDG_CONFIG_HOME"))
            fPrevious = previous;
        Use(fRoot);
    }

    ~PrivateSettings()
    {
        if (fPrevious)
            ::setenv("XDG_CONFIG_HOME", fPrevious->c_str(), 1);
        else
            ::unsetenv("XDG_CONFIG_HOME");
        std::error_code ignored;
        std::filesystem::remove_all(fRoot, ignored);
    }

    PrivateSettings(const PrivateSettings&) = delete;
    PrivateSettings& operator=(const PrivateSettings&) = delete;

    // Points $XDG_CONFIG_HOME at `config`, which should lie inside Root().
    void Use(const std::string& config) { ::setenv("XDG_CONFIG_HOME", config.c_str(), 1); }

    const std::string& Root() const { return fRoot; }
    // Where the program keeps its presets while Root() is the settings.
    std::string PresetFolder() const { return fRoot + "/Zimbrel2"; }

private:
    std::string fRoot;
    std::optional<std::string> fPrevious;
};
