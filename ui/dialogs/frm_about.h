#pragma once

// frmAbout, the version information: the program's icon, title, version and
// legal notice, and two links (the web page and the mail address) that open in
// the user's own browser and mail program.
//
// Shown modally and built anew each time (showAbout), so both links start
// blue; a clicked link turns purple until the dialog closes.
//
// Thread: the user-interface thread. Coordinates are logical pixels.

#include <QDialog>
#include <QUrl>
#include <array>
#include <functional>

class QLabel;
class QPushButton;

namespace tremlo::ui {

struct VersionNumbers {
    int major = 0;
    int minor = 0;
    int revision = 0;
};

// The version this program was built as.
VersionNumbers programVersion();

// "バージョン 3.04.0056": the minor number in at least two digits, the
// revision in at least four.
QString versionLine(const VersionNumbers& version);

// Hands a link to the desktop; the result is of no interest to the dialog.
using UrlOpener = std::function<void(const QUrl&)>;

class frmAbout : public QDialog {
    Q_OBJECT
public:
    // `owner` lends its window icon (the application's when null). An empty
    // `opener` opens links with QDesktopServices.
    explicit frmAbout(QWidget* owner = nullptr, UrlOpener opener = {},
                      const VersionNumbers& version = programVersion());

    QLabel* picIcon() const { return m_picIcon; }
    QLabel* lblTitle() const { return m_lblTitle; }
    QLabel* lblVersion() const { return m_lblVersion; }
    QLabel* lblDescription() const { return m_lblDescription; }
    QLabel* lblURL(int index) const { return m_lblURL.at(static_cast<std::size_t>(index)); }
    // Where a link leads: the page itself, or a mailto: link.
    QUrl linkTarget(int index) const { return m_linkTargets.at(static_cast<std::size_t>(index)); }
    QPushButton* cmdOK() const { return m_cmdOK; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void lblURL_Click(int index);

    UrlOpener m_opener;
    QLabel* m_picIcon;
    QLabel* m_lblTitle;
    QLabel* m_lblVersion;
    QLabel* m_lblDescription;
    std::array<QLabel*, 2> m_lblURL{};
    std::array<QUrl, 2> m_linkTargets;
    QPushButton* m_cmdOK;
};

// Builds the dialog, runs it modally and unloads it.
void showAbout(QWidget* owner, UrlOpener opener = {});

} // namespace tremlo::ui
