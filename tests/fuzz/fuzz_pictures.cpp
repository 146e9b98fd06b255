// Judges random bytes as a package would judge a file or download a
// document names: as a picture of each package format (SVG read by libxml2
// with nothing loaded from outside) and as a style sheet. Every answer must
// come without a crash, a picture's media type must be one a package
// declares, and a picture's start must be one the reading of a file goes on
// after.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "library/packaging/pictures.h"
#include "library/tzr.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const char *const kTypes[] = {"image/png",  "image/jpeg", "image/gif", "image/svg+xml",
                                         "image/webp", "image/bmp",  "image/tiff"};
    for (uint16_t format : {TZR_FORMAT_EPUB, TZR_FORMAT_ODT, TZR_FORMAT_TEXTBUNDLE}) {
        const char *type = tzr_picture_media_type(data, size, format);
        if (!type)
            continue;
        bool known = false;
        for (const char *t : kTypes)
            known = known || !strcmp(type, t);
        if (!known)
            abort();
        // A file is read past its start only when that start may begin a
        // picture: one that is a picture always may.
        if (!tzr_picture_may_begin(data, size < kTzrPictureHeaderLength ? size : kTzrPictureHeaderLength, format))
            abort();
    }
    bool svg = tzr_svg_stands_alone(data, size);
    if (svg && tzr_picture_media_type(data, size, TZR_FORMAT_EPUB) == nullptr)
        abort();  // a standing SVG is a picture every package holds
    tzr_style_sheet_allowed(data, size, "style.css", nullptr, false);
    tzr_style_sheet_allowed(data, size, "https://example.invalid/s", "text/css", true);
    return 0;
}
