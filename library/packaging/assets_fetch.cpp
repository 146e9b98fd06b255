#include "assets_fetch.h"

#include <curl/curl.h>
#include <strings.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "assets.h"
#include "diagnostics.h"
#include "engine.h"
#include "file_utils.h"

namespace {

constexpr const char *kUserAgent = "libcurl-agent/1.0";

// The bytes of a remote asset, or false after a failed transfer. Each call
// has a buffer of its own, so no two assets can share bytes.
bool download(CURL *curl, const char *url, const tzr_fetch_limits &limits, std::string *bytes) {
    tzr_download_buffer buffer{static_cast<char *>(malloc(1)), 0, limits.max_bytes};
    if (!buffer.bytes) {
        tzr_log("Out of memory\n");
        return false;
    }
    buffer.bytes[0] = '\0';
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &buffer);
    curl_easy_setopt(curl, CURLOPT_URL, url);
    CURLcode result = curl_easy_perform(curl);
    bool ok = result == CURLE_OK;
    if (ok)
        bytes->assign(buffer.bytes, buffer.size);
    free(buffer.bytes);
    return ok;
}

// Options that keep a download from hanging, following redirects forever,
// leaving http(s) on a redirect, filling memory or storing an error page.
// libcurl's global set-up is process-wide, and older versions of it may not
// run on two threads at once: it runs once, on the first download of the
// process, and stays until the process ends.
bool curl_set_up() {
    static const bool ready = curl_global_init(CURL_GLOBAL_ALL) == CURLE_OK;
    return ready;
}

void configure(CURL *curl, const tzr_fetch_limits &limits) {
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, curl_write_to_buffer);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, kUserAgent);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, limits.max_redirects > 0 ? 1L : 0L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, limits.max_redirects);
    curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, limits.connect_timeout_ms);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, limits.total_timeout_ms);
    if (limits.max_bytes > 0)
        curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, (curl_off_t)limits.max_bytes);
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

std::vector<tzr_fetched_asset> tzr_fetch_assets(tzr_engine *e, const char *base_folder,
                                                const char *prefix,
                                                const tzr_fetch_limits &limits) {
    std::vector<tzr_fetched_asset> fetched;
    if (!e || !e->asset_table)
        return fetched;
    CURL *curl = nullptr;
    bool curl_ready = false;
    for (tzr_asset *a = e->asset_table; a; a = a->next) {
        if (!a->url || !a->name)
            continue;
        tzr_fetched_asset item;
        item.name = a->name;
        item.entry = std::string(prefix ? prefix : "") + a->name;
        bool have = false;
        if (tzr_asset_url_is_remote(a->url)) {
            if (!curl_ready) {
                curl_ready = true;
                if (curl_set_up()) {
                    curl = curl_easy_init();
                    if (curl)
                        configure(curl, limits);
                }
            }
            have = curl && download(curl, a->url, limits, &item.bytes);
            item.downloaded = true;
        } else if (base_folder) {
            char *path = path_join(base_folder, a->url);
            DString *text = path ? file_read_to_d_string(path) : nullptr;
            if (text && text->length > 0) {
                item.bytes.assign(text->str, text->length);
                have = true;
            }
            d_string_free(text, true);
            free(path);
            item.downloaded = false;
        }
        if (have)
            fetched.push_back(std::move(item));
        else
            tzr_log("Unable to store '%s' in EPUB\n", a->url);
    }
    if (curl)
        curl_easy_cleanup(curl);
    return fetched;
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
