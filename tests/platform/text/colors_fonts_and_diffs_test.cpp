// Colours from hexadecimal text, font families named by Mac themes, and
// differences written as CriticMarkup.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QFontDatabase>
#include <QFontInfo>
#include <QProcess>
#include <QTemporaryDir>

#include "platform/text/critic_diff.h"
#include "platform/text/font_resolver.h"
#include "platform/text/hex_color.h"
#include "support/qt_print.h"

using platform::FontResolver;
using platform::HexColor;

TEST(HexColor, ReadsThreeFourSixAndEightDigitsWithAlphaFirst) {
    struct Case {
        const char *text;
        int r, g, b, a;
    } cases[] = {
        {"#fff", 255, 255, 255, 255},     {"FFF", 255, 255, 255, 255},  {"#8888", 136, 136, 136, 136},
        {"#80FF0000", 255, 0, 0, 128},    {"1a2B3c", 26, 43, 60, 255},  {"##0#0#0", 0, 0, 0, 255},
        {"#F00", 255, 0, 0, 255},         {"ddd", 221, 221, 221, 255},  {"#0f08", 255, 0, 136, 0},
        {"#GG0000", 0, 0, 0, 255},  // digits that do not scan count 0
        {"#1G0000", 1, 0, 0, 255},  // the leading digits of a component are read
    };
    for (const Case &c : cases) {
        const QColor color = HexColor::colorWithHexString(c.text);
        ASSERT_TRUE(color.isValid()) << c.text;
        EXPECT_EQ(color.red(), c.r) << c.text;
        EXPECT_EQ(color.green(), c.g) << c.text;
        EXPECT_EQ(color.blue(), c.b) << c.text;
        EXPECT_EQ(color.alpha(), c.a) << c.text;
    }
    for (const char *bad : {"", "#", "#12", "#12345", "1234567", "#123456789"})
        EXPECT_FALSE(HexColor::colorWithHexString(bad).isValid()) << bad;
    EXPECT_DOUBLE_EQ(HexColor::colorComponentFrom("F", 0, 1), 1.0);
    EXPECT_DOUBLE_EQ(HexColor::colorComponentFrom("80", 0, 2), 128 / 255.0);
    EXPECT_DOUBLE_EQ(HexColor::colorComponentFrom("AB", 5, 2), 0.0);  // out of range: empty, 0
}

TEST(FontResolver, MacFacesFallBackToInstalledFacesOfTheirKind) {
    const QString serif = FontResolver::familyForKind(FontResolver::Kind::Serif);
    const QString mono = FontResolver::familyForKind(FontResolver::Kind::Monospace);
    const QString sans = FontResolver::familyForKind(FontResolver::Kind::SansSerif);
    ASSERT_TRUE(QFontDatabase::hasFamily(serif));
    ASSERT_TRUE(QFontDatabase::hasFamily(mono));
    ASSERT_TRUE(QFontDatabase::hasFamily(sans));
    EXPECT_TRUE(QFontInfo(QFont(mono)).fixedPitch());

    for (const char *face : {"Menlo", "Monaco", "Courier New", "Menlo-Regular", "SF Mono"}) {
        if (QFontDatabase::hasFamily(face))
            continue;  // installed here: used as it is
        EXPECT_EQ(FontResolver::resolveFamily(face), mono) << face;
        EXPECT_TRUE(QFontInfo(FontResolver::font(face, 13)).fixedPitch()) << face;
    }
    for (const char *face : {"Palatino", "palatino", "Palatino-Roman", "Georgia"}) {
        if (QFontDatabase::hasFamily(face))
            continue;
        EXPECT_EQ(FontResolver::resolveFamily(face), serif) << face;
    }
    for (const char *face : {"Helvetica", "Helvetica Neue", "Lucida Grande"}) {
        if (QFontDatabase::hasFamily(face))
            continue;
        EXPECT_EQ(FontResolver::resolveFamily(face), sans) << face;
    }

    // Installed families stay; unknown names get the system's match.
    EXPECT_EQ(FontResolver::resolveFamily(mono), mono);
    EXPECT_TRUE(QFontDatabase::hasFamily(FontResolver::resolveFamily("No Such Face 123")));
    EXPECT_TRUE(QFontDatabase::hasFamily(FontResolver::resolveFamily("")));
    EXPECT_EQ(FontResolver::font("Menlo", 0).pointSizeF(), 12.0);
    EXPECT_EQ(FontResolver::font("Menlo", 15.5).pointSizeF(), 15.5);

    const QFont user = FontResolver::userFont();
    EXPECT_TRUE(QFontDatabase::hasFamily(user.family()));
    EXPECT_GT(user.pointSizeF(), 0);
}

