// What an export's package left out of the files and downloads its document
// names, and why, for the document to tell the person who exported it.
#pragma once

#include <QList>
#include <QString>

#include <cstdint>

struct LeftOutFile {
    QString address;  // as the document wrote it
    uint16_t reason;  // the library's TZR_LEFT_OUT_... (library/tzr.h)
    bool operator==(const LeftOutFile &) const = default;
};

// In the order the document first names them.
using LeftOutFiles = QList<LeftOutFile>;
