// Reading a server's file list (our parser against pugixml, parsed from the same text in
// the same run) and comparing a server list with a local one.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <pugixml.hpp>

#include "Buf.h"
#include "PatchFilesEx.h"
#include "XmlNode.h"

namespace {

std::string FileListText(size_t count) {
    std::string text = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<PatchFilesList "
                       "serverVersion=\"7.2.1\" loaderVersion=\"3.1.0\" clientFiles64bit=\"true\" "
                       "infoMsg=\"\" errorMsg=\"\">\n";
    char line[256];
    for (size_t i = 0; i < count; ++i) {
        snprintf(line, sizeof line,
                 "  <PatchFileEntry filename=\"%sModule%05zu_Component.%s\" "
                 "lastWriteTime=\"%02zu/%02zu/20%02zu %02zu:%02zu:%02zu\" filesize=\"%zu\"/>\n",
                 i % 7 == 0 ? "plugins/" : "", i, i % 3 ? "dll.gz" : "dat", i % 28 + 1, i % 12 + 1,
                 10 + i % 15, i % 24, i % 60, (i * 7) % 60, 1000 + i * 37);
        text += line;
    }
    return text + "</PatchFilesList>\n";
}

constexpr size_t kListEntries = 50000;

const std::string& ListText() {
    static const std::string text = FileListText(kListEntries);
    return text;
}

void PerEntry(benchmark::State& state, size_t entries) {
    state.counters["ns_per_entry"] =
        benchmark::Counter(static_cast<double>(state.iterations() * entries),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * ListText().size()));
}

void BM_ParseXml_FileList(benchmark::State& state) {
    const std::string& text = ListText();
    for (auto _ : state) {
        XmlNode node = ParseXml(text.data(), text.size(), nullptr, nullptr);
        benchmark::DoNotOptimize(node.Data());
    }
    PerEntry(state, kListEntries);
}
BENCHMARK(BM_ParseXml_FileList)->Unit(benchmark::kMillisecond);

void BM_Anchor_Pugixml_FileList(benchmark::State& state) {
    const std::string& text = ListText();
    for (auto _ : state) {
        pugi::xml_document document;
        pugi::xml_parse_result result = document.load_buffer(text.data(), text.size());
        benchmark::DoNotOptimize(result.status);
    }
    PerEntry(state, kListEntries);
}
BENCHMARK(BM_Anchor_Pugixml_FileList)->Unit(benchmark::kMillisecond);

// The anchor of FromXMLString: pugixml's parse plus a walk that reads the same three
// attributes of every entry (the texts, and the size as a number).
void BM_Anchor_Pugixml_ParseAndWalk_FileList(benchmark::State& state) {
    const std::string& text = ListText();
    for (auto _ : state) {
        pugi::xml_document document;
        document.load_buffer(text.data(), text.size());
        std::vector<PatchFileEntry> entries;
        entries.reserve(kListEntries);
        for (pugi::xml_node entry : document.child("PatchFilesList").children("PatchFileEntry")) {
            entries.emplace_back(
                entry.attribute("filename").value(),
                static_cast<int64_t>(strlen(entry.attribute("lastWriteTime").value())),
                entry.attribute("filesize").as_uint());
        }
        benchmark::DoNotOptimize(entries.data());
    }
    PerEntry(state, kListEntries);
}
BENCHMARK(BM_Anchor_Pugixml_ParseAndWalk_FileList)->Unit(benchmark::kMillisecond);

// Parsing plus reading every entry's three attributes, dates included.
void BM_FromXMLString_FileList(benchmark::State& state) {
    const std::string& text = ListText();
    for (auto _ : state) {
        PatchFilesEx list;
        if (!list.FromXMLString(text.c_str()))
            state.SkipWithError("the list did not read");
        benchmark::DoNotOptimize(list.entries.data());
    }
    PerEntry(state, kListEntries);
}
BENCHMARK(BM_FromXMLString_FileList)->Unit(benchmark::kMillisecond);

void BM_ToXMLString_FileList(benchmark::State& state) {
    PatchFilesEx list;
    list.FromXMLString(ListText().c_str());
    for (auto _ : state) {
        Buf out;
        list.ToXMLString(&out, true);
        benchmark::DoNotOptimize(out.data);
        out.Free();
    }
    PerEntry(state, kListEntries);
}
BENCHMARK(BM_ToXMLString_FileList)->Unit(benchmark::kMillisecond);

// A server list and a local one of the same size: most files present, some older, some
// missing, local names in other case and in another order.
void BM_Compare(benchmark::State& state) {
    const size_t count = static_cast<size_t>(state.range(0));
    PatchFilesEx server, local;
    const int64_t base = 1700000000;
    for (size_t i = 0; i < count; ++i) {
        char name[64];
        snprintf(name, sizeof name, "Module%06zu_Component.dll.gz", i);
        server.AddEntry(PatchFileEntry(name, base + static_cast<int64_t>(i), 1000));
    }
    for (size_t j = 0; j < count; ++j) {
        const size_t i = (j * 7919) % count; // another order
        char name[64];
        snprintf(name, sizeof name, i % 10 == 0 ? "Other%06zu.dll" : "MODULE%06zu_COMPONENT.DLL",
                 i);
        const int64_t age = i % 5 == 0 ? -3600 : 3600;
        local.AddEntry(PatchFileEntry(name, base + static_cast<int64_t>(i) + age, 1000));
    }
    size_t downloads = 0;
    for (auto _ : state) {
        PatchFilesEx out;
        server.Compare(&local, &out);
        downloads = out.entries.size();
        benchmark::DoNotOptimize(out.entries.data());
    }
    state.counters["downloads"] = static_cast<double>(downloads);
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * count));
}
BENCHMARK(BM_Compare)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

// A document of about 100 MB, parsed where it lies.
void BM_ParseXml_100MB(benchmark::State& state) {
    static const std::string text = FileListText(950000);
    for (auto _ : state) {
        XmlNode node = ParseXml(text.data(), text.size(), nullptr, nullptr);
        benchmark::DoNotOptimize(node.Data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
    state.counters["MB"] = static_cast<double>(text.size()) / 1e6;
}
BENCHMARK(BM_ParseXml_100MB)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

BENCHMARK_MAIN();
