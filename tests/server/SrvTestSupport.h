#pragma once

// A demo server over a fresh SQLite file, driven without a socket.

#include "EKCodecs.h"
#include "EKSrvHandler.h"
#include "EKSrvStore.h"
#include "EKWin1250.h"
#include "EKXML.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

inline std::string SrvTempDbPath(const std::string &tag)
{
    const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "_" + info->name() + "_" + tag;
    for (char &c : name)
        if (c == '/')
            c = '_';
    return ::testing::TempDir() + "wek_srv_" + std::to_string(getpid()) + "_" + name + ".sqlite";
}

class SrvFixture : public ::testing::Test
{
protected:
    // Small enough to seed in a blink, large enough for several chunks.
    virtual int ItemCount() const { return 1000; }

    void SetUp() override
    {
        FPath = SrvTempDbPath("db");
        std::remove(FPath.c_str());
        Restart();
    }
    void TearDown() override
    {
        FHandler.reset();
        FStore.reset();
        std::remove(FPath.c_str());
    }
    // A new store and handler over the same file: what a server restart keeps.
    void Restart()
    {
        FHandler.reset();
        FStore.reset();
        std::string error;
        FStore = TEKSrvStore::Open(FPath, error, ItemCount());
        ASSERT_TRUE(FStore) << error;
        FHandler = std::make_unique<TEKSrvHandler>(*FStore);
        FCookie.clear();
    }

    // Sends UTF-8 request text; the answer document (parse checked).
    std::unique_ptr<TEKXML> Call(const std::string &request)
    {
        const TEKSrvReply r = FHandler->HandleRequest(Utf8ToWin1250(request), FCookie);
        if (!r.SetCookie.empty())
            FCookie = r.SetCookie.substr(0, r.SetCookie.find(';'));
        auto doc = std::make_unique<TEKXML>();
        EXPECT_EQ(doc->LoadFromStream(r.Body), 0) << "not well-formed: " << r.Body;
        return doc;
    }

    static std::string Hex(const std::string &utf8)
    {
        return "0:" + BytesToHex(Utf8ToWin1250(utf8));
    }

    void Login(const std::string &user = "demo", const std::string &password = "demo")
    {
        auto doc = Call("<login><user>" + Hex(user) + "</user><password>" + Hex(password) +
                        "</password></login>");
        ASSERT_EQ(doc->Name(), "re_login");
        ASSERT_NE(doc->FindElement("sessionseq"), nullptr) << doc->GetXMLText();
    }

    // The code of an "error" answer, or -1 for any other root.
    static int ErrorCode(const TEKXML &doc)
    {
        if (doc.Name() != "error" || doc.ElementCount() < 2)
            return -1;
        return StrToInt(doc.ElementByOrd(1)->Text());
    }

    static std::string Action(int formId, int id, int instance, const std::string &values)
    {
        return "<action><moduleid>100</moduleid><id>" + std::to_string(id) + "</id><formid>" +
               std::to_string(formId) + "</formid><entityid>0</entityid><forminstance>" +
               std::to_string(instance) + "</forminstance><formvalues>" + values +
               "</formvalues></action>";
    }

    static std::string Item(int id, const std::string &type, const std::string &text)
    {
        if (text.empty())
            return "<item id=\"" + std::to_string(id) + "\" type=\"" + type + "\"/>";
        return "<item id=\"" + std::to_string(id) + "\" type=\"" + type + "\">" + text + "</item>";
    }

    static std::string GetData(int formId, int instance, bool reload)
    {
        return "<getdata moduleid=\"100\" formid=\"" + std::to_string(formId) +
               "\" entityid=\"0\" instance=\"" + std::to_string(instance) +
               "\" datagroupid=\"12\" reload=\"" + (reload ? "1" : "0") + "\"/>";
    }

    // Rows of a browse answer: cell texts by column position, CDATA removed.
    static std::vector<std::vector<std::string>> Rows(const TEKXML &doc)
    {
        std::vector<std::vector<std::string>> rows;
        const TEKXMLElement *def = doc.FindElement("xmlsetdef");
        const TEKXMLElement *data = doc.FindElement("xmlsetdata");
        EXPECT_TRUE(def && data) << doc.GetXMLText();
        if (!def || !data || data->IsLeaf())
            return rows;
        for (const TEKXMLElement *r : *data->Elements()) {
            std::vector<std::string> row(static_cast<size_t>(def->ElementCount()));
            if (!r->IsLeaf())
                for (const TEKXMLElement *c : *r->Elements())
                    row.at(static_cast<size_t>(StrToInt(c->GetAttribute("fldord")))) =
                        FromCDATA(c->Text());
            rows.push_back(row);
        }
        return rows;
    }

    // The post-action types of an action answer, in order.
    static std::vector<std::string> PostActionTypes(const TEKXML &doc)
    {
        std::vector<std::string> types;
        const TEKXMLElement *pa = doc.FindElement("postactions");
        if (pa && !pa->IsLeaf())
            for (const TEKXMLElement *e : *pa->Elements())
                types.push_back(e->GetAttribute("type"));
        return types;
    }

    std::string FPath;
    std::unique_ptr<TEKSrvStore> FStore;
    std::unique_ptr<TEKSrvHandler> FHandler;
    std::string FCookie;
};
