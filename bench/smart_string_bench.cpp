// Typing into the middle of a large document: every keystroke goes through
// the replace operation with the options the editor always sets (undo,
// placeholder Tab, statistics, mirror). Its cost should follow the edit, not
// the document: the per-character time stays flat as the document grows.
#include <benchmark/benchmark.h>

#include <string>

#include "textengine/buffer/smart_string.h"

namespace {

// A Markdown-like document of about `bytes` bytes with some multi-byte text.
std::string make_document(size_t bytes) {
    const std::string paragraph =
        "# Heading\n\nSome *text* with caf\xC3\xA9, \xE2\x82\xAC" "5 and \xF0\x9F\x98\x80 in it, "
        "long enough to wrap across a line or two in the editor.\r\n\n";
    std::string doc;
    doc.reserve(bytes + paragraph.size());
    while (doc.size() < bytes)
        doc += paragraph;
    return doc;
}

// Types 10,000 characters, one replace each, at the middle of the document.
void BM_TypeIntoMiddle(benchmark::State &state) {
    const std::string doc = make_document((size_t)state.range(0));
    const char *keys = "The quick brown fox jumps over the lazy dog. ";
    for (auto _ : state) {
        state.PauseTiming();
        _SString *s = smart_string_new(doc.c_str(), 0xB01);
        size_t at = doc.size() / 2;
        while (at > 0 && ((unsigned char)doc[at] & 0xC0) == 0x80)
            at--;
        smart_string_change change = {};
        change.tags = 1;
        char key[2] = {0, 0};
        state.ResumeTiming();

        for (int i = 0; i < 10000; i++) {
            key[0] = keys[i % 45];
            smart_string_replace(s, at, 0, key, &change);
            at++;
        }

        state.PauseTiming();
        benchmark::DoNotOptimize(smart_string_word_count(s));
        smart_string_free(s, true);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * 10000);
}
BENCHMARK(BM_TypeIntoMiddle)->Arg(64 << 10)->Arg(1 << 20)->Arg(4 << 20)->Unit(benchmark::kMillisecond);

// Backspacing 10,000 characters out of the middle.
void BM_DeleteFromMiddle(benchmark::State &state) {
    const std::string doc = make_document((size_t)state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        _SString *s = smart_string_new(doc.c_str(), 0xB01);
        size_t at = doc.size() / 2;
        smart_string_change change = {};
        change.tags = 1;
        state.ResumeTiming();

        for (int i = 0; i < 10000 && at > 0; i++) {
            size_t from = at - 1;
            while (from > 0 && ((unsigned char)s->text->str[from] & 0xC0) == 0x80)
                from--;
            smart_string_replace(s, from, at - from, "", &change);
            at = from;
        }

        state.PauseTiming();
        smart_string_free(s, true);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * 10000);
}
BENCHMARK(BM_DeleteFromMiddle)->Arg(1 << 20)->Unit(benchmark::kMillisecond);

}  // namespace
