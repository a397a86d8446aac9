#pragma once

// Real folders in a fresh temporary place per test, and a copy of the sample game in
// them; a file the test cannot make fails it.

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

namespace tarsun::testing {

inline const QString BotNamesFile = QStringLiteral("AI/BotNames.AI");
inline const QString ServerSettingsFile = QStringLiteral("Settings/ServerSettings.CON");
inline const QString AIDefaultsFile = QStringLiteral("AI/AIDefault.AI");
inline const QString ScoringFile = QStringLiteral("python/game/scoringCommon.py");

inline bool writeAll(const QString& path, const QByteArray& bytes) {
    QFile out(path);
    return out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size();
}

inline QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

class FolderFixture {
public:
    QString path(const QString& relative) const { return root_.filePath(relative); }
    QString folder(const QString& relative) const { return QDir().mkpath(path(relative)), path(relative); }
    QString file(const QString& relative, const QByteArray& bytes = {}) const {
        if (!writeAll(path(relative), bytes))
            QTest::qFail(qPrintable("the test could not write " + relative), __FILE__, __LINE__);
        return path(relative);
    }
    // A copy of the sample game, so nothing touches the originals.
    QString sampleGame() const {
        const QDir source(QStringLiteral(TARSUN_EXAMPLES_DIR "/Kestrelfall"));
        for (QDirIterator it(source.path(), QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
            const QString from = it.next(), to = path("game/" + source.relativeFilePath(from));
            // Without the whole sample no test of it means anything.
            if (!QDir().mkpath(QFileInfo(to).path()) || !QFile::copy(from, to))
                qFatal("the sample game could not be copied to %s", qPrintable(to));
        }
        return path("game");
    }

private:
    QTemporaryDir root_;
};

}  // namespace tarsun::testing
