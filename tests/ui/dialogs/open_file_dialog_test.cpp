// The melody file chooser: what it offers and starts with, and what a pick or
// a cancel leaves behind, with the chooser driven by the test instead of a user.

#include "dialogs_test_support.h"
#include "open_file_dialog.h"

#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <unistd.h>

namespace tremlo::ui::test {
namespace {

namespace fs = std::filesystem;

// What the chooser showed when it opened.
struct Seen {
    QStringList shownFilters;
    int filter = 0; // 1-based
    QString fileNameBox;
    QString folder;
};

class ScriptedChooser : public OpenFileDialog {
public:
    using OpenFileDialog::OpenFileDialog;
    // Plays the user's part; returns the dialog's result.
    std::function<int(QFileDialog&)> user = [](QFileDialog&) { return int(QDialog::Rejected); };
    Seen seen;

protected:
    int runDialog(QFileDialog& dialog) override {
        const auto* types = dialog.findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
        seen.shownFilters.clear();
        for (int i = 0; i < types->count(); ++i)
            seen.shownFilters << types->itemText(i);
        seen.filter = types->currentIndex() + 1;
        seen.fileNameBox = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->text();
        seen.folder = dialog.directory().absolutePath();
        // Qt's chooser follows the folder it shows; so may any other.
        QDir::setCurrent(QDir::tempPath());
        return user(dialog);
    }
};

class OpenFileDialogTest : public ::testing::Test {
protected:
    OpenFileDialogTest()
        : root(fs::temp_directory_path() / ("tremolo-open-" + std::to_string(::getpid()))) {
        application();
        fs::create_directories(root / "program");
        fs::create_directories(root / "music" / "wave");
        std::ofstream(root / "music" / "wave" / "melody.wav") << "RIFF";
        settings.DefDir = (root / "music").string();
    }
    ~OpenFileDialogTest() override {
        fs::current_path(fs::temp_directory_path());
        fs::remove_all(root);
    }
    static std::function<int(QFileDialog&)> pick(const fs::path& file, int filter) {
        return [=](QFileDialog& dialog) {
            dialog.selectFile(QString::fromStdString(file.string()));
            dialog.selectNameFilter(openFileFilters().at(filter - 1));
            return int(QDialog::Accepted);
        };
    }

    fs::path root;
    Settings settings;
    ScriptedChooser chooser{settings, nullptr, (root / "program").string()};
};

TEST_F(OpenFileDialogTest, FirstUseOffersTheTypesWithThePatternInTheNameBox) {
    const std::string folder = settings.DefDir;
    EXPECT_EQ(chooser.ShowOpenFileDialog(), "");
    EXPECT_EQ(chooser.seen.shownFilters,
              QStringList({"メディア ファイル (すべての種類)", "MIDI ファイル (midi) (*.mid)",
                           "Windows オーディオ ファイル (wav) (*.wav)",
                           "DirectX ミュージック セグメント ファイル (*.sgt)",
                           "圧縮オーディオ ファイル (mp3, ogg, opus, flac)",
                           "プレイリスト (*.m3u, *.m3u8)", "駅セット (*.stations.json)"}));
    EXPECT_EQ(openFileFilters().at(0), "メディア ファイル (すべての種類) (*.wav *.mid *.sgt)");
    EXPECT_EQ(chooser.seen.filter, 1);
    EXPECT_EQ(chooser.seen.fileNameBox, "*.wav; *.mid; *.sgt");
    EXPECT_EQ(chooser.seen.folder.toStdString(), folder);
    // Cancelled: only the current directory is put back.
    EXPECT_EQ(chooser.lastFilter(), 0);
    EXPECT_EQ(settings.DefDir, folder);
    EXPECT_EQ(QDir::currentPath().toStdString(), (root / "program").string());
}

TEST_F(OpenFileDialogTest, APickIsRememberedForTheNextChooserOfTheRun) {
    const fs::path melody = root / "music" / "wave" / "melody.wav";
    chooser.user = pick(melody, 3);
    EXPECT_EQ(chooser.ShowOpenFileDialog(), melody.string());
    EXPECT_EQ(chooser.lastFile(), melody.string());
    EXPECT_EQ(chooser.lastFilter(), 3);
    EXPECT_EQ(settings.DefDir, (root / "music" / "wave").string());
    EXPECT_EQ(QDir::currentPath().toStdString(), (root / "program").string());

    chooser.user = [](QFileDialog&) { return int(QDialog::Rejected); };
    EXPECT_EQ(chooser.ShowOpenFileDialog(), "");
    EXPECT_EQ(chooser.seen.filter, 3);
    EXPECT_EQ(chooser.seen.fileNameBox, "melody.wav");
    EXPECT_EQ(chooser.seen.folder.toStdString(), settings.DefDir);
    // The cancel changed nothing.
    EXPECT_EQ(chooser.lastFile(), melody.string());
    EXPECT_EQ(chooser.lastFilter(), 3);
    EXPECT_EQ(settings.DefDir, (root / "music" / "wave").string());
}

} // namespace
} // namespace tremlo::ui::test
