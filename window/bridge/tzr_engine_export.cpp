// What the bridge answers outside its cycle: the extension flags of the
// preferences, exports to any format with engines of their own, and tags.
#include <QFile>

#include <algorithm>

#include "library/d_string.h"
#include "library/engine.h"
#include "library/records.h"
#include "platform/prefs/defaults.h"
#include "platform/runtime/dispatch.h"
#include "platform/web/html_tags.h"
#include "library/tzr.h"
#include "window/bridge/engine_editor_link.h"
#include "window/bridge/tzr_engine.h"
#include "window/bridge/tzr_engine_core.h"
#include "window/window_log.h"

using platform::Defaults;

namespace {

// Where exported HTML loads MathJax and highlight.js from: a public script
// host, over https only, so that an export opened later never pulls scripts
// over a connection anybody on the way could change.
const char kScriptHost[] = "https://cdnjs.cloudflare.com";

// What exported HTML gets in its head, by the preferences.
QByteArray headInsertion(const QString &cssPath) {
    const Defaults &defaults = Defaults::standard();
    QByteArray insertion;
    if (defaults.boolForKey(QStringLiteral("exportPreviewCSS")) && !cssPath.isEmpty()) {
        QFile css(cssPath);
        if (css.open(QIODevice::ReadOnly))
            insertion += "<style type=\"text/css\">" + platform::styleElementText(css.readAll()) + "</style>\n";
    }
    if (defaults.boolForKey(QStringLiteral("addMathJax")))
        insertion += QByteArray("<script type=\"text/javascript\" src=\"") + kScriptHost +
                     "/ajax/libs/mathjax/2.7.2/MathJax.js?config=TeX-AMS-MML_HTMLorMML\"></script>\n";
    if (defaults.boolForKey(QStringLiteral("addSyntaxHighlighting"))) {
        insertion += QByteArray("<link rel=\"stylesheet\" href=\"") + kScriptHost +
                     "/ajax/libs/highlight.js/9.12.0/styles/default.min.css\">\n";
        insertion += QByteArray("<script type=\"text/javascript\" src=\"") + kScriptHost +
                     "/ajax/libs/highlight.js/9.12.0/highlight.min.js\"></script>\n";
        insertion += "<script>hljs.initHighlightingOnLoad();</script>\n";
    }
    return insertion;
}

}  // namespace

uint64_t TZREngine::extensions() {
    const Defaults &defaults = Defaults::standard();
    auto on = [&](const char *key) { return defaults.boolForKey(QLatin1String(key)); };
    uint64_t flags = 0;
    if (on("EXT_SMART"))
        flags |= TZR_EXT_SMART;
    if (on("EXT_NOTES"))
        flags |= TZR_EXT_NOTES;
    if (on("EXT_RANDOM_FOOT"))
        flags |= TZR_EXT_RANDOM_FOOT;
    if (on("EXT_NO_LABELS"))
        flags |= TZR_EXT_NO_LABELS;
    if (on("EXT_CRITIC"))
        flags |= TZR_EXT_CRITIC;
    const bool accept = on("EXT_CRITIC_ACCEPT");
    const bool reject = on("EXT_CRITIC_REJECT");
    if (accept)
        flags |= TZR_EXT_CRITIC | TZR_EXT_CRITIC_ACCEPT;
    if (reject)
        flags |= TZR_EXT_CRITIC | TZR_EXT_CRITIC_REJECT;
    if (accept && reject)
        flags &= ~uint64_t(TZR_EXT_CRITIC_ACCEPT | TZR_EXT_CRITIC_REJECT);
    if (on("EXT_TRANSCLUDE"))
        flags |= TZR_EXT_TRANSCLUDE;
    if (on("EXT_COMPATIBILITY"))
        flags = 0x121;  // plain Markdown: everything gathered so far gives way
    if (on("EXT_COMPLETE"))
        flags |= TZR_EXT_COMPLETE;
    if (on("EXT_SNIPPET"))
        flags |= TZR_EXT_SNIPPET;
    return flags;
}

tzr_engine *TZREngine::createEngine(DString *source) {
    tzr_engine *e = tzr_engine_create_with_d_string(source, extensions());
    tzr_engine_set_language(e, languagePreference());
    return e;
}

QByteArray TZREngine::exportToFormat(short format, LeftOutFiles *leftOut) const {
    if (!platform::Dispatch::isMainThread()) {
        // The editor is read on the main thread only; rather no data than an
        // empty document.
        qCWarning(lcWindow, "An export off the main thread needs the text it exports");
        return {};
    }
    if (!m_editor)
        return exportToFormat(format, QByteArray(), QString(), leftOut);
    return exportToFormat(format, m_editor->utf8Text(), m_editor->activeCSSPath(), leftOut);
}

