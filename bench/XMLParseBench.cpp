// The XML reader on data-set answers of 1 MB and 20 MB, against two DOM
// parsers measured on the same bytes in the same run: pugixml (default flags)
// and libxml2 (xmlReadMemory). Each iteration builds and destroys one tree.
//
// Counters: "peak_per_input_byte" is the peak of the bytes the parser held
// while reading and holding the tree, divided by the input size (allocations
// counted through operator new for ours, through the libraries' allocator
// hooks for the others); "allocations" is the number of allocations of one read.

#include "EKBenchData.h"
#include "EKBenchMemory.h"
#include "EKXML.h"

#include <benchmark/benchmark.h>
#include <libxml/parser.h>
#include <libxml/xmlmemory.h>
#include <pugixml.hpp>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <malloc.h>
#include <new>
#include <string>

namespace {

using namespace EKBenchMemory;

const std::string &Answer(std::size_t megabytes)
{
    static const std::string one = EKBenchData::MakeDataSetAnswer(1u << 20);
    static const std::string twenty = EKBenchData::MakeDataSetAnswer(20u << 20);
    return megabytes == 1 ? one : twenty;
}

struct Ours
{
    static bool Parse(const std::string &bytes)
    {
        TEKXML doc;
        bool ok = doc.LoadFromStream(bytes) == 0;
        benchmark::DoNotOptimize(doc.Elements());
        return ok;
    }
};

struct Pugi
{
    static bool Parse(const std::string &bytes)
    {
        pugi::xml_document doc;
        bool ok = doc.load_buffer(bytes.data(), bytes.size());
        benchmark::DoNotOptimize(doc.first_child());
        return ok;
    }
};

struct LibXml2
{
    static bool Parse(const std::string &bytes)
    {
        xmlDocPtr doc = xmlReadMemory(bytes.data(), static_cast<int>(bytes.size()), "answer.xml",
                                      nullptr, XML_PARSE_NONET | XML_PARSE_HUGE);
        benchmark::DoNotOptimize(doc);
        bool ok = doc != nullptr;
        xmlFreeDoc(doc);
        return ok;
    }
};

template <class Parser> void BM_Parse(benchmark::State &state, std::size_t megabytes)
{
    const std::string &bytes = Answer(megabytes);
    for (auto _ : state) {
        if (!Parser::Parse(bytes)) {
            state.SkipWithError("parse failed");
            return;
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(bytes.size()));
    // One more read to measure its memory.
    long long before = gLive.load();
    long long countBefore = gCount.load();
    gPeak = before;
    Parser::Parse(bytes);
    state.counters["peak_per_input_byte"] =
        static_cast<double>(gPeak.load() - before) / static_cast<double>(bytes.size());
    state.counters["allocations"] = static_cast<double>(gCount.load() - countBefore);
    state.counters["input_MB"] = static_cast<double>(bytes.size()) / (1 << 20);
}

void RegisterAll()
{
    for (std::size_t mb : {std::size_t(1), std::size_t(20)}) {
        std::string size = std::to_string(mb) + "MB";
        benchmark::RegisterBenchmark(("Parse/ours/" + size).c_str(), BM_Parse<Ours>, mb)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("Parse/pugixml/" + size).c_str(), BM_Parse<Pugi>, mb)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("Parse/libxml2/" + size).c_str(), BM_Parse<LibXml2>, mb)
            ->Unit(benchmark::kMillisecond);
    }
}

} // namespace

int main(int argc, char **argv)
{
    pugi::set_memory_management_functions(CountingMalloc, CountingFree);
    xmlMemSetup(CountingFree, CountingMalloc, CountingRealloc, CountingStrdup);
    xmlInitParser();
    RegisterAll();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    xmlCleanupParser();
    return 0;
}
