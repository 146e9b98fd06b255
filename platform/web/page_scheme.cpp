#include "platform/web/page_scheme.h"

#include "platform/files/native_path.h"
#include "platform/runtime/log.h"
#include "platform/web/page_scripts.h"
#include "platform/web/page_site.h"
#include "platform/web/web_content_guard.h"

#include <QBuffer>
#include <QFile>
#include <QMimeDatabase>
#include <QWebEngineProfile>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <QWebEngineUrlSchemeHandler>

#include <sys/stat.h>

namespace platform {

namespace {

bool endsWithOneOf(QStringView path, std::initializer_list<const char16_t *> endings) {
    for (const char16_t *ending : endings)
        if (path.endsWith(QStringView(ending), Qt::CaseInsensitive))
            return true;
    return false;
}

// Serves the pages of the program's sites, the fonts of their folders and the
// shared scripts. The guard has decided what may be asked for; this answers
// only for what is there, and alike for what is not there and what may not
// be had.
class PageSchemeHandler : public QWebEngineUrlSchemeHandler {
public:
    explicit PageSchemeHandler(QObject *parent) : QWebEngineUrlSchemeHandler(parent) {}

    void requestStarted(QWebEngineUrlRequestJob *job) override {
        const QUrl url = job->requestUrl();
        if (job->requestMethod() != "GET") {
            job->fail(QWebEngineUrlRequestJob::RequestDenied);
            return;
        }
        const QByteArray path = url.path(QUrl::FullyEncoded).toLatin1();
        if (url.host() == PageScheme::ScriptHost) {
            if (const std::optional<QByteArray> file = PageScheme::scriptFile(path))
                serveFile(job, *file);
            else
                job->fail(QWebEngineUrlRequestJob::UrlNotFound);
            return;
        }
        if (url.host() == PageScheme::ProgramHost) {
            const QString name = url.path().mid(1);
            if (!name.isEmpty() && !name.contains(u'/') && hasPageResource(name)) {
                auto *buffer = new QBuffer(job);
                buffer->setData(pageResource(name).toUtf8());
                buffer->open(QIODevice::ReadOnly);
                job->reply(QByteArrayLiteral("text/javascript"), buffer);
            } else {
                job->fail(QWebEngineUrlRequestJob::UrlNotFound);
            }
            return;
        }
        PageSite *site = PageSite::forHost(url.host());
        if (site && site->isPage(url) && site->hasPage()) {
            // The page's text as it is kept: the buffer shares it.
            auto *buffer = new QBuffer(job);
            buffer->setData(site->page());
            buffer->open(QIODevice::ReadOnly);
            job->reply(QByteArrayLiteral("text/html"), buffer);
            return;
        }
        if (site && PageSite::forOrigin(job->initiator()) == site && PageScheme::isFontName(url.path())) {
            const std::optional<QByteArray> below = site->folderPathOf(url);
            if (const std::optional<QByteArray> file = below ? site->folderFile(*below) : std::nullopt) {
                serveFile(job, *file);
                return;
            }
        }
        job->fail(QWebEngineUrlRequestJob::UrlNotFound);
    }

private:
    static void serveFile(QWebEngineUrlRequestJob *job, const QByteArray &path) {
        auto *file = new QFile(QFile::decodeName(path), job);
        if (!file->open(QIODevice::ReadOnly)) {
            job->fail(QWebEngineUrlRequestJob::UrlNotFound);
            return;
        }
        static const QMimeDatabase types;
        job->reply(types.mimeTypeForFile(file->fileName(), QMimeDatabase::MatchExtension).name().toLatin1(), file);
    }
};

}  // namespace

void PageScheme::registerScheme() {
    if (!QWebEngineUrlScheme::schemeByName(QByteArray(Name)).name().isEmpty())
        return;
    QWebEngineUrlScheme scheme{QByteArray(Name)};
    // Hosts make origins: each site is an origin of its own, and the shared
    // scripts another. Pages may load file: addresses at all (the guard lets
    // only their folder's through, by its descriptor), and MathJax loads its
    // fonts from the shared scripts' origin, which needs cross-origin
    // requests; what the program serves itself of a folder is fonts alone,
    // which no script reads.
    scheme.setSyntax(QWebEngineUrlScheme::Syntax::Host);
    scheme.setFlags(QWebEngineUrlScheme::LocalAccessAllowed | QWebEngineUrlScheme::CorsEnabled);
    QWebEngineUrlScheme::registerScheme(scheme);
}

void PageScheme::install(QWebEngineProfile *profile) {
    if (!profile)
        return;
    if (QWebEngineUrlScheme::schemeByName(QByteArray(Name)).name().isEmpty())
        qCWarning(lcPlatform) << "The program's URL scheme was not registered before the web engine started:"
                                 " its pages cannot show";
    if (!profile->urlSchemeHandler(QByteArray(Name)))
        profile->installUrlSchemeHandler(QByteArray(Name), new PageSchemeHandler(profile));
    WebContentGuard::protect(profile);
}

QUrl PageScheme::scriptUrl(const QString &path) {
    QUrl url;
    url.setScheme(QString::fromLatin1(Name));
    url.setHost(ScriptHost.toString());
    url.setPath(path.startsWith(u'/') ? path : u'/' + path);
    return url;
}

QUrl PageScheme::programUrl(const QString &name) {
    QUrl url;
    url.setScheme(QString::fromLatin1(Name));
    url.setHost(ProgramHost.toString());
    url.setPath(u'/' + name);
    return url;
}

std::optional<QByteArray> PageScheme::scriptFile(const QByteArray &encodedPath) {
    const QByteArray relative = QByteArray::fromPercentEncoding(encodedPath);
    if (!relative.startsWith('/') || relative.contains('\0'))
        return std::nullopt;
    const QByteArray folder = QFile::encodeName(SystemScriptFolder.toString());
    const std::optional<QByteArray> root = canonicalNativePath(folder);
    const std::optional<QByteArray> file = canonicalNativePath(folder + relative);
    if (!root || !file || !file->startsWith(*root + '/'))
        return std::nullopt;
    struct stat status;
    if (::stat(file->constData(), &status) != 0 || !S_ISREG(status.st_mode))
        return std::nullopt;
    return file;
}

QString PageScheme::contentSecurityPolicy() {
    const QString scripts = QString::fromLatin1(Name) + QStringLiteral("://") + ScriptHost.toString();
    const QString program = QString::fromLatin1(Name) + QStringLiteral("://") + ProgramHost.toString();
    // 'self' is the page's own site. file: comes in only as the address of
    // what the site's folder shows (the guard refuses any other), and what
    // a style sheet of the folder names in turn.
    return QStringLiteral(
               "default-src 'none'; "
               "script-src 'unsafe-inline' 'unsafe-eval' %1 %2; "
               "style-src 'unsafe-inline' 'self' file: %1; "
               "img-src 'self' file: data: blob: %1; "
               "font-src 'self' file: data: %1; "
               "media-src 'self' file: data: blob:; "
               "connect-src 'none'; frame-src 'none'; child-src 'none'; worker-src 'none'; object-src 'none'; "
               "manifest-src 'none'; prefetch-src 'none'; form-action 'none'; base-uri 'none'")
        .arg(scripts, program);
}

QByteArray PageScheme::sealedPage(const QString &html) {
    // After the document type, when there is one (with only white space and
    // comments before it): anything ahead of it would put the page in quirks
    // mode. What comes there opens the head.
    qsizetype at = 0;
    for (;;) {
        while (at < html.size() && html[at].isSpace())
            at++;
        if (!QStringView(html).mid(at, 4).startsWith(u"<!--"))
            break;
        const qsizetype end = html.indexOf(QLatin1String("-->"), at + 4);
        if (end < 0)
            break;
        at = end + 3;
    }
    qsizetype insertAt = 0;
    if (QStringView(html).mid(at, 9).compare(u"<!DOCTYPE", Qt::CaseInsensitive) == 0) {
        const qsizetype end = html.indexOf(u'>', at);
        if (end >= 0)
            insertAt = end + 1;
    }
    const QByteArray seal =
        QByteArrayLiteral("<meta charset=\"utf-8\"><meta http-equiv=\"Content-Security-Policy\" content=\"") +
        contentSecurityPolicy().toUtf8() + QByteArrayLiteral("\">");
    // The page is converted once; the seal goes in within the room the
    // conversion leaves.
    QByteArray page = html.toUtf8();
    page.insert(QStringView(html).left(insertAt).toUtf8().size(), seal);
    return page;
}

bool PageScheme::isFontName(QStringView path) {
    return endsWithOneOf(path, {u".woff", u".woff2", u".ttf", u".otf", u".ttc", u".eot"});
}

bool PageScheme::isStyleSheetName(QStringView path) { return path.endsWith(u".css", Qt::CaseInsensitive); }

}  // namespace platform
