// The asset step of the packagers: every image an export recorded in the
// engine's asset table is downloaded (http and https only) or read from the
// document's folder, and stored in the archive under the packager's prefix
// and the asset's UUID name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "library/packaging/zip_archive.h"

struct tzr_engine;
struct tzr_asset_report;

// Bytes received by one transfer, always followed by a NUL. The transfer is
// abandoned once `size` would pass `limit`.
struct tzr_download_buffer {
    char *bytes;
    size_t size;
    size_t limit;  // 0: no limit
};

// libcurl write callback (CURLOPT_WRITEFUNCTION) appending to a
// tzr_download_buffer. Returns the count taken; anything less makes libcurl
// abandon the transfer ("Out of memory\n" when the block cannot grow).
size_t curl_write_to_buffer(char *received, size_t size, size_t count, void *buffer);

// How long the downloads of one package may take together: a document with
// many slow pictures still gets its package in bounded time.
constexpr long kTzrFetchDeadlineMs = 120000;

// How far a download may go before it counts as failed, how many run at
// once, and when the whole fetch gives up on the downloads not yet done.
// `max_bytes` bounds a local file as well: a larger one is left out unread.
struct tzr_fetch_limits {
    long connect_timeout_ms;
    long total_timeout_ms;
    size_t max_bytes;  // 0: none
    long max_redirects;
    size_t max_in_flight = 8;
    long deadline_ms = kTzrFetchDeadlineMs;  // 0: none
};

// 10 s to connect, 60 s in all, 64 MiB, 5 redirects, 8 at once, two
// minutes for the whole fetch.
tzr_fetch_limits tzr_fetch_default_limits(void);

// The packager's wording for an asset that cannot be added to its archive.
// `add_downloaded` gets the local name and the entry name, `add_local` the
// entry name (a format may use fewer of them).
struct tzr_asset_messages {
    const char *add_downloaded;
    const char *add_local;
};

// One asset fetched and ready to be stored.
struct tzr_fetched_asset {
    std::string entry;  // prefix + local name
    std::string name;   // the local name alone
    std::string bytes;
    bool downloaded;
    std::string content_type;  // of a download, as its reply named it
    // What its bytes are, once a package has judged them (see
    // tzr_fetch_package_assets); NULL before.
    const char *media_type = nullptr;
};

// Whether the URL names a resource that is downloaded (http: or https:,
// either case); anything else is a path on this machine.
bool tzr_asset_url_is_remote(const char *url);

// Fetches every asset of the engine's table, returned in table order. A URL
// that is http or https is downloaded (following at most the limit's
// redirects; an HTTP error status, a time-out or an oversized reply is a
// failure, never stored); any other URL is read from `base_folder` joined
// with it, only when it is a regular file (a FIFO, a device or a folder is
// not opened). A file larger than the limit's bytes is left out unread, with
// "Left out '%s': larger than 64 MiB\n" (the limit's size). Downloads run
// several at a time, each address once; once a host cannot be reached, its
// other addresses are not tried. Downloads not done by the limits' deadline
// are abandoned, with one line on standard error giving their number. An
// asset that cannot be had is reported with "Unable to store '%s' in EPUB\n"
// and left out.
std::vector<tzr_fetched_asset> tzr_fetch_assets(tzr_engine *e, const char *base_folder,
                                                const char *prefix,
                                                const tzr_fetch_limits &limits);

// tzr_fetch_assets for a package of `format` (TZR_FORMAT_EPUB, _ODT,
// _TEXTBUNDLE or _TEXTBUNDLE_COMPRESSED), which keeps only what the format
// can hold: a picture by its bytes (tzr_picture_media_type), the style
// sheet by tzr_style_sheet_allowed, each with its media type ("text/css"
// for the style sheet). Everything else is left out with one line,
// "Left out '%s': not a picture this format can hold\n" (for the style sheet
// "Left out '%s': not a style sheet\n"), as one that cannot be had or is
// too large is with its own. A local file is read only as far as judging it
// needs: one whose start is no picture's is read no further. Each asset left
// out also goes on the engine's report, when a conversion asked for one.
std::vector<tzr_fetched_asset> tzr_fetch_package_assets(tzr_engine *e, const char *base_folder,
                                                        const char *prefix, uint16_t format,
                                                        const tzr_fetch_limits &limits);

// The report's own steps (the others are public, in tzr.h): emptying it, and
// noting an asset left out. NULL reports are left alone.
void tzr_asset_report_clear(tzr_asset_report *report);
void tzr_asset_report_add(tzr_asset_report *report, const char *address, uint16_t reason);

// The assets of the engine's table that `fetched` does not hold, as their
// local names with the addresses they were written with.
std::map<std::string, std::string> tzr_assets_not_fetched(const tzr_engine *e,
                                                          const std::vector<tzr_fetched_asset> &fetched);

// Adds fetched assets at level 9, reporting failed additions with the
// packager's messages. Returns the local names actually stored, in order.
std::vector<std::string> tzr_zip_store_assets(tzr_zip_archive *archive,
                                              const std::vector<tzr_fetched_asset> &assets,
                                              const tzr_asset_messages *messages);

// Fetch and store in one step, with the default limits. Returns the local
// names stored. An empty asset table does nothing and starts no transfer.
std::vector<std::string> tzr_zip_add_assets(tzr_zip_archive *archive, tzr_engine *e,
                                            const char *base_folder, const char *prefix,
                                            const tzr_asset_messages *messages);
