// Text that comes into the editor from outside it (pastes, drops, the middle
// button's selection, input methods), and the Markdown made of pasted and
// dropped addresses and files.
#pragma once

#include <QString>
#include <QUrl>

#include <optional>

namespace incoming {

// Text as the editor takes it in: line ends "\r\n" and "\r" become "\n",
// and NUL characters are removed (the text buffer takes NUL-terminated
// text, and would drop everything after one).
QString normalizedText(const QString &text);

// Whether `text` is an address: it parses as a URL with a scheme, and the
// scheme is "mailto" or the URL has a host.
bool isValidURL(const QString &text);

// A pasted address over a selection of at least two characters that is no
// address itself becomes a link: "[selected](address)". Nothing otherwise.
std::optional<QString> linkForPastedText(const QString &pasted, const QString &selected);

// `path` relative to `folder` when it lies below it ("/a/b/c.png" in "/a"
// is "b/c.png"); otherwise `path` as it is. Only the leading folder goes:
// the same folder name further down the path stays.
QString pathRelativeToFolder(const QString &path, const QString &folder);

// What a dropped URL inserts. A local file: its path, relative to the
// folder of `documentFile` when it lies there, percent-encoded as a URL
// path, and as an image link "![](path)" when the file is an image. Any
// other address: "<address>" when it has no name of its own (or its name is
// the address), else "[name](address)".
QString markdownForDroppedURL(const QUrl &url, const QString &name, const QString &documentFile);

}  // namespace incoming
