#include "open_file_dialog.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <utility>

namespace tremlo::ui {

namespace {

struct FileType {
    const char* description;
    const char* patterns; // Qt's form: space-separated
};

constexpr FileType kFileTypes[] = {
    {QT_TRANSLATE_NOOP("OpenFileDialog", "メディア ファイル (すべての種類)"), "*.wav *.mid *.sgt"},
    {QT_TRANSLATE_NOOP("OpenFileDialog", "MIDI ファイル (midi) (*.mid)"), "*.mid"},
    {QT_TRANSLATE_NOOP("OpenFileDialog", "Windows オーディオ ファイル (wav) (*.wav)"), "*.wav"},
    {QT_TRANSLATE_NOOP("OpenFileDialog", "DirectX ミュージック セグメント ファイル (*.sgt)"),
     "*.sgt"},
    // After the four the program began with, so their numbers stay as the
    // settings remember them.
    {QT_TRANSLATE_NOOP("OpenFileDialog", "圧縮オーディオ ファイル (mp3, ogg, opus, flac)"),
     "*.mp3 *.ogg *.oga *.opus *.flac"},
    {QT_TRANSLATE_NOOP("OpenFileDialog", "プレイリスト (*.m3u, *.m3u8)"), "*.m3u *.m3u8"},
    {QT_TRANSLATE_NOOP("OpenFileDialog", "駅セット (*.stations.json)"), "*.stations.json"},
};

// The 1-based number of the chooser's file type. Depending on the Qt version
// the chooser reports the whole filter or only its shown description.
int filterNumber(const QString& selected) {
    const QStringList filters = openFileFilters();
    for (int i = 0; i < filters.size(); ++i) {
        if (selected == filters.at(i) ||
            selected == QCoreApplication::translate("OpenFileDialog", kFileTypes[i].description))
            return i + 1;
    }
    return 0;
}

} // namespace

QStringList openFileFilters() {
    // Qt reads the patterns from the last parentheses of a filter and, with
    // HideNameFilterDetails, shows everything before them: so each
    // description reads exactly as written, "(*.mid)" of the MIDI one
    // included.
    QStringList filters;
    for (const FileType& type : kFileTypes) {
        filters << QStringLiteral("%1 (%2)").arg(
            QCoreApplication::translate("OpenFileDialog", type.description),
            QString::fromLatin1(type.patterns));
    }
    return filters;
}

OpenFileDialog::OpenFileDialog(Settings& settings, QWidget* owner, std::string programFolder)
    : m_settings(settings), m_owner(owner), m_programFolder(std::move(programFolder)) {}

std::string OpenFileDialog::ShowOpenFileDialog() {
    if (m_lastFile.empty())
        m_lastFile = kFirstFileName;

    const QStringList filters = openFileFilters();
    QFileDialog dialog(m_owner, QCoreApplication::translate("OpenFileDialog", "ファイルを開く"),
                       QString::fromStdString(m_settings.DefDir));
    // Qt's own chooser rather than the desktop's: it reports the chosen file
    // type and shows the descriptions as written on every desktop, where a
    // portal chooser may rename or drop them.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters(filters);
    const int filter = m_lastFilter > 0 && m_lastFilter <= filters.size() ? m_lastFilter : 1;
    dialog.selectNameFilter(filters.at(filter - 1));
    dialog.selectFile(QString::fromStdString(m_lastFile));

    std::string result;
    if (runDialog(dialog) == QDialog::Accepted) {
        const QStringList files = dialog.selectedFiles();
        if (!files.isEmpty() && !files.first().isEmpty()) {
            const QFileInfo picked(files.first());
            result = picked.absoluteFilePath().toStdString();
            m_lastFile = result;
            const int number = filterNumber(dialog.selectedNameFilter());
            m_lastFilter = number > 0 ? number : filter;
            m_settings.DefDir = picked.absolutePath().toStdString();
        }
    }
    // The chooser may have moved the current directory; relative paths of the
    // program (its fixed sounds) are taken from the program folder.
    QDir::setCurrent(QString::fromStdString(m_programFolder));
    return result;
}

int OpenFileDialog::runDialog(QFileDialog& dialog) {
    return dialog.exec();
}

} // namespace tremlo::ui
