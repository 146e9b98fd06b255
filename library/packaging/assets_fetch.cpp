#include "library/packaging/assets_fetch.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <list>
#include <optional>
#include <set>

#include "library/assets.h"
#include "library/diagnostics.h"
#include "library/engine.h"
#include "library/file_utils.h"
#include "library/packaging/pictures.h"
#include "library/packaging/system_library.h"
#include "library/tzr.h"

namespace {

constexpr const char *kUserAgent = "libcurl-agent/1.0";

// The functions of libcurl this file calls, loaded with it on the first
// download (see system_library.h).
struct LibCurl {
    decltype(&::curl_global_init) global_init;
    decltype(&::curl_easy_init) easy_init;
    decltype(&::curl_easy_setopt) easy_setopt;
    decltype(&::curl_easy_getinfo) easy_getinfo;
    decltype(&::curl_easy_cleanup) easy_cleanup;
    decltype(&::curl_multi_init) multi_init;
    decltype(&::curl_multi_add_handle) multi_add_handle;
    decltype(&::curl_multi_remove_handle) multi_remove_handle;
    decltype(&::curl_multi_perform) multi_perform;
    decltype(&::curl_multi_info_read) multi_info_read;
    decltype(&::curl_multi_poll) multi_poll;
    decltype(&::curl_multi_cleanup) multi_cleanup;
    decltype(&::curl_url) url_new;
    decltype(&::curl_url_set) url_set;
    decltype(&::curl_url_get) url_get;
    decltype(&::curl_url_cleanup) url_cleanup;
    decltype(&::curl_free) free;
};

// The table, loaded and set up, or NULL when libcurl cannot be loaded or set
// up: every download then fails as one that could not be made. libcurl's
// global set-up is process-wide, and older versions of it may not run on two
// threads at once: it runs once, on the first download of the process, and
// stays until the process ends.
const LibCurl *curl_set_up() {
    return system_library::load<LibCurl>(ORVANE_LIBCURL_SONAME, [](system_library::Binder bind,
                                                                   LibCurl &t) {
        return bind(t.global_init, "curl_global_init") && bind(t.easy_init, "curl_easy_init") &&
               bind(t.easy_setopt, "curl_easy_setopt") &&
               bind(t.easy_getinfo, "curl_easy_getinfo") &&
               bind(t.easy_cleanup, "curl_easy_cleanup") && bind(t.multi_init, "curl_multi_init") &&
               bind(t.multi_add_handle, "curl_multi_add_handle") &&
               bind(t.multi_remove_handle, "curl_multi_remove_handle") &&
               bind(t.multi_perform, "curl_multi_perform") &&
               bind(t.multi_info_read, "curl_multi_info_read") &&
               bind(t.multi_poll, "curl_multi_poll") &&
               bind(t.multi_cleanup, "curl_multi_cleanup") && bind(t.url_new, "curl_url") &&
               bind(t.url_set, "curl_url_set") && bind(t.url_get, "curl_url_get") &&
               bind(t.url_cleanup, "curl_url_cleanup") && bind(t.free, "curl_free") &&
               t.global_init(CURL_GLOBAL_ALL) == CURLE_OK;
    });
}

// Options that keep a download from hanging, following redirects forever,
// leaving http(s) on a redirect, filling memory or storing an error page.
void configure(const LibCurl *libcurl, CURL *curl, const tzr_fetch_limits &limits) {
    libcurl->easy_setopt(curl, CURLOPT_WRITEFUNCTION, curl_write_to_buffer);
    libcurl->easy_setopt(curl, CURLOPT_USERAGENT, kUserAgent);
    libcurl->easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    libcurl->easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    libcurl->easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    libcurl->easy_setopt(curl, CURLOPT_FOLLOWLOCATION, limits.max_redirects > 0 ? 1L : 0L);
    libcurl->easy_setopt(curl, CURLOPT_MAXREDIRS, limits.max_redirects);
    libcurl->easy_setopt(curl, CURLOPT_FAILONERROR, 1L);
    libcurl->easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, limits.connect_timeout_ms);
    libcurl->easy_setopt(curl, CURLOPT_TIMEOUT_MS, limits.total_timeout_ms);
    if (limits.max_bytes > 0)
        libcurl->easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, (curl_off_t)limits.max_bytes);
}

