// Test entry point of the application's layers: the widgets under test need
// a QApplication, made once before GoogleTest runs. Listing the tests needs
// none, so that CTest can discover them without a display. The user's folders
// (preferences, extras, documents) are a temporary tree for the whole run, so
// that no test reads or changes the real ones.
#include <QApplication>
#include <QFile>

#include <cstring>
#include <memory>

#include <gtest/gtest.h>

#include "platform/files/folders.h"
#include "platform/web/engine_flags.h"
#ifdef ORVANE_TEST_WEB_ENGINE
#include "platform/web/page_scheme.h"
#endif

// Link Grammar keeps one small string for each thread that loads a
// dictionary and never frees it: the grammar service's own thread does.
extern "C" const char *__lsan_default_suppressions() { return "leak:liblink-grammar.so\n"; }

// Names the run's folder tree to the processes a death test starts.
constexpr char kRunFolders[] = "ORVANE_TEST_RUN_FOLDERS";

int main(int argc, char **argv) {
    bool listing = false, deathTestChild = false;
    for (int i = 1; i < argc; i++) {
        listing = listing || strcmp(argv[i], "--gtest_list_tests") == 0;
        deathTestChild = deathTestChild || strncmp(argv[i], "--gtest_internal_run_death_test", 31) == 0;
    }
    testing::InitGoogleTest(&argc, argv);
    if (listing)
        return RUN_ALL_TESTS();
    QCoreApplication::setOrganizationName("Orvane Tests");
    QCoreApplication::setApplicationName("Orvane Tests");
    // The web engine starts with the program's own flags, and knows the
    // program's scheme, in suites that have it.
    platform::hardenWebEngineFlags();
#ifdef ORVANE_TEST_WEB_ENGINE
    platform::PageScheme::registerScheme();
#endif
    QApplication application(argc, argv);
    // A death test's process ends without unwinding, so its own folder tree
    // is made inside the run's, which the run removes.
    const QByteArray runFolders = qgetenv(kRunFolders);
    if (deathTestChild && !runFolders.isEmpty())
        qputenv("TMPDIR", runFolders);
    platform::ScopedFolders folders;
    if (!deathTestChild)
        qputenv(kRunFolders, QFile::encodeName(folders.root()));
    return RUN_ALL_TESTS();
}