QByteArray TZREngine::exportToFormat(short format, const QByteArray &text, const QString &cssPath,
                                     LeftOutFiles *leftOut) const {
    if (leftOut)
        leftOut->clear();
    DString *source = d_string_new("");
    tzr_engine *e = createEngine(source);
    if (!e)
        return {};  // the failed create freed the source
    d_string_append_c_array(source, text.constData(), size_t(text.size()));
    m_core->prepareSource(source, format, extensions());
    const QByteArray folder = transclusionFolder().toUtf8();
    tzr_asset_report *report = leftOut ? tzr_asset_report_create() : nullptr;
    DString *out = tzr_engine_convert_to_data_reporting(e, uint16_t(format), pathOrNull(folder), report);
    QByteArray data = out ? QByteArray(out->str, qsizetype(out->length)) : QByteArray();
    for (size_t i = 0; i < tzr_asset_report_count(report); i++)
        leftOut->append({QString::fromUtf8(tzr_asset_report_address(report, i)), tzr_asset_report_reason(report, i)});
    tzr_asset_report_free(report);
    tzr_engine_free(e, false);
    d_string_free(source, true);
    d_string_free(out, true);

    if (format == 0) {
        const QByteArray insertion = headInsertion(cssPath);
        if (!insertion.isEmpty()) {
            const qsizetype head = data.indexOf("</head>");
            data.insert(head < 0 ? 0 : head, insertion);
        }
    }
    return data;
}

std::optional<QStringList> TZREngine::tzrTags() {
    std::lock_guard lock(m_core->engineMutex);
    m_core->ensureEngine(extensions());
    return tzrTagsFromEngine(m_core->engine);
}

namespace {

// The "tags" value as the document writes it: the text after the key's
// colon, then each further line of the value on a line of its own. The
// library hands out the value with its lines joined by spaces, which would
// run the last tag of a line into the first of the next; the tag rule needs
// the line ends. Empty when the entry that holds `value` is not found.
QByteArray writtenValue(tzr_engine *e, const char *value) {
    if (!e || !e->source || !e->source->str || !e->metadata_list)
        return {};
    const char *source = e->source->str;
    const size_t length = e->source->length;
    const tzr_meta *entry = nullptr;
    for (size_t i = 0; i < e->metadata_list->size && !entry; i++) {
        auto *candidate = static_cast<const tzr_meta *>(e->metadata_list->element[i]);
        if (candidate && candidate->value == value)
            entry = candidate;
    }
    if (!entry || entry->start >= length)
        return {};
    // The value runs to the next key line, and never past the block.
    size_t end = length;
    size_t blockEnd = 0;
    if (tzr_engine_has_metadata(e, &blockEnd) && blockEnd > entry->start)
        end = std::min(end, blockEnd);
    for (size_t i = 0; i < e->metadata_list->size; i++) {
        auto *other = static_cast<const tzr_meta *>(e->metadata_list->element[i]);
        if (other && other->start > entry->start)
            end = std::min(end, other->start);
    }

    const QByteArray block(source + entry->start, qsizetype(end - entry->start));
    QByteArray written;
    bool first = true;
    for (const QByteArray &line : block.split('\n')) {
        // Within a line, blanks count as the library counts them: any run
        // of spaces and tabs is one space.
        if (first) {
            const qsizetype colon = line.indexOf(':');
            written = colon < 0 ? QByteArray() : line.mid(colon + 1).simplified();
            first = false;
            continue;
        }
        const QByteArray text = line.simplified();
        // A blank line ends the block, a line of dashes closes it.
        if (text.isEmpty())
            break;
        if (text.count('-') == text.size())
            continue;
        written += '\n' + text;
    }
    return written;
}

}  // namespace

std::optional<QStringList> TZREngine::tzrTagsFromEngine(tzr_engine *e) {
    const char *value = tzr_engine_metavalue_for_key(e, "tags");
    if (!value || !*value)
        return std::nullopt;
    QString text = QString::fromUtf8(writtenValue(e, value));
    if (text.trimmed().isEmpty())
        text = QString::fromUtf8(value);
    text.replace(QLatin1String("\n"), QLatin1String(" , "));
    if (text.startsWith(QLatin1String(" , ")))
        text.remove(0, 3);
    text.remove(u'[');
    text.remove(u']');
    QStringList words = text.split(u' ');
    words.removeIf([](const QString &word) { return word.isEmpty() || word == QLatin1String("-"); });
    text = words.join(u' ');
    text.replace(QLatin1String(" ,"), QLatin1String(","));
    text.replace(QLatin1String(", "), QLatin1String(","));
    // A "-" between two commas or lines would leave an empty tag behind.
    return text.split(u',', Qt::SkipEmptyParts);
}

std::optional<QStringList> TZREngine::tzrTagsFromString(const QString &text) {
    DString *source = d_string_new(text.toUtf8().constData());
    tzr_engine *e = createEngine(source);
    if (!e)
        return std::nullopt;
    std::optional<QStringList> tags = tzrTagsFromEngine(e);
    tzr_engine_free(e, true);
    return tags;
}
