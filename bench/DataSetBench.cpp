// The whole road of a data answer into a browse grid: the bytes are read into
// a tree (TEKXML::LoadFromStream), the columns defined (LoadDefinition), the
// rows loaded into the in-memory data set (LoadRows), and every cell fetched
// through the table model's data() as a grid would paint it. Answers: the
// 20 MB data-set answer of the XML benchmark and one of 100,000 rows.
//
// The yardstick is the reading of the same bytes into a tree, timed in the
// same iterations. Counters:
//   read_ms, define_rows_ms, scan_ms  each stage, per iteration
//   whole_per_read                    the whole road divided by the reading
//   dataset_per_answer_byte           the filled data set's heap bytes per answer byte
//   peak_per_answer_byte              the heap peak of the road (tree and data set
//                                     together) per answer byte
//   rows                              rows of the answer

#include "EKBenchData.h"
#include "EKBenchMemory.h"
#include "EKMemDataModel.h"
#include "EKMemDataSet.h"
#include "EKXML.h"
#include "EKXMLData.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <malloc.h>
#include <memory>
#include <new>
#include <string>

namespace {

using namespace EKBenchMemory;

// An answer of exactly the given number of rows, shaped like MakeDataSetAnswer.
std::string MakeRowsAnswer(int rows)
{
    std::string out = EKBenchData::MakeDataSetAnswer(1);
    const std::size_t dataStart = out.find("<xmlsetdata>\n") + 13;
    out.resize(dataStart);
    EKBenchData::Random r(1);
    for (int id = 1; id <= rows; ++id)
        EKBenchData::AppendRow(out, r, id);
    out += "</xmlsetdata>\n</re_getdata>";
    return out;
}

const std::string &Answer(int which)
{
    static const std::string big = EKBenchData::MakeDataSetAnswer(20u << 20);
    static const std::string rows = MakeRowsAnswer(100000);
    return which == 0 ? big : rows;
}

double Ms(std::chrono::steady_clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

// Every cell through data(), as a grid paints them.
long long ScanModel(const TEKMemDataModel &model)
{
    long long chars = 0;
    const int rows = model.rowCount();
    const int columns = model.columnCount();
    for (int row = 0; row < rows; ++row)
        for (int column = 0; column < columns; ++column)
            chars += model.data(model.index(row, column)).toString().size();
    return chars;
}

void BM_Road(benchmark::State &state)
{
    const std::string &answer = Answer(static_cast<int>(state.range(0)));
    using Clock = std::chrono::steady_clock;
    Clock::duration read{}, load{}, scan{};
    double datasetBytes = 0;
    long long peak = 0;
    int rowCount = 0;
    for (auto _ : state) {
        const long long base = gLive.load();
        gPeak = base;
        const auto t0 = Clock::now();
        auto doc = std::make_unique<TEKXML>();
        if (doc->LoadFromStream(answer) != 0) {
            state.SkipWithError("the answer does not parse");
            return;
        }
        const auto t1 = Clock::now();
        TEKMemDataSet ds;
        {
            TEKXMLData data(ds);
            if (!data.LoadDefinition(doc->FindElement("xmlsetdef")) || !ds.Open() ||
                !data.LoadRows(doc->FindElement("xmlsetdata"), rowCount)) {
                state.SkipWithError("the data set does not load");
                return;
            }
            ds.First();
        }
        const auto t2 = Clock::now();
        TEKMemDataModel model(&ds);
        benchmark::DoNotOptimize(ScanModel(model));
        const auto t3 = Clock::now();
        read += t1 - t0;
        load += t2 - t1;
        scan += t3 - t2;
        peak = std::max(peak, gPeak.load() - base);
        doc.reset();
        datasetBytes = static_cast<double>(ds.MemoryUsed());
    }
    const double n = static_cast<double>(state.iterations());
    const double bytes = static_cast<double>(answer.size());
    state.counters["read_ms"] = Ms(read) / n;
    state.counters["define_rows_ms"] = Ms(load) / n;
    state.counters["scan_ms"] = Ms(scan) / n;
    state.counters["whole_per_read"] = Ms(read + load + scan) / Ms(read);
    state.counters["dataset_per_answer_byte"] = datasetBytes / bytes;
    state.counters["peak_per_answer_byte"] = static_cast<double>(peak) / bytes;
    state.counters["rows"] = rowCount;
    state.counters["answer_MB"] = bytes / (1 << 20);
    state.SetBytesProcessed(static_cast<long long>(answer.size()) * state.iterations());
}

} // namespace

BENCHMARK(BM_Road)->Name("DataSet/road/20MB")->Arg(0)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Road)
    ->Name("DataSet/road/100000rows")
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);

BENCHMARK_MAIN();