// Where the system's monospace face has no fixed pitch (as "Noto Sans Mono"
// has not, for Qt), the faces above still resolve to one that has. The
// font set is the machine's own, with the system's monospace face made a
// proportional one; the check runs in a program of its own, since a
// program reads its font configuration once.
TEST(FontResolver, MonospaceKeepsAFixedPitchWhereTheSystemFaceHasNone) {
    const QString proportional = FontResolver::familyForKind(FontResolver::Kind::SansSerif);
    ASSERT_FALSE(QFontInfo(QFont(proportional)).fixedPitch()) << proportional.toStdString();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString config = dir.filePath(QStringLiteral("fonts.conf"));
    QFile file(config);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    const QString system = qEnvironmentVariable("FONTCONFIG_FILE", QStringLiteral("/etc/fonts/fonts.conf"));
    file.write(QStringLiteral("<?xml version=\"1.0\"?>\n<!DOCTYPE fontconfig SYSTEM \"urn:fontconfig:fonts.dtd\">\n"
                              "<fontconfig>\n  <include>%1</include>\n  <cachedir>%2</cachedir>\n"
                              "  <match target=\"pattern\">\n"
                              "    <test name=\"family\"><string>monospace</string></test>\n"
                              "    <edit name=\"family\" mode=\"prepend\" binding=\"strong\"><string>%3</string></edit>\n"
                              "  </match>\n</fontconfig>\n")
                   .arg(system, dir.filePath(QStringLiteral("cache")), proportional)
                   .toUtf8());
    file.close();

    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("FONTCONFIG_FILE"), config);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--gtest_filter=FontResolver.MacFacesFallBackToInstalledFacesOfTheirKind")});
    ASSERT_TRUE(child.waitForFinished(120000));
    const QString output = QString::fromUtf8(child.readAll());
    EXPECT_EQ(child.exitCode(), 0) << output.toStdString();
    EXPECT_TRUE(output.contains(QStringLiteral("[  PASSED  ] 1 test."))) << output.toStdString();
}

TEST(CriticDiff, DifferencesAreMarkedFromOldToNew) {
    using platform::mergeWithNewString;
    using platform::mergeWithOldString;
    EXPECT_EQ(mergeWithNewString("The cat sat.", "The cat sat.", true), "The cat sat.");
    EXPECT_EQ(mergeWithNewString("", "", true), "");
    EXPECT_EQ(mergeWithNewString("", "new", false), "{++new++}");
    EXPECT_EQ(mergeWithNewString("old", "", false), "{--old--}");
    EXPECT_EQ(mergeWithNewString("The cat sat on the mat.", "The dog sat on the mat.", true),
              "The {~~cat~>dog~~} sat on the mat.");
    EXPECT_EQ(mergeWithOldString("The dog sat on the mat.", "The cat sat on the mat.", true),
              "The {~~cat~>dog~~} sat on the mat.");
    EXPECT_EQ(mergeWithNewString("Hello world", "Hello brave world", true), "Hello {++brave ++}world");
    // Characters beyond ASCII are never split.
    EXPECT_EQ(mergeWithNewString(QStringLiteral("café 😀"), QStringLiteral("cafè 😃"), false),
              QStringLiteral("caf{~~é~>è~~} {~~😀~>😃~~}"));

    // Clean-up groups scattered letters into whole changes.
    EXPECT_EQ(mergeWithNewString("mouse", "sofas", false), "{~~m~>s~~}o{~~u~>fa~~}s{--e--}");
    EXPECT_EQ(mergeWithNewString("mouse", "sofas", true), "{~~mouse~>sofas~~}");

    // A NUL does not cut the texts short.
    const QString withNul = QStringLiteral("a") + QChar(u'\0') + QStringLiteral("b tail");
    EXPECT_EQ(mergeWithNewString(withNul, QString::fromUtf16(u"a\0b tail!", 9), false),
              QStringLiteral("a\uFFFDb tail{++!++}"));
}