// The scheme, host and port of a URL: a host that cannot be reached is
// remembered under it. Empty when the URL does not parse.
std::string host_of(const LibCurl *libcurl, const char *url) {
    std::string key;
    CURLU *parsed = libcurl->url_new();
    if (parsed && libcurl->url_set(parsed, CURLUPART_URL, url, 0) == CURLUE_OK) {
        char *scheme = nullptr, *host = nullptr, *port = nullptr;
        libcurl->url_get(parsed, CURLUPART_SCHEME, &scheme, 0);
        libcurl->url_get(parsed, CURLUPART_HOST, &host, 0);
        libcurl->url_get(parsed, CURLUPART_PORT, &port, CURLU_DEFAULT_PORT);
        if (scheme && host)
            key = std::string(scheme) + "://" + host + ":" + (port ? port : "");
        libcurl->free(scheme);
        libcurl->free(host);
        libcurl->free(port);
    }
    libcurl->url_cleanup(parsed);
    return key;
}

// Whether a failed transfer never reached its own host (its name did not
// resolve, nobody answered, or the connection timed out before it was
// made): then no other address there will answer either.
bool host_unreachable(const LibCurl *libcurl, CURL *curl, CURLcode result) {
    switch (result) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_CONNECT:
        break;
    case CURLE_OPERATION_TIMEDOUT: {
        curl_off_t connected = 0;
        libcurl->easy_getinfo(curl, CURLINFO_CONNECT_TIME_T, &connected);
        if (connected != 0)
            return false;
        break;
    }
    default:
        return false;
    }
    long redirects = 0;
    libcurl->easy_getinfo(curl, CURLINFO_REDIRECT_COUNT, &redirects);
    return redirects == 0;  // after a redirect it was another host that failed
}

// One download under way. Its buffer is a list element of its own, so the
// address libcurl writes to stays put while other downloads come and go.
struct Transfer {
    size_t address;
    CURL *curl;
    tzr_download_buffer buffer;
};

// What one download received: the reply's body and the media type its
// header named (empty when none).
struct Reply {
    std::string bytes;
    std::string content_type;
};

// Downloads `urls` several at a time (at most the limit's count at once);
// each slot of the result holds the reply to its URL, or nothing after a
// failure.
std::vector<std::optional<Reply>> download_all(const std::vector<const char *> &urls,
                                               const tzr_fetch_limits &limits) {
    std::vector<std::optional<Reply>> received(urls.size());
    const LibCurl *libcurl = urls.empty() ? nullptr : curl_set_up();
    if (!libcurl)
        return received;
    CURLM *multi = libcurl->multi_init();
    if (!multi)
        return received;
    const size_t at_once = limits.max_in_flight > 0 ? limits.max_in_flight : 1;
    std::list<Transfer> running;
    std::set<std::string> unreachable;
    auto finish = [&](Transfer *t) {
        libcurl->multi_remove_handle(multi, t->curl);
        libcurl->easy_cleanup(t->curl);
        free(t->buffer.bytes);
        running.remove_if([t](const Transfer &other) { return &other == t; });
    };
    using Clock = std::chrono::steady_clock;
    const bool bounded = limits.deadline_ms > 0;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(bounded ? limits.deadline_ms : 0);
    size_t next = 0;
    while (next < urls.size() || !running.empty()) {
        if (bounded && Clock::now() >= deadline) {
            // What is still under way or not begun counts as not fetched;
            // addresses on a host known to be down were never to be tried.
            size_t late = running.size();
            for (; next < urls.size(); next++)
                if (!unreachable.count(host_of(libcurl, urls[next])))
                    late++;
            if (late > 0)
                tzr_log(late == 1 ? "%zu picture was not fetched within %g seconds.\n"
                                  : "%zu pictures were not fetched within %g seconds.\n",
                        late, (double)limits.deadline_ms / 1000.0);
            break;
        }
        while (running.size() < at_once && next < urls.size()) {
            size_t address = next++;
            if (unreachable.count(host_of(libcurl, urls[address])))
                continue;
            Transfer &t = running.emplace_back(
                Transfer{address,
                         libcurl->easy_init(),
                         {static_cast<char *>(malloc(1)), 0, limits.max_bytes}});
            if (!t.buffer.bytes)
                tzr_log("Out of memory\n");
            if (!t.curl || !t.buffer.bytes) {
                libcurl->easy_cleanup(t.curl);
                free(t.buffer.bytes);
                running.pop_back();
                continue;
            }
            t.buffer.bytes[0] = '\0';
            configure(libcurl, t.curl, limits);
            libcurl->easy_setopt(t.curl, CURLOPT_WRITEDATA, &t.buffer);
            libcurl->easy_setopt(t.curl, CURLOPT_URL, urls[address]);
            libcurl->easy_setopt(t.curl, CURLOPT_PRIVATE, &t);
            if (libcurl->multi_add_handle(multi, t.curl) != CURLM_OK) {
                libcurl->easy_cleanup(t.curl);
                free(t.buffer.bytes);
                running.pop_back();
            }
        }
        int active = 0;
        if (libcurl->multi_perform(multi, &active) != CURLM_OK)
            break;
        int queued = 0;
        while (CURLMsg *message = libcurl->multi_info_read(multi, &queued)) {
            if (message->msg != CURLMSG_DONE)
                continue;
            CURLcode result = message->data.result;
            Transfer *t = nullptr;
            libcurl->easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &t);
            if (!t)
                continue;
            if (result == CURLE_OK) {
                const char *type = nullptr;
                libcurl->easy_getinfo(t->curl, CURLINFO_CONTENT_TYPE, &type);
                received[t->address].emplace(
                    Reply{std::string(t->buffer.bytes, t->buffer.size), type ? type : ""});
            } else if (host_unreachable(libcurl, t->curl, result))
                unreachable.insert(host_of(libcurl, urls[t->address]));
            finish(t);
        }
        int wait_ms = 1000;
        if (bounded) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            wait_ms = (int)std::clamp<long long>(left, 0, wait_ms);
        }
        if (!running.empty() &&
            libcurl->multi_poll(multi, nullptr, 0, wait_ms, nullptr) != CURLM_OK)
            break;
    }
    // Left here after the deadline, or after a failure of libcurl itself.
    while (!running.empty())
        finish(&running.front());
    libcurl->multi_cleanup(multi);
    return received;
}

}  // namespace

