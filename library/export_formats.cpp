// The writers of each output format. A format gets its entry here once its
// writers exist; until then it has none and exports write nothing for it.
#include "export.h"
#include "export_context.h"

const tzr_format_writers *tzr_format_writers_for(int16_t format) {
    switch (format) {
    default:
        return nullptr;
    }
}

bool tzr_format_is_packaged(uint16_t format) {
    return format == TZR_FORMAT_EPUB || format == TZR_FORMAT_FODT || format == TZR_FORMAT_ODT ||
           format == TZR_FORMAT_TEXTBUNDLE || format == TZR_FORMAT_TEXTBUNDLE_COMPRESSED;
}

tzr_packager tzr_format_packager_for(uint16_t format) {
    switch (format) {
    // EPUB (1), flat and zipped OpenDocument (5, 6) and TextBundle (7, 8)
    // get their packagers here when those writers join the build. Until
    // then their data is NULL rather than a bare text posing as the file.
    default:
        return nullptr;
    }
}
