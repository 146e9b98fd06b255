// One web view's site in the program's URL scheme (see page_scheme.h): a
// random host, the page it shows now, and the document's folder, held open so
// that its files can be named without naming the folder.
//
// The page stands for a document at a file URL: the page's address is the
// document's name on the site, in a folder of the site that stands for the
// document's own, so that its relative references come to the site's paths,
// which stand for the files they name. The site's folders are as deep as the
// document's real ones, each named by an empty segment ("orvane://SITE///x.md"
// for /home/ann/x.md): a reference that climbs out of the document's folder
// ("../y.md", "/etc/z") comes to a path that still tells which real folder it
// reached, without naming any (a real path has no empty segment, so the two
// never meet). A document without a file of its own stands at a file URL
// whose folder is not shown. Links of the page to the site's paths stand for
// the files they name (documentUrlFor()), which is what a clicked link opens;
// only what lies below the document's folder is ever served.
//
// Sites are found by their host while they live (and while they stay at
// it). Main thread only.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>

#include <optional>

namespace platform {

class PageSite {
public:
    PageSite();
    ~PageSite();
    PageSite(const PageSite &) = delete;
    PageSite &operator=(const PageSite &) = delete;

    const QString &host() const { return m_host; }
    // Moves the site to a host of its own that no page has had: a page
    // loaded there is another site than the one before it, which the
    // engine runs in a process of its own; the process of the page before
    // ends with all it held. The old host is no site's any more.
    void moveToNewHost();
    // orvane://HOST
    QUrl origin() const;

    // The page stands for `document` (a file URL); the files of its folder
    // are shown when `showsFolder` holds and the folder can be opened.
    void setDocument(const QUrl &document, bool showsFolder);
    const QUrl &document() const { return m_document; }
    bool showsFolder() const { return m_folder >= 0; }
    // The page's own address.
    QUrl pageUrl() const;
    // Whether `url` is an address of this site.
    bool owns(const QUrl &url) const;
    // Whether `url` is the page's own address, whatever its fragment.
    bool isPage(const QUrl &url) const;
    // The file URL that `url`, an address of this site, stands for: the
    // path, query and fragment of `url` resolved against the document's real
    // folder, wherever they lead.
    QUrl documentUrlFor(const QUrl &url) const;

    // The page's text, served at its address until released.
    void setPage(QByteArray page) {
        m_page = std::move(page);
        m_hasPage = true;
    }
    void releasePage();
    bool hasPage() const { return m_hasPage; }
    const QByteArray &page() const { return m_page; }

    // --- The folder's files (paths below the folder, percent-encoded,
    // beginning with "/") ---
    // Whether `encodedPath` names a regular file below the folder, every
    // link followed.
    bool hasFolderFile(const QByteArray &encodedPath) const;
    // The file: address of that file that names no folder of the user's.
    QUrl folderFileUrl(const QByteArray &encodedPath) const;
    // The path below the folder that `url` names: an address of this site,
    // or a file: address as folderFileUrl() makes them; none for any other,
    // and none for what lies outside the folder.
    std::optional<QByteArray> folderPathOf(const QUrl &url) const;
    // This site's address of the file at `encodedPath` below the folder.
    QUrl siteUrlOf(const QByteArray &encodedPath) const;
    // The file itself, to be read by the program.
    std::optional<QByteArray> folderFile(const QByteArray &encodedPath) const;

    // The site of `host`; none when no site lives there.
    static PageSite *forHost(const QString &host);
    // The site whose origin `origin` (a request's initiator) is.
    static PageSite *forOrigin(const QUrl &origin);

private:
    // Where a path of the site leads: to the real folder `level` folders
    // below the root (the document's folder at m_ancestors.size()), then
    // `rest` below that (beginning with "/").
    struct Place {
        qsizetype level = 0;
        QByteArray rest;
    };
    Place placeOf(const QByteArray &encodedPath) const;
    std::optional<QByteArray> folderPathOf(const Place &place) const;
    void closeFolder();
    QByteArray descriptorPath() const;

    QString m_host;
    QUrl m_document;
    QString m_pageName;             // the document's name, percent-encoded
    QList<QByteArray> m_ancestors;  // the folders of the document's path, percent-encoded, the root's first
    int m_folder = -1;   // the folder, open as a path
    QByteArray m_page;
    bool m_hasPage = false;
};

}  // namespace platform
