// Zip archives built in memory for the packagers (EPUB, zipped OpenDocument,
// TextBundle), and unpacking an archive held in memory into a folder.
#pragma once

#include <cstddef>

#include "library/d_string.h"

struct tzr_zip_archive;

// A new archive writer on the heap. On failure it reports
// "mz_zip_writer_init_heap() failed.\n" and returns an archive whose later
// additions fail and report; callers go on regardless.
tzr_zip_archive *tzr_zip_new_archive(void);

// Adds a file entry holding a private copy of the bytes; level 0 stores them,
// 1-9 deflate them. A name ending in "/" with no bytes adds a folder entry.
bool tzr_zip_add_mem(tzr_zip_archive *archive, const char *name, const void *bytes, size_t length,
                     int level);

// Writes the archive and hands its bytes over as a new DString, freeing the
// archive. When that fails, `failure_message` goes to standard error and the
// string holds no bytes.
DString *tzr_zip_finalize(tzr_zip_archive *archive, const char *failure_message);

// Frees an archive that will not be finalised.
void tzr_zip_discard(tzr_zip_archive *archive);

// Unpacks every entry of the archive in `data` into `folder` (created when
// missing), in archive order; a file inside a subfolder needs the folder's
// entry before it. Entries that would land outside the folder (absolute
// names, ".." components) or write through a link are refused, and the
// working folder of the process never changes. Returns 0 when every entry
// was written, -1 (with a message on standard error) when the folder's name
// belongs to an existing file, the data is no archive or an entry fails;
// the entries before a failing one stay written.
int tzr_unzip_data_to_folder(const char *data, size_t length, const char *folder);
