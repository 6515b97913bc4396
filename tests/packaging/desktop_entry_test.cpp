// What a desktop makes of the entry and the MIME type the package installs:
// every type the entry claims must be one the shared MIME database knows,
// or the file manager never offers トレモロ for it, and a segment must be
// recognised by its contents as well as by its name.

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QMimeDatabase>
#include <QTemporaryDir>
#include <QTextStream>
#include <gtest/gtest.h>

namespace {

QString packagingFile(const char* name) {
    return QStringLiteral(TREMLO_PACKAGING_DIR "/") + QLatin1String(name);
}

// The values of `key` in the entry's [Desktop Entry] group, split at ';'.
QStringList entryValues(const QString& key) {
    QFile file(packagingFile("tremolo.desktop"));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly | QIODevice::Text));
    QTextStream in(&file);
    while (!in.atEnd()) {
        const QString line = in.readLine();
        if (line.startsWith(key + QLatin1Char('=')))
            return line.mid(key.size() + 1).split(QLatin1Char(';'), Qt::SkipEmptyParts);
    }
    return {};
}

// The shared MIME database with the package's type added, as after an
// install: the system's types and ours in one folder, which is how
// update-mime-database sees them. (With the two in separate folders Qt
// weighs their content rules apart, and RIFF's own rule wins.)
class PackagedMimeTypes : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_data = new QTemporaryDir;
        const QString packages = s_data->filePath(QStringLiteral("mime/packages"));
        ASSERT_TRUE(QDir().mkpath(packages));
        ASSERT_TRUE(QFile::copy(packagingFile("tremolo-mime.xml"),
                                packages + QStringLiteral("/tremolo.xml")));
        const QDir system(QStringLiteral("/usr/share/mime/packages"), QStringLiteral("*.xml"));
        for (const QString& name : system.entryList(QDir::Files))
            ASSERT_TRUE(QFile::copy(system.filePath(name), packages + QLatin1Char('/') + name));
        // Before the database's first use, which fixes its folders.
        qputenv("XDG_DATA_HOME", s_data->filePath(QStringLiteral("home")).toLocal8Bit());
        qputenv("XDG_DATA_DIRS", s_data->path().toLocal8Bit());
    }
    static void TearDownTestSuite() { delete s_data; }

    QString writeFile(const QString& name, const QByteArray& bytes) {
        QString path = s_data->filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return path;
    }

    static QTemporaryDir* s_data;
    QMimeDatabase m_database;
};

QTemporaryDir* PackagedMimeTypes::s_data = nullptr;

QByteArray riff(const char form[4]) {
    QByteArray bytes("RIFF");
    bytes.append("\x04\x00\x00\x00", 4).append(form, 4);
    return bytes.append(64, '\0');
}

TEST_F(PackagedMimeTypes, EveryTypeOfTheEntryIsKnown) {
    const QStringList types = entryValues(QStringLiteral("MimeType"));
    ASSERT_FALSE(types.isEmpty());
    for (const QString& name : types)
        EXPECT_TRUE(m_database.mimeTypeForName(name).isValid()) << name.toStdString();
}

TEST_F(PackagedMimeTypes, MelodiesAreTheEntrysTypes) {
    const QStringList types = entryValues(QStringLiteral("MimeType"));
    const QString wave = writeFile(QStringLiteral("melody.wav"), riff("WAVE"));
    const QString midi =
        writeFile(QStringLiteral("melody.mid"), QByteArray("MThd\0\0\0\x06\0\0\0\x01\x01\xE0", 14));
    const QString segment = writeFile(QStringLiteral("melody.sgt"), riff("DMSG"));
    const QString stations = writeFile(QStringLiteral("品川.stations.json"), "{}");
    QStringList paths{wave, midi, segment, stations};
    for (const char* made :
         {"mp3/chime.mp3", "ogg/chime.ogg", "opus/chime.opus", "flac/chime.flac"})
        paths << QStringLiteral(TREMLO_TESTDATA_DIR "/") + QLatin1String(made);
    for (const QString& path : paths)
        EXPECT_TRUE(types.contains(m_database.mimeTypeForFile(path).name()))
            << path.toStdString() << " is "
            << m_database.mimeTypeForFile(path).name().toStdString();
}

TEST_F(PackagedMimeTypes, SegmentsAreKnownByContentsAndByName) {
    const QString type = QStringLiteral("audio/x-directmusic-segment");
    const QString unnamed = writeFile(QStringLiteral("melody"), riff("DMSG"));
    EXPECT_EQ(m_database.mimeTypeForFile(unnamed, QMimeDatabase::MatchContent).name(), type)
        << m_database.mimeTypeForFile(unnamed).name().toStdString();
    EXPECT_EQ(
        m_database.mimeTypeForFile(QStringLiteral("x/メロディ.SGT"), QMimeDatabase::MatchExtension)
            .name(),
        type);
    // Another RIFF form is no segment, whatever its name says.
    const QString wave = writeFile(QStringLiteral("wave.sgt"), riff("WAVE"));
    EXPECT_NE(m_database.mimeTypeForFile(wave, QMimeDatabase::MatchContent).name(), type);
    EXPECT_TRUE(m_database.mimeTypeForName(type).inherits(QStringLiteral("application/x-riff")));
}

} // namespace
