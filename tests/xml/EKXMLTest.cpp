#include "EKXML.h"

#include <gtest/gtest.h>

TEST(EKXML, FreshDocumentIsWrittenAsEmptyElement)
{
    TEKXML doc;
    doc.SetName("modules");
    EXPECT_EQ(doc.GetDocumentText(),
              "<?xml version=\"1.0\" encoding=\"windows-1250\" ?>\n<modules/>");
}
