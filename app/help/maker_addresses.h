// The maker's web addresses: support pages, the announcement endpoint, the
// mailing-list page, the extras page and the support mail address. Every
// page is https; this is the one place to change them.
#pragma once

namespace maker {

inline constexpr char kSupportSite[] = "https://tessaro.org/orvane/support/";
inline constexpr char kAnnouncementAddress[] = "https://tessaro.org/orvane/announcements/latest.txt";
inline constexpr char kMailingListSignupPage[] = "https://tessaro.org/orvane/newsletter";
inline constexpr char kExtrasPage[] = "https://tessaro.org/orvane/extras";
inline constexpr char kSupportMail[] = "support@tessaro.org";

}  // namespace maker
