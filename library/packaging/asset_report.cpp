// The report of what a package left out (tzr.h), which the asset step fills
// (assets_fetch.h).
#include <new>
#include <string>
#include <vector>

#include "library/packaging/assets_fetch.h"
#include "library/tzr.h"

struct tzr_asset_report {
    struct Entry {
        std::string address;
        uint16_t reason;
    };
    std::vector<Entry> entries;
};

tzr_asset_report *tzr_asset_report_create(void) { return new (std::nothrow) tzr_asset_report(); }

void tzr_asset_report_free(tzr_asset_report *report) { delete report; }

size_t tzr_asset_report_count(const tzr_asset_report *report) {
    return report ? report->entries.size() : 0;
}

const char *tzr_asset_report_address(const tzr_asset_report *report, size_t index) {
    return report && index < report->entries.size() ? report->entries[index].address.c_str()
                                                    : nullptr;
}

uint16_t tzr_asset_report_reason(const tzr_asset_report *report, size_t index) {
    return report && index < report->entries.size() ? report->entries[index].reason : 0;
}

void tzr_asset_report_clear(tzr_asset_report *report) {
    if (report)
        report->entries.clear();
}

void tzr_asset_report_add(tzr_asset_report *report, const char *address, uint16_t reason) {
    if (report && address)
        report->entries.push_back({address, reason});
}
