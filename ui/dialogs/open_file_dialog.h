#pragma once

// The melody file chooser behind the shortcut menu's open command and the
// status panel's eject button. It loads nothing: it only returns a path.
//
// Within one run the chooser reopens on the file picked last, with the file
// type used then; both are forgotten when the program ends. The folder it
// starts in is DefDir, which a confirmed pick moves to the file's folder (in
// memory; the settings file gets it at the next save).
//
// Thread: the user-interface thread.

#include "settings.h"

#include <QString>
#include <QStringList>
#include <string>

class QFileDialog;
class QWidget;

namespace tremlo::ui {

// What the first chooser of a run shows in its file-name box.
inline constexpr const char* kFirstFileName = "*.wav; *.mid; *.sgt";

// The four file types in the order the chooser offers them, each as Qt's
// "description (patterns)". The chooser shows only the descriptions.
QStringList openFileFilters();

class OpenFileDialog {
public:
    // `owner` may be null; `programFolder` is made the current directory
    // again after every chooser.
    OpenFileDialog(Settings& settings, QWidget* owner, std::string programFolder);
    virtual ~OpenFileDialog() = default;
    OpenFileDialog(const OpenFileDialog&) = delete;
    OpenFileDialog& operator=(const OpenFileDialog&) = delete;

    // Modal. The picked file's full path, or empty when the user cancelled.
    std::string ShowOpenFileDialog();

    const std::string& lastFile() const { return m_lastFile; }
    // 1-based; 0 until the first confirmed pick of the run.
    int lastFilter() const { return m_lastFilter; }

protected:
    // Runs the prepared chooser; QDialog::Accepted when a file was picked.
    virtual int runDialog(QFileDialog& dialog);

private:
    Settings& m_settings;
    QWidget* m_owner;
    std::string m_programFolder;
    std::string m_lastFile;
    int m_lastFilter = 0;
};

} // namespace tremlo::ui