size_t curl_write_to_buffer(char *received, size_t size, size_t count, void *buffer) {
    auto *b = static_cast<tzr_download_buffer *>(buffer);
    if (!b || !received)
        return 0;
    if (count != 0 && size > (size_t)-1 / count)
        return 0;
    size_t n = size * count;
    if (b->limit > 0 && (n > b->limit || b->size > b->limit - n))
        return 0;  // over the cap: libcurl abandons the transfer
    char *grown = static_cast<char *>(realloc(b->bytes, b->size + n + 1));
    if (!grown) {
        tzr_log("Out of memory\n");
        return 0;
    }
    b->bytes = grown;
    memcpy(b->bytes + b->size, received, n);
    b->size += n;
    b->bytes[b->size] = '\0';
    return n;
}

tzr_fetch_limits tzr_fetch_default_limits(void) {
    return tzr_fetch_limits{10000, 60000, (size_t)64 << 20, 5};
}

bool tzr_asset_url_is_remote(const char *url) {
    return url && (!strncasecmp(url, "http://", 7) || !strncasecmp(url, "https://", 8));
}

namespace {

// A size as a person reads it: "64 MiB", "512 KiB", "100 bytes".
std::string size_text(size_t bytes) {
    constexpr size_t kKiB = 1024, kMiB = kKiB * 1024;
    if (bytes >= kMiB && bytes % kMiB == 0)
        return std::to_string(bytes / kMiB) + " MiB";
    if (bytes >= kKiB && bytes % kKiB == 0)
        return std::to_string(bytes / kKiB) + " KiB";
    return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
}

void log_not_held(const tzr_asset *a) {
    tzr_log(a->style_sheet ? "Left out '%s': not a style sheet\n"
                           : "Left out '%s': not a picture this format can hold\n",
            a->url);
}

// Keeps an asset a package of `format` can hold, with its media type, or
// says why it is left out.
bool held_by_package(tzr_fetched_asset &item, const tzr_asset *a, uint16_t format) {
    item.media_type = tzr_picture_media_type(item.bytes.data(), item.bytes.size(), format);
    if (!item.media_type && a->style_sheet &&
        tzr_style_sheet_allowed(item.bytes.data(), item.bytes.size(), a->url,
                                item.content_type.c_str(), item.downloaded))
        item.media_type = "text/css";
    if (item.media_type)
        return true;
    log_not_held(a);
    return false;
}

// What reading a file named as an asset came to.
enum class LocalRead { Read, Unavailable, TooLarge, NotHeld };

// How much of a file is read before the rest: enough for every picture's
// header, and one read.
constexpr size_t kFileStart = 4096;
static_assert(kFileStart >= kTzrPictureHeaderLength);

// Reads from `fd` until `bytes` holds `until` bytes or the file ends; false
// after a failed read.
bool read_more(int fd, std::string &bytes, size_t until) {
    constexpr size_t kChunk = 64 * 1024;
    while (bytes.size() < until) {
        size_t have = bytes.size();
        size_t room = std::min(until - have, std::max(bytes.capacity() - have, kChunk));
        bytes.resize(have + room);
        ssize_t got = read(fd, bytes.data() + have, room);
        bytes.resize(have + (got > 0 ? (size_t)got : 0));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return got == 0;
    }
    return true;
}

// The count of bytes that UTF-8 byte-order marks take at the start.
size_t leading_marks(const std::string &bytes) {
    size_t marks = 0;
    while (bytes.size() - marks >= 3 && bytes.compare(marks, 3, "\xEF\xBB\xBF") == 0)
        marks += 3;
    return marks;
}

// Reads the file at `path` into `bytes` (without the byte-order marks at its
// start), at no more cost than judging it needs. Only a regular file is
// opened: a FIFO would wait for a writer, a device may never end, a folder
// holds no bytes. A file larger than `limit` (0: none) is not read at all,
// nor is one that grows past it while read. With `picture_format`, a file
// whose start cannot begin a picture that format holds is read no further.
LocalRead read_local(const char *path, size_t limit, std::optional<uint16_t> picture_format,
                     std::string &bytes) {
    bytes.clear();
    struct stat info;
    if (stat(path, &info) != 0 || !S_ISREG(info.st_mode))
        return LocalRead::Unavailable;
    if (limit > 0 && (uint64_t)info.st_size > limit)
        return LocalRead::TooLarge;
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return LocalRead::Unavailable;
    // The name may stand for another file by now.
    LocalRead result = LocalRead::Read;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
        result = LocalRead::Unavailable;
    else if (limit > 0 && (uint64_t)info.st_size > limit)
        result = LocalRead::TooLarge;
    else if (!read_more(fd, bytes, kFileStart))
        result = LocalRead::Unavailable;
    if (result == LocalRead::Read && picture_format && bytes.size() > leading_marks(bytes)) {
        size_t marks = leading_marks(bytes);
        if (!tzr_picture_may_begin(bytes.data() + marks, bytes.size() - marks, *picture_format))
            result = LocalRead::NotHeld;
    }
    if (result == LocalRead::Read && bytes.size() == kFileStart) {
        // A file's size may be wrong (those of /proc say 0) or change: one
        // byte past the limit is as far as it is read.
        size_t until = limit > 0 ? limit + 1 : SIZE_MAX;
        bytes.reserve(std::min((size_t)info.st_size, until) + 1);
        if (!read_more(fd, bytes, until))
            result = LocalRead::Unavailable;
        else if (limit > 0 && bytes.size() > limit)
            result = LocalRead::TooLarge;
    }
    close(fd);
    if (result != LocalRead::Read) {
        bytes = std::string();
        return result;
    }
    bytes.erase(0, leading_marks(bytes));
    return bytes.empty() ? LocalRead::Unavailable : LocalRead::Read;
}

// The asset step's fetch; with a format, only what a package of that format
// can hold is kept.
std::vector<tzr_fetched_asset> fetch(tzr_engine *e, const char *base_folder, const char *prefix,
                                     const tzr_fetch_limits &limits, std::optional<uint16_t> format) {
    std::vector<tzr_fetched_asset> fetched;
    if (!e || !e->asset_table)
        return fetched;
    // The table holds each address once, so each is downloaded once.
    std::vector<const char *> urls;
    for (tzr_asset *a = e->asset_table; a; a = a->next)
        if (a->url && a->name && tzr_asset_url_is_remote(a->url))
            urls.push_back(a->url);
    std::vector<std::optional<Reply>> downloads = download_all(urls, limits);
    size_t download = 0;
    for (tzr_asset *a = e->asset_table; a; a = a->next) {
        if (!a->url || !a->name)
            continue;
        tzr_fetched_asset item;
        item.name = a->name;
        item.entry = std::string(prefix ? prefix : "") + a->name;
        item.downloaded = tzr_asset_url_is_remote(a->url);
        LocalRead got = LocalRead::Unavailable;
        if (item.downloaded) {
            std::optional<Reply> &reply = downloads[download++];
            if (reply.has_value()) {
                got = LocalRead::Read;
                item.bytes = std::move(reply->bytes);
                item.content_type = std::move(reply->content_type);
            }
        } else if (base_folder) {
            // A style sheet is judged whole: its start tells nothing.
            char *path = path_join(base_folder, a->url);
            if (path)
                got = read_local(path, limits.max_bytes, a->style_sheet ? std::nullopt : format,
                                 item.bytes);
            free(path);
        }
        if (got == LocalRead::Unavailable) {
            tzr_log("Unable to store '%s' in EPUB\n", a->url);
            tzr_asset_report_add(e->asset_report, a->url, TZR_LEFT_OUT_UNAVAILABLE);
        } else if (got == LocalRead::TooLarge) {
            tzr_log("Left out '%s': larger than %s\n", a->url, size_text(limits.max_bytes).c_str());
            tzr_asset_report_add(e->asset_report, a->url, TZR_LEFT_OUT_TOO_LARGE);
        } else if (got == LocalRead::NotHeld) {
            log_not_held(a);
            tzr_asset_report_add(e->asset_report, a->url, TZR_LEFT_OUT_NOT_HELD);
        } else if (format && !held_by_package(item, a, *format)) {
            tzr_asset_report_add(e->asset_report, a->url, TZR_LEFT_OUT_NOT_HELD);
        } else {
            fetched.push_back(std::move(item));
        }
    }
    return fetched;
}

}  // namespace

