// Type identifiers: the names by which documents tell their kinds of file
// ("public.html", "org.idpf.epub-container"), mapped to the MIME types and
// file-name extensions this platform knows files by.
//
//   TypeRegistry::typeForPath("/a/b.md")            kMarkdownType
//   TypeRegistry::conformsTo("public.html", kText)  true
//   TypeRegistry::preferredExtension("org.tug.tex") "tex"
//
// Every type conforms to itself and to the types above it; the program's own
// Markdown type sits below the generic Markdown type, below plain text, below
// text. A type the table does not know conforms only to itself. Identifiers
// compare ignoring case; aliases ("vnd.oasis.opendocument.text") read as the
// type they stand for.
#pragma once

#include <QString>
#include <QStringList>

namespace platform {

namespace types {
inline constexpr char kData[] = "public.data";
inline constexpr char kText[] = "public.text";
inline constexpr char kPlainText[] = "public.plain-text";
inline constexpr char kGenericMarkdown[] = "net.daringfireball.markdown";
// The program's own Markdown text type.
inline constexpr char kMarkdownType[] = "com.tessaro.orvane.markdown";
inline constexpr char kHtml[] = "public.html";
inline constexpr char kTex[] = "org.tug.tex";
inline constexpr char kOdt[] = "org.oasis.opendocument.text";
inline constexpr char kFlatOdt[] = "org.oasis.opendocument.text.flat";
inline constexpr char kEpub[] = "org.idpf.epub-container";
inline constexpr char kTextBundle[] = "org.textbundle.package";
inline constexpr char kTextPack[] = "org.textbundle.compressed";
}  // namespace types

class TypeRegistry {
public:
    // The type of a file: by its extension, else (for an existing file) by
    // the MIME type its content gives; "public.data" when nothing fits.
    static QString typeForPath(const QString &path);
    // The type of a file-name extension (without the dot); empty when none.
    static QString typeForExtension(const QString &extension);
    // The type of a MIME type, or of the nearest MIME type it inherits from;
    // empty when none.
    static QString typeForMimeType(const QString &mimeType);

    // The identifier as the table writes it (aliases resolved); the argument
    // itself when the table does not know it.
    static QString canonical(const QString &type);
    static bool isKnown(const QString &type);

    static QString mimeType(const QString &type);
    static QStringList extensions(const QString &type);
    // The first extension; empty when the type has none.
    static QString preferredExtension(const QString &type);
    // A name people read ("HTML document"); the identifier when unknown.
    static QString description(const QString &type);
    // The open and save panels' filter: "HTML document (*.html *.htm)".
    static QString nameFilter(const QString &type);

    static bool conformsTo(const QString &type, const QString &parent);
    // A folder that the program treats as one document (a TextBundle).
    static bool isPackage(const QString &type);
};

}  // namespace platform
