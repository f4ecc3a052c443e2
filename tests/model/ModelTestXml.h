#pragma once

#include "EKXML.h"

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>

// A document read through the real reader; the text must be well formed.
inline std::unique_ptr<TEKXML> ParseXml(std::string_view text)
{
    auto doc = std::make_unique<TEKXML>();
    EXPECT_EQ(doc->LoadFromStream(text), 0) << "fixture does not parse: " << text;
    return doc;
}

// A fixture file of tests/data/model.
inline std::unique_ptr<TEKXML> ParseXmlFile(const std::string &name)
{
    std::ifstream in(std::string(WEK_TEST_DATA) + "/model/" + name, std::ios::binary);
    EXPECT_TRUE(in.good()) << "missing fixture " << name;
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return ParseXml(bytes.str());
}

constexpr std::string_view kXmlDecl = "<?xml version=\"1.0\" encoding=\"windows-1250\" ?>\n";
