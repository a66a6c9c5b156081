#include <QApplication>
#include <QByteArray>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {
// Under CTest, VXT_TEST_HOME names a scratch folder in the build tree: the
// configuration (ports folder, the file dialogs' history) goes there, not
// into the user's, and the runtime folder is private, as Qt wants it. The
// programs the tests start inherit both.
void UseScratchHome() {
    const QByteArray home = qgetenv("VXT_TEST_HOME");
    if (home.isEmpty())
        return;
    const QByteArray config = home + "/config";
    const QByteArray runtime = home + "/runtime";
    for (const QByteArray& dir : {home, config, runtime})
        ::mkdir(dir.constData(), 0700);
    ::chmod(runtime.constData(), 0700);
    qputenv("XDG_CONFIG_HOME", config);
    qputenv("XDG_RUNTIME_DIR", runtime);
}
} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    UseScratchHome();
    ::testing::InitGoogleTest(&argc, argv);
    // CTest lists the tests in its own environment: no Qt is needed for
    // that, and none is started, so that it has nothing to warn about.
    if (GTEST_FLAG_GET(list_tests))
        return RUN_ALL_TESTS();
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
