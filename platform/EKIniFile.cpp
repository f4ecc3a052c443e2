#include "EKIniFile.h"

#include "EKWin1250.h"

#include <fstream>
#include <sstream>

namespace {

bool SameText(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z')
            x = static_cast<unsigned char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<unsigned char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

std::string_view Trim(std::string_view s)
{
    size_t b = 0;
    size_t e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t'))
        ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t'))
        --e;
    return s.substr(b, e - b);
}

bool IsValidUtf8(std::string_view s)
{
    size_t i = 0;
    while (i < s.size()) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        size_t n;
        char32_t cp;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            n = 1;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            n = 2;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            n = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + n >= s.size())
            return false;
        for (size_t k = 1; k <= n; ++k) {
            unsigned char d = static_cast<unsigned char>(s[i + k]);
            if ((d & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (d & 0x3F);
        }
        if ((n == 1 && cp < 0x80) || (n == 2 && cp < 0x800) || (n == 3 && cp < 0x10000) ||
            cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += n + 1;
    }
    return true;
}

} // namespace

void TEKIniFile::LoadFromText(std::string_view text)
{
    FSections.clear();
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);
    std::string converted;
    if (!IsValidUtf8(text)) {
        converted = Win1250ToUtf8(text);
        text = converted;
    }
    Section *current = nullptr;
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = Trim(text.substr(pos, end - pos));
        pos = end + 1;
        if (line.empty() || line[0] == ';' || line[0] == '#')
            continue;
        if (line.front() == '[') {
            size_t close = line.find(']');
            std::string_view name =
                Trim(line.substr(1, close == std::string_view::npos ? line.size() - 1 : close - 1));
            current = nullptr;
            for (Section &s : FSections)
                if (SameText(s.Name, name))
                    current = &s;
            if (!current) {
                FSections.push_back(Section{std::string(name), {}});
                current = &FSections.back();
            }
            continue;
        }
        if (!current)
            continue; // lines before the first section belong to none
        Line entry;
        size_t eq = line.find('=');
        if (eq == std::string_view::npos) {
            entry.Key = std::string(line);
        } else {
            entry.Key = std::string(Trim(line.substr(0, eq)));
            entry.Value = std::string(Trim(line.substr(eq + 1)));
            entry.HasValue = true;
        }
        current->Lines.push_back(std::move(entry));
    }
}

bool TEKIniFile::LoadFromFile(const std::string &fileName)
{
    FSections.clear();
    std::ifstream in(fileName, std::ios::binary);
    if (!in)
        return false;
    std::ostringstream buffer;
    buffer << in.rdbuf();
    if (in.bad())
        return false;
    LoadFromText(buffer.str());
    return true;
}

const TEKIniFile::Section *TEKIniFile::FindSection(std::string_view name) const
{
    for (const Section &s : FSections)
        if (SameText(s.Name, name))
            return &s;
    return nullptr;
}

bool TEKIniFile::SectionExists(std::string_view section) const
{
    return FindSection(section) != nullptr;
}

bool TEKIniFile::ValueExists(std::string_view section, std::string_view key) const
{
    const Section *s = FindSection(section);
    if (!s)
        return false;
    for (const Line &l : s->Lines)
        if (l.HasValue && SameText(l.Key, key))
            return true;
    return false;
}

std::string TEKIniFile::ReadString(std::string_view section, std::string_view key,
                                   const std::string &def) const
{
    const Section *s = FindSection(section);
    if (!s)
        return def;
    for (const Line &l : s->Lines)
        if (l.HasValue && SameText(l.Key, key))
            return l.Value;
    return def;
}

std::vector<std::string> TEKIniFile::ReadSectionValues(std::string_view section) const
{
    std::vector<std::string> out;
    if (const Section *s = FindSection(section))
        for (const Line &l : s->Lines)
            out.push_back(l.HasValue ? l.Key + "=" + l.Value : l.Key);
    return out;
}

const std::vector<TEKIniFile::Line> *TEKIniFile::SectionLines(std::string_view section) const
{
    const Section *s = FindSection(section);
    return s ? &s->Lines : nullptr;
}