std::vector<tzr_fetched_asset> tzr_fetch_assets(tzr_engine *e, const char *base_folder,
                                                const char *prefix,
                                                const tzr_fetch_limits &limits) {
    return fetch(e, base_folder, prefix, limits, std::nullopt);
}

std::vector<tzr_fetched_asset> tzr_fetch_package_assets(tzr_engine *e, const char *base_folder,
                                                        const char *prefix, uint16_t format,
                                                        const tzr_fetch_limits &limits) {
    return fetch(e, base_folder, prefix, limits, format);
}

std::map<std::string, std::string> tzr_assets_not_fetched(const tzr_engine *e,
                                                          const std::vector<tzr_fetched_asset> &fetched) {
    std::map<std::string, std::string> missing;
    for (const tzr_asset *a = e ? e->asset_table : nullptr; a; a = a->next)
        if (a->name && a->url)
            missing.emplace(a->name, a->url);
    for (const tzr_fetched_asset &asset : fetched)
        missing.erase(asset.name);
    return missing;
}

std::vector<std::string> tzr_zip_store_assets(tzr_zip_archive *archive,
                                              const std::vector<tzr_fetched_asset> &assets,
                                              const tzr_asset_messages *messages) {
    std::vector<std::string> stored;
    for (const tzr_fetched_asset &a : assets) {
        if (tzr_zip_add_mem(archive, a.entry.c_str(), a.bytes.data(), a.bytes.size(), 9)) {
            stored.push_back(a.name);
            continue;
        }
        if (!messages)
            continue;
        if (a.downloaded && messages->add_downloaded)
            tzr_log(messages->add_downloaded, a.name.c_str(), a.entry.c_str());
        else if (!a.downloaded && messages->add_local)
            tzr_log(messages->add_local, a.entry.c_str());
    }
    return stored;
}

std::vector<std::string> tzr_zip_add_assets(tzr_zip_archive *archive, tzr_engine *e,
                                            const char *base_folder, const char *prefix,
                                            const tzr_asset_messages *messages) {
    if (!e || !e->asset_table)
        return {};
    return tzr_zip_store_assets(archive,
                                tzr_fetch_assets(e, base_folder, prefix, tzr_fetch_default_limits()),
                                messages);
}
