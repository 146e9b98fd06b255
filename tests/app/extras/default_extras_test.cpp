// The extras the application ships: each one is read by the text engine's
// own readers as the editor will read it, and names only styles, keys and
// actions that exist.
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include <gtest/gtest.h>

#include "app/extras/tzr_theme_controller.h"
#include "library/diagnostics.h"
#include "textengine/typing/expansions.h"
#include "textengine/settings/keybindings.h"
#include "platform/files/folders.h"
#include "platform/prefs/registered_defaults.h"
#include "textengine/buffer/smart_string.h"
#include "textengine/settings/style_names.h"
#include "support/qt_print.h"
#include "textengine/settings/theme.h"

namespace {

// What the library and the text engine log while it lives.
class EngineLog {
public:
    EngineLog() { tzr_log_set_handler(&EngineLog::collect, &m_lines); }
    ~EngineLog() { tzr_log_set_handler(nullptr, nullptr); }
    const QStringList &lines() const { return m_lines; }

private:
    static void collect(const char *line, void *context) {
        static_cast<QStringList *>(context)->append(QString::fromUtf8(line));
    }
    QStringList m_lines;
};

QByteArray contents(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class DefaultExtras : public testing::Test {
protected:
    QStringList shipped(const QString &extension) const {
        return m_controller.defaultResourcesForExtension(extension);
    }
    platform::ScopedFolders m_folders;
    TZRThemeController m_controller{TZRThemeController::standardLocations()};
};

TEST_F(DefaultExtras, EveryKindIsShippedAsRealFiles) {
    EXPECT_EQ(shipped("theme").size(), 4);
    EXPECT_EQ(shipped("css").size(), 3);
    EXPECT_EQ(shipped("json").size(), 3);
    ASSERT_EQ(shipped("keybinding").size(), 1);
    // Real files that the text engine can open, not resource paths.
    EXPECT_FALSE(shipped("keybinding").first().startsWith(u':'));
    EXPECT_FALSE(contents(shipped("keybinding").first()).isEmpty());
    EXPECT_EQ(m_controller.filePathForKeyBindings(), shipped("keybinding").first());
}

TEST_F(DefaultExtras, TheRegisteredDefaultThemeAndStyleSheetAreShipped) {
    // A new user's preferences name them; without them the first window
    // would open unstyled.
    platform::ScopedStandardDefaults standard;
    const QString theme = standard.defaults().stringForKey("defaultTheme");
    const QString css = standard.defaults().stringForKey("defaultCSS");
    EXPECT_EQ(m_controller.filePathForThemeNamed(theme), m_controller.locations().resources + "/" + theme + ".theme");
    EXPECT_EQ(m_controller.filePathForCSSNamed(css), m_controller.locations().resources + "/" + css + ".css");
}

TEST_F(DefaultExtras, ThemesReadWithEveryKeyKnown) {
    const QSet<QString> styleKeys = {"fontName", "fontSize", "fontScale", "foregroundColor",
                                     "backgroundColor", "italic", "bold", "superscript", "underline",
                                     "leftIndent", "rightIndent", "paraSpace", "paraSpaceBefore"};
    const QSet<QString> rootKeys = {"caretColor", "selectionColor", "lineHeight", "kerning",
                                    "horizontalPadding", "verticalPadding", "sidebarBackgroundColor",
                                    "sidebarTextColor", "sidebarTextColorHighlighted",
                                    "sidebarTextColorHighlightedInactive", "sidebarHighlightColor",
                                    "sidebarHighlightColorInactive"};
    char **names = smart_text_style_names_new();
    QSet<QString> styleNames;
    for (int i = 0; i < kThemeStyleCount; i++)
        if (names[i])
            styleNames.insert(QString::fromUtf8(names[i]));

    for (const QString &path : shipped("theme")) {
        SCOPED_TRACE(path.toStdString());
        EngineLog log;
        theme *t = theme_load_file(QFile::encodeName(path).constData(), names, kThemeStyleCount);
        ASSERT_NE(t, nullptr);
        EXPECT_TRUE(theme_has_style(t, 0));
        EXPECT_TRUE(theme_has_style(t, 125));  // strong
        EXPECT_NE(theme_caret_color(t).alpha, 0);
        free(t);
        EXPECT_TRUE(log.lines().isEmpty());
        // A misspelt key would be ignored in silence.
        const QJsonObject root = QJsonDocument::fromJson(contents(path)).object();
        for (auto it = root.begin(); it != root.end(); ++it) {
            if (!it.value().isObject()) {
                EXPECT_TRUE(styleKeys.contains(it.key()) || rootKeys.contains(it.key())) << it.key().toStdString();
                continue;
            }
            EXPECT_TRUE(styleNames.contains(it.key())) << it.key().toStdString();
            for (const QString &key : it.value().toObject().keys())
                EXPECT_TRUE(styleKeys.contains(key)) << it.key().toStdString() << "." << key.toStdString();
        }
    }
    smart_text_style_names_free(names);
}

TEST_F(DefaultExtras, ExpansionSetsLoadWithDistinctKeysThatExpand) {
    _SString *s = smart_string_new("", SMART_STRING_EXPANSIONS);
    EngineLog log;
    QSet<QString> keys;
    for (const QString &path : shipped("json")) {
        SCOPED_TRACE(path.toStdString());
        smart_string_load_expansions(s, QFile::encodeName(path).constData());
        const QJsonArray entries = QJsonDocument::fromJson(contents(path)).object().value("expansions").toArray();
        EXPECT_FALSE(entries.isEmpty());
        for (const QJsonValue &entry : entries) {
            const QString key = entry.toObject().value("key").toString();
            EXPECT_FALSE(key.isEmpty());
            EXPECT_TRUE(entry.toObject().value("expansion").isString()) << key.toStdString();
            EXPECT_FALSE(keys.contains(key)) << "defined twice: " << key.toStdString();
            keys.insert(key);
        }
    }
    // Neither bad JSON nor a key defined twice was reported.
    EXPECT_TRUE(log.lines().isEmpty()) << log.lines().join("").toStdString();
    // Typed, a key turns into its template.
    smart_string_set_caret(s, 0, 0);
    for (const char c : std::string(";add")) {
        smart_string_change change = {};
        change.tags = 1;
        smart_string_replace(s, smart_string_caret_start(s), 0, std::string(1, c).c_str(), &change);
    }
    EXPECT_STREQ(smart_string_text(s), "{++%|++}");
    smart_string_free(s, true);
}

TEST_F(DefaultExtras, DefaultKeyBindingsAreAllReachable) {
    stack *table = key_bindings_from_file(QFile::encodeName(shipped("keybinding").first()).constData());
    ASSERT_NE(table, nullptr);
    EXPECT_GE(table->size, 9u);
    QSet<uint64_t> codes;
    for (size_t i = 0; i < table->size; i++) {
        const auto *binding = static_cast<const key_binding *>(table->element[i]);
        // A binding without a kept modifier is never dispatched.
        EXPECT_NE(binding->modifiers, 0u) << binding->key;
        EXPECT_FALSE(codes.contains(binding->code)) << "bound twice: " << std::hex << binding->code;
        codes.insert(binding->code);
    }
    // Everything the built-in fallback binds is bound the same way here.
    stack *builtIn = key_bindings_from_string(TZRThemeController::builtInKeyBindings());
    ASSERT_EQ(builtIn->size, 9u);
    for (size_t i = 0; i < builtIn->size; i++) {
        const auto *expected = static_cast<const key_binding *>(builtIn->element[i]);
        const key_binding *found = key_bindings_lookup(table, expected->key, expected->modifiers);
        ASSERT_NE(found, nullptr) << std::hex << expected->code;
        EXPECT_STREQ(key_binding_action_at_index(found, 0), expected->actions.action);
    }
    key_bindings_free(builtIn);
    key_bindings_free(table);
}

TEST_F(DefaultExtras, StyleSheetsStyleTheNotesAndChanges) {
    for (const QString &path : shipped("css")) {
        SCOPED_TRACE(path.toStdString());
        const QByteArray css = contents(path);
        for (const char *selector : {".footnotes", "a.reversefootnote", ".citations", "ins", "del", "mark",
                                     "span.critic.comment", "table"})
            EXPECT_TRUE(css.contains(selector)) << selector;
        EXPECT_EQ(css.count('{'), css.count('}'));
    }
}

}  // namespace
