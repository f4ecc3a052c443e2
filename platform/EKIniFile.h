#pragma once

#include <string>
#include <string_view>
#include <vector>

// Read-only INI file. Section and key names match case-insensitively; keys and
// values are trimmed of spaces and tabs; of duplicate keys in a section the
// first wins; sections of the same name are merged. Lines starting with ";"
// or "#" are comments. Sections keep their lines in file order.
class TEKIniFile
{
public:
    struct Line
    {
        std::string Key;
        std::string Value;
        bool HasValue = false; // the line had an "=" (a bare line has none)
    };

    TEKIniFile() = default;

    // Replaces the contents with the parsed text. The text is UTF-8; text that
    // is not valid UTF-8 is taken as windows-1250 (the code page of settings
    // files written by hand on the desktop). A leading byte order mark is skipped.
    void LoadFromText(std::string_view text);
    // Replaces the contents with the file; false (and empty contents) when the
    // file cannot be read.
    bool LoadFromFile(const std::string &fileName);

    bool SectionExists(std::string_view section) const;
    bool ValueExists(std::string_view section, std::string_view key) const;
    // The value of the first key of that name, or def when there is none.
    std::string ReadString(std::string_view section, std::string_view key,
                           const std::string &def) const;
    // Every line of the section in file order, as "key=value" (a bare line as
    // its key alone); empty for a missing section.
    std::vector<std::string> ReadSectionValues(std::string_view section) const;
    const std::vector<Line> *SectionLines(std::string_view section) const;

private:
    struct Section
    {
        std::string Name;
        std::vector<Line> Lines;
    };
    const Section *FindSection(std::string_view name) const;

    std::vector<Section> FSections;
};
