#include "EKBErrors.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

namespace {

TEST(EKBErrors, FormatErrorCode)
{
    const std::vector<std::pair<std::int32_t, std::string>> rows = {
        {0, "WEK.00000: ??"},
        {1, "WEK.00001: no http object"},
        {2, "WEK.00002: http exception"},
        {3, "WEK.00003: cannot read XML from stream"},
        {4, "WEK.00004: invalid settings"},
        {5, "WEK.00005: common call error"},
        {6, "WEK.00006: request processing error"},
        {7, "WEK.00007: cannot load form definition from XML"},
        {8, "WEK.00008: ??"},
        {13, "WEK.00013: ??"},
        {99999, "WEK.99999: ??"},
        {123456, "WEK.23456: ??"},
        {-5, "WEK.000-5: ??"},
        {-1234, "WEK.-1234: ??"},
        {-12345, "WEK.12345: ??"},
        {INT32_MAX, "WEK.83647: ??"},
        {INT32_MIN, "WEK.83648: ??"},
    };
    for (const auto &[code, text] : rows)
        EXPECT_EQ(FormatErrorCode(code), text) << code;
}

TEST(EKBErrors, NewStackIsEmpty)
{
    TEKBErrorStack stack;
    EXPECT_EQ(stack.CurrentError(), 0);
    EXPECT_EQ(stack.ErrString(), "");
    EXPECT_EQ(stack.Count(), 0);
    EXPECT_THROW(stack.ErrorByOrd(1), EListError);
}

TEST(EKBErrors, MostRecentPushComesFirst)
{
    struct Row
    {
        std::vector<std::int32_t> pushes;
        std::int32_t current;
        std::string text;
    };
    const std::vector<Row> rows = {
        {{13, 7}, 7, FormatErrorCode(7) + "; " + FormatErrorCode(13)},
        {{0}, 0, ""},
        {{4, 0}, 4, FormatErrorCode(4)},
        {{0, 4, 0, 0}, 4, FormatErrorCode(4)},
        {{5, 5}, 5, FormatErrorCode(5) + "; " + FormatErrorCode(5)},
        {{1, 2, 3}, 3, FormatErrorCode(3) + "; " + FormatErrorCode(2) + "; " + FormatErrorCode(1)},
        {{-5}, -5, "WEK.000-5: ??"},
    };
    for (const auto &r : rows) {
        TEKBErrorStack stack;
        for (std::int32_t code : r.pushes)
            stack.Push(code);
        EXPECT_EQ(stack.CurrentError(), r.current);
        EXPECT_EQ(stack.ErrString(), r.text);
    }
}

TEST(EKBErrors, EntriesByOrdinalAndClear)
{
    TEKBErrorStack stack;
    stack.Push(13);
    stack.Push(7);
    ASSERT_EQ(stack.Count(), 2);
    EXPECT_EQ(stack.ErrorByOrd(1), 7);
    EXPECT_EQ(stack.ErrorByOrd(2), 13);
    stack.Clear();
    EXPECT_EQ(stack.CurrentError(), 0);
    stack.Push(9);
    EXPECT_EQ(stack.CurrentError(), 9);
}

} // namespace
