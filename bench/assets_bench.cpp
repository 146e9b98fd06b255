// Fetching the pictures of a package: a document with 127 remote pictures
// (as real READMEs and changelogs have, with their badges and screenshots)
// served from a local HTTP server, where most answer at once, some only
// after a while and some with an error. The fetch step runs one download at
// a time and with the default eight in flight; the whole ODT package is
// built through the public operation. The same pictures on a host that
// takes no connection, and on a port that refuses one, show what a
// document costs without a network: one connect time-out in all, not one
// per picture.
#include <benchmark/benchmark.h>

#include <atomic>
#include <functional>
#include <string>

#include "library/packaging/assets_fetch.h"
#include "library/diagnostics.h"
#include "library/engine.h"
#include "library/export.h"
#include "local_http_server.h"
#include "library/tzr.h"

namespace {

constexpr int kPictures = 127;

// Every 9th picture answers after 300 ms, every 16th with "404 Not Found".
bool slow(int i) { return i % 9 == 4; }
bool failing(int i) { return i % 16 == 7; }

std::string document(const std::function<std::string(int)> &url) {
    std::string text = "# Pictures\n\n";
    for (int i = 0; i < kPictures; i++) {
        text += "A paragraph of running text before the next picture, as a README has.\n\n";
        text += "![Picture " + std::to_string(i) + "](" + url(i) + ")\n\n";
    }
    return text;
}

void serve_pictures(LocalHttpServer &server) {
    const std::string bytes(16 << 10, 'p');  // a 16 KiB picture
    for (int i = 0; i < kPictures; i++)
        server.route("/" + std::to_string(i) + ".png",
                     failing(i) ? LocalHttpServer::Reply{404, "<html>not found</html>"}
                                : LocalHttpServer::Reply{200, bytes, "", true, slow(i) ? 300 : 0});
}

// The engine after an ODT export, its asset table filled.
struct Exported {
    tzr_engine *e;
    explicit Exported(const std::string &markdown) {
        e = tzr_engine_create_with_string(markdown.c_str(), 0);
        tzr_engine_parse_string(e);
        DString *out = d_string_new("");
        tzr_export_document(out, e, TZR_FORMAT_ODT);
        d_string_free(out, true);
    }
    ~Exported() { tzr_engine_free(e, true); }
};

// The "Unable to store" lines are counted, not printed.
std::atomic<int> unstored{0};
void count_line(const char *, void *) { unstored++; }

void fetch(benchmark::State &state, const std::string &markdown, tzr_fetch_limits limits) {
    Exported doc(markdown);
    tzr_log_set_handler(count_line, nullptr);
    size_t stored = 0;
    unstored = 0;
    for (auto _ : state)
        stored = tzr_fetch_assets(doc.e, nullptr, "Pictures/", limits).size();
    tzr_log_set_handler(nullptr, nullptr);
    state.counters["stored"] = (double)stored;
    state.counters["failed"] = (double)unstored / (double)state.iterations();
}

void BM_FetchPictures(benchmark::State &state) {
    LocalHttpServer server;
    serve_pictures(server);
    tzr_fetch_limits limits = tzr_fetch_default_limits();
    limits.max_in_flight = (size_t)state.range(0);
    fetch(state, document([&](int i) { return server.url("/" + std::to_string(i) + ".png"); }), limits);
}
BENCHMARK(BM_FetchPictures)->ArgName("in_flight")->Arg(1)->Arg(8)->Iterations(3)->UseRealTime()
    ->Unit(benchmark::kMillisecond);

void BM_PackageOdtWithPictures(benchmark::State &state) {
    LocalHttpServer server;
    serve_pictures(server);
    std::string markdown = document([&](int i) { return server.url("/" + std::to_string(i) + ".png"); });
    tzr_log_set_handler(count_line, nullptr);
    size_t size = 0;
    for (auto _ : state) {
        DString *package = tzr_string_convert_to_data(markdown.c_str(), 0, TZR_FORMAT_ODT, 0, nullptr);
        size = package ? package->length : 0;
        d_string_free(package, true);
    }
    tzr_log_set_handler(nullptr, nullptr);
    state.counters["bytes"] = (double)size;
}
BENCHMARK(BM_PackageOdtWithPictures)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);

// Without a network: every connection attempt hangs until the 10 s connect
// time-out (the host takes no connection), or is refused at once.
void BM_FetchPicturesFromAHostThatIsDown(benchmark::State &state) {
    UnreachablePort down;
    fetch(state, document([&](int i) { return down.url("/" + std::to_string(i) + ".png"); }),
          tzr_fetch_default_limits());
}
BENCHMARK(BM_FetchPicturesFromAHostThatIsDown)->Iterations(1)->UseRealTime()
    ->Unit(benchmark::kMillisecond);

void BM_FetchPicturesFromAClosedPort(benchmark::State &state) {
    // Port 9 (discard) has no listener here: each connection is refused.
    fetch(state, document([](int i) { return "http://127.0.0.1:9/" + std::to_string(i) + ".png"; }),
          tzr_fetch_default_limits());
}
BENCHMARK(BM_FetchPicturesFromAClosedPort)->Iterations(3)->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
