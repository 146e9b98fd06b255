#include "platform/web/page_site.h"

#include "platform/files/native_path.h"
#include "platform/web/page_scheme.h"

#include <QFile>
#include <QHash>
#include <QRandomGenerator>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

QHash<QString, PageSite *> &sites() {
    static QHash<QString, PageSite *> all;
    return all;
}

}  // namespace

PageSite::PageSite() {
    moveToNewHost();
}

void PageSite::moveToNewHost() {
    if (!m_host.isEmpty())
        sites().remove(m_host);
    // A name no page can guess, so that no page finds another's site.
    do {
        m_host = QString::number(QRandomGenerator::system()->generate64(), 16).rightJustified(16, u'0');
    } while (sites().contains(m_host));
    sites().insert(m_host, this);
}

PageSite::~PageSite() {
    sites().remove(m_host);
    closeFolder();
}

QUrl PageSite::origin() const {
    QUrl url;
    url.setScheme(QString::fromLatin1(PageScheme::Name));
    url.setHost(m_host);
    return url;
}

void PageSite::setDocument(const QUrl &document, bool showsFolder) {
    const QUrl folder = document.adjusted(QUrl::RemoveFilename | QUrl::RemoveQuery | QUrl::RemoveFragment);
    const bool sameFolder =
        m_folder >= 0 && folder == m_document.adjusted(QUrl::RemoveFilename | QUrl::RemoveQuery | QUrl::RemoveFragment);
    m_document = document;
    m_pageName = document.fileName(QUrl::FullyEncoded);
    if (m_pageName.isEmpty())
        m_pageName = QStringLiteral("page.html");
    m_ancestors.clear();
    const QByteArrayList segments =
        folder.adjusted(QUrl::NormalizePathSegments).path(QUrl::FullyEncoded).toLatin1().split('/');
    for (const QByteArray &segment : segments)
        if (!segment.isEmpty())
            m_ancestors << segment;
    if (sameFolder && showsFolder)
        return;
    closeFolder();
    if (!showsFolder || !folder.isLocalFile())
        return;
    const QByteArray path = QFile::encodeName(folder.toLocalFile());
    m_folder = ::open(path.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
}

void PageSite::closeFolder() {
    if (m_folder >= 0)
        ::close(m_folder);
    m_folder = -1;
}

QUrl PageSite::pageUrl() const { return siteUrlOf('/' + m_pageName.toLatin1()); }

QUrl PageSite::siteUrlOf(const QByteArray &encodedPath) const {
    return QUrl::fromEncoded(origin().toEncoded() + QByteArray(m_ancestors.size(), '/') + encodedPath);
}

bool PageSite::owns(const QUrl &url) const {
    return url.scheme() == QLatin1String(PageScheme::Name) && url.host() == m_host;
}

bool PageSite::isPage(const QUrl &url) const {
    return owns(url) && url.path(QUrl::FullyDecoded) == pageUrl().path(QUrl::FullyDecoded) && !url.hasQuery();
}

PageSite::Place PageSite::placeOf(const QByteArray &encodedPath) const {
    // Each empty segment with a segment after it is one folder further
    // down the document's path.
    Place place;
    qsizetype at = 0;
    while (place.level < m_ancestors.size() && at + 1 < encodedPath.size() && encodedPath[at + 1] == '/') {
        at++;
        place.level++;
    }
    place.rest = encodedPath.mid(at);
    if (!place.rest.startsWith('/'))
        place.rest.prepend('/');
    return place;
}

std::optional<QByteArray> PageSite::folderPathOf(const Place &place) const {
    // A path that climbed out of the folder and back into it ("../notes/x"
    // from notes/) is below it all the same.
    qsizetype at = 0;
    for (qsizetype level = place.level; level < m_ancestors.size(); level++) {
        const qsizetype next = place.rest.indexOf('/', at + 1);
        if (next < 0 || QByteArray::fromPercentEncoding(place.rest.mid(at + 1, next - at - 1)) !=
                            QByteArray::fromPercentEncoding(m_ancestors[level]))
            return std::nullopt;
        at = next;
    }
    return place.rest.mid(at);
}

QUrl PageSite::documentUrlFor(const QUrl &url) const {
    const Place place = placeOf(url.path(QUrl::FullyEncoded).toLatin1());
    QByteArray folder = "file:///";
    for (qsizetype level = 0; level < place.level; level++)
        folder += m_ancestors[level] + '/';
    // "." first, so that a path that begins with "//" stays a path.
    QByteArray relative = '.' + place.rest;
    if (url.hasQuery())
        relative += '?' + url.query(QUrl::FullyEncoded).toLatin1();
    if (url.hasFragment())
        relative += '#' + url.fragment(QUrl::FullyEncoded).toLatin1();
    return QUrl::fromEncoded(folder).resolved(QUrl::fromEncoded(relative));
}

void PageSite::releasePage() {
    m_page = QByteArray();
    m_hasPage = false;
}

// --- The folder's files ------------------------------------------------------------

QByteArray PageSite::descriptorPath() const { return "/proc/self/fd/" + QByteArray::number(m_folder); }

std::optional<QByteArray> PageSite::folderFile(const QByteArray &encodedPath) const {
    if (m_folder < 0)
        return std::nullopt;
    const QByteArray relative = QByteArray::fromPercentEncoding(encodedPath);
    if (!relative.startsWith('/') || relative.contains('\0'))
        return std::nullopt;
    // The folder as it is now (it may have moved), and the file with every
    // link on its way followed: it must still lie below the folder.
    const std::optional<QByteArray> folder = canonicalNativePath(descriptorPath());
    const std::optional<QByteArray> file = canonicalNativePath(descriptorPath() + relative);
    if (!folder || !file)
        return std::nullopt;
    const QByteArray prefix = folder->endsWith('/') ? *folder : *folder + '/';
    if (!file->startsWith(prefix))
        return std::nullopt;
    struct stat status;
    if (::stat(file->constData(), &status) != 0 || !S_ISREG(status.st_mode))
        return std::nullopt;
    return file;
}

bool PageSite::hasFolderFile(const QByteArray &encodedPath) const { return folderFile(encodedPath).has_value(); }

QUrl PageSite::folderFileUrl(const QByteArray &encodedPath) const {
    return QUrl::fromEncoded("file://" + descriptorPath() + encodedPath);
}

std::optional<QByteArray> PageSite::folderPathOf(const QUrl &url) const {
    if (m_folder < 0)
        return std::nullopt;
    if (owns(url))
        return folderPathOf(placeOf(url.path(QUrl::FullyEncoded).toLatin1()));
    if (url.scheme() != QLatin1String("file") || !url.host().isEmpty())
        return std::nullopt;
    const QByteArray path = url.path(QUrl::FullyEncoded).toLatin1();
    const QByteArray prefix = descriptorPath() + '/';
    if (!path.startsWith(prefix))
        return std::nullopt;
    return path.mid(prefix.size() - 1);
}

PageSite *PageSite::forHost(const QString &host) { return sites().value(host, nullptr); }

PageSite *PageSite::forOrigin(const QUrl &origin) {
    if (origin.scheme() != QLatin1String(PageScheme::Name))
        return nullptr;
    return forHost(origin.host());
}

}  // namespace platform
