#include "frm_about.h"

#include "dialog_font.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QIcon>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <utility>

namespace tremlo::ui {
namespace {

// Translated when the dialog is made: the translation is installed after
// static initialisation.
QString title() {
    return QCoreApplication::translate("frmAbout", "トレモロ");
}
const QColor kLinkBlue(0, 0, 255);
const QColor kVisitedPurple(136, 0, 136);

struct Link {
    const char* shown;
    const char* target;
};
constexpr std::array<Link, 2> kLinks = {{
    {"https://tremolo.example/", "https://tremolo.example/"},
    {"melody@example.jp", "mailto:melody@example.jp"},
}};

QLabel* addLabel(const QString& name, const QRect& bounds, const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setGeometry(bounds);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    fitTextToWidth(label);
    return label;
}

void setTextColour(QLabel* label, const QColor& colour) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
}

} // namespace

VersionNumbers programVersion() {
    return {TREMLO_VERSION_MAJOR, TREMLO_VERSION_MINOR, TREMLO_VERSION_REVISION};
}

QString versionLine(const VersionNumbers& version) {
    return QCoreApplication::translate("frmAbout", "バージョン %1.%2.%3")
        .arg(version.major)
        .arg(version.minor, 2, 10, QLatin1Char('0'))
        .arg(version.revision, 4, 10, QLatin1Char('0'));
}

frmAbout::frmAbout(QWidget* owner, UrlOpener opener, const VersionNumbers& version)
    : QDialog(owner), m_opener(std::move(opener)) {
    if (!m_opener)
        m_opener = [](const QUrl& url) { QDesktopServices::openUrl(url); };
    setObjectName(QStringLiteral("frmAbout"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setWindowTitle(QCoreApplication::translate("frmAbout", "%1 のバージョン情報").arg(title()));
    setFont(dialogFont());
    setFixedSize(382, 237);

    m_picIcon = addLabel(QStringLiteral("picIcon"), {16, 16, 32, 32}, {}, this);
    const QIcon icon = owner ? owner->windowIcon() : QApplication::windowIcon();
    if (!icon.isNull())
        m_picIcon->setPixmap(icon.pixmap(QSize(32, 32)));

    m_lblTitle = addLabel(QStringLiteral("lblTitle"), {72, 16, 259, 24}, title(), this);
    m_lblVersion =
        addLabel(QStringLiteral("lblVersion"), {72, 40, 259, 15}, versionLine(version), this);
    m_lblDescription = addLabel(
        QStringLiteral("lblDescription"), {72, 75, 251, 12},
        QCoreApplication::translate("frmAbout", "© 2026 トレモロ開発者。フリーソフトです。"), this);

    addLabel(QStringLiteral("Label3"), {8, 176, 24, 12}, QStringLiteral("URL:"), this);
    addLabel(QStringLiteral("Label4"), {8, 192, 36, 12}, QStringLiteral("E-Mail:"), this);
    const std::array<QRect, 2> linkBounds = {QRect(48, 176, 148, 12), QRect(48, 192, 104, 12)};
    for (std::size_t i = 0; i < kLinks.size(); ++i) {
        QLabel* link = addLabel(QStringLiteral("lblURL%1").arg(i), linkBounds[i],
                                QString::fromUtf8(kLinks[i].shown), this);
        QFont font = link->font();
        font.setUnderline(true);
        link->setFont(font);
        fitTextToWidth(link);
        setTextColour(link, kLinkBlue);
        link->setCursor(Qt::PointingHandCursor);
        link->installEventFilter(this);
        m_lblURL[i] = link;
        m_linkTargets[i] = QUrl(QString::fromUtf8(kLinks[i].target));
    }

    m_cmdOK = new QPushButton(QStringLiteral("OK"), this);
    m_cmdOK->setObjectName(QStringLiteral("cmdOK"));
    m_cmdOK->setGeometry(283, 175, 92, 23);
    m_cmdOK->setDefault(true);
    // Esc already rejects a QDialog; OK and Enter close it the same way.
    connect(m_cmdOK, &QPushButton::clicked, this, &QDialog::accept);
}

// A click is a release over the link the press began on: a press that the
// user drags off the link before letting go opens nothing, as with any button.
bool frmAbout::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::MouseButtonRelease)
        return QDialog::eventFilter(watched, event);
    const auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() == Qt::LeftButton) {
        for (int i = 0; i < static_cast<int>(m_lblURL.size()); ++i) {
            QLabel* link = m_lblURL[static_cast<std::size_t>(i)];
            if (watched == link && link->rect().contains(mouse->position().toPoint())) {
                lblURL_Click(i);
                return true;
            }
        }
    }
    return QDialog::eventFilter(watched, event);
}

void frmAbout::lblURL_Click(int index) {
    setTextColour(lblURL(index), kVisitedPurple);
    // The browser or mail program can take a moment to start; the user sees
    // the link turn visited first.
    QCoreApplication::processEvents();
    m_opener(linkTarget(index));
}

void frmAbout::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
    // The etched separator: a white line two pixels wide (Line1(0)) under a
    // grey one (Line1(1)), one pixel higher.
    QPainter painter(this);
    painter.fillRect(QRect(QPoint(6, 164), QPoint(377, 165)), Qt::white);
    painter.fillRect(QRect(QPoint(6, 163), QPoint(377, 163)), QColor(128, 128, 128));
}

void showAbout(QWidget* owner, UrlOpener opener) {
    frmAbout about(owner, std::move(opener));
    about.exec();
}

} // namespace tremlo::ui
