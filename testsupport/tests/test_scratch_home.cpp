// The suite keeps out of the user's configuration: under CTest every test
// program writes its configuration (the file dialogs' history, the ports
// folder) into a scratch folder of the build tree, and its runtime folder is
// a private one, so that Qt has nothing to warn about.
#include "serial/port_names.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <gtest/gtest.h>

namespace {

QStringList warnings;
void Collect(QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type != QtDebugMsg && type != QtInfoMsg)
        warnings << text;
}

TEST(ScratchHome, ConfigurationGoesIntoTheBuildTree) {
    const QString home = qEnvironmentVariable("VXT_TEST_HOME");
    ASSERT_FALSE(home.isEmpty()) << "run under CTest, which names the scratch folder";
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    EXPECT_TRUE(config.startsWith(home + QLatin1Char('/'))) << config.toStdString();
    EXPECT_TRUE(DefaultPortsFolder().startsWith(home + QLatin1Char('/')))
        << DefaultPortsFolder().toStdString();
    // Where Qt's file dialogs keep their history.
    QSettings qtProject(QSettings::UserScope, QStringLiteral("QtProject"));
    EXPECT_TRUE(qtProject.fileName().startsWith(home + QLatin1Char('/')))
        << qtProject.fileName().toStdString();
}

TEST(ScratchHome, RuntimeFolderIsPrivateAndQtDoesNotWarn) {
    warnings.clear();
    const QtMessageHandler old = qInstallMessageHandler(Collect);
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    qInstallMessageHandler(old);
    EXPECT_TRUE(warnings.isEmpty()) << warnings.join('\n').toStdString();
    EXPECT_EQ(runtime, qEnvironmentVariable("XDG_RUNTIME_DIR"));
    const QFileInfo info(runtime);
    EXPECT_TRUE(info.isDir());
    EXPECT_EQ(info.permissions() & (QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup |
                                    QFile::ReadOther | QFile::WriteOther | QFile::ExeOther),
              QFile::Permissions());
}

} // namespace
