#include "frm_remote.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDialog>
#include <QGridLayout>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>
#include <memory>
#include <qrencode.h>

namespace tremlo::ui {
namespace {

constexpr int kQuietModules = 4;

// The tab's controls and the settings they stand for, until OK.
class RemotePanel : public QWidget {
public:
    RemotePanel(QDialog& dialog, const RemotePageParts& parts)
        : QWidget(nullptr), m_parts(parts), m_chosen(parts.load ? parts.load() : RemoteSettings{}) {
        setObjectName(QStringLiteral("picFrameRemote"));
        setAutoFillBackground(true);
        setBackgroundRole(QPalette::Window);

        m_chkOsc =
            new QCheckBox(QCoreApplication::translate("RemotePanel", "OSC を受け付ける(&O)"), this);
        m_chkOsc->setObjectName(QStringLiteral("chkOsc"));
        m_oscPort = portBox(QStringLiteral("txtOscPort"), m_chosen.OscPort);
        m_chkWeb = new QCheckBox(
            QCoreApplication::translate("RemotePanel", "スマートフォン用のページを開く(&W)"), this);
        m_chkWeb->setObjectName(QStringLiteral("chkWeb"));
        m_webPort = portBox(QStringLiteral("txtWebPort"), m_chosen.WebPort);
        m_chkLan = new QCheckBox(QCoreApplication::translate(
                                     "RemotePanel", "ほかのコンピューターからの操作を許可する(&L)"),
                                 this);
        m_chkLan->setObjectName(QStringLiteral("chkLan"));
        m_token = new QLineEdit(this);
        m_token->setObjectName(QStringLiteral("txtToken"));
        m_token->setReadOnly(true);
        auto* renew = new QPushButton(
            QCoreApplication::translate("RemotePanel", "トークンを作り直す(&R)"), this);
        renew->setObjectName(QStringLiteral("cmdNewToken"));
        m_address = new QLabel(this);
        m_address->setObjectName(QStringLiteral("lblAddress"));
        m_address->setTextInteractionFlags(Qt::TextSelectableByMouse);
        m_qr = new QLabel(this);
        m_qr->setObjectName(QStringLiteral("imgQr"));

        m_chkOsc->setChecked(m_chosen.Osc);
        m_chkWeb->setChecked(m_chosen.Web);
        m_chkLan->setChecked(m_chosen.Lan);

        // Each field is tied to its caption, so a screen reader names it; the
        // two ports say whose they are, as the row does to the eye.
        auto* oscPortLabel = new QLabel(QCoreApplication::translate("RemotePanel", "ポート"), this);
        oscPortLabel->setBuddy(m_oscPort);
        m_oscPort->setAccessibleName(QCoreApplication::translate("RemotePanel", "OSC のポート"));
        auto* webPortLabel = new QLabel(QCoreApplication::translate("RemotePanel", "ポート"), this);
        webPortLabel->setBuddy(m_webPort);
        m_webPort->setAccessibleName(
            QCoreApplication::translate("RemotePanel", "スマートフォン用のページのポート"));
        auto* tokenLabel = new QLabel(QCoreApplication::translate("RemotePanel", "トークン"), this);
        tokenLabel->setBuddy(m_token);

        auto* grid = new QGridLayout;
        grid->addWidget(m_chkOsc, 0, 0);
        grid->addWidget(oscPortLabel, 0, 1);
        grid->addWidget(m_oscPort, 0, 2);
        grid->addWidget(m_chkWeb, 1, 0);
        grid->addWidget(webPortLabel, 1, 1);
        grid->addWidget(m_webPort, 1, 2);
        auto* tokenRow = new QHBoxLayout;
        tokenRow->addWidget(tokenLabel);
        tokenRow->addWidget(m_token, 1);
        tokenRow->addWidget(renew);
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(10, 10, 10, 10);
        layout->addWidget(new QLabel(
            QCoreApplication::translate("RemotePanel",
                                        "デスクトップのメディア操作 (MPRIS) はいつでも使えます。"),
            this));
        layout->addLayout(grid);
        layout->addWidget(m_chkLan);
        layout->addLayout(tokenRow);
        layout->addWidget(m_address);
        layout->addWidget(m_qr, 0, Qt::AlignHCenter);
        layout->addStretch(1);

        for (QCheckBox* box : {m_chkOsc, m_chkWeb, m_chkLan})
            connect(box, &QCheckBox::toggled, this, [this] { refresh(); });
        for (QSpinBox* box : {m_oscPort, m_webPort})
            connect(box, &QSpinBox::valueChanged, this, [this] { refresh(); });
        connect(renew, &QPushButton::clicked, this, [this] {
            if (m_parts.newToken)
                m_chosen.Token = m_parts.newToken();
            refresh();
        });
        connect(&dialog, &QDialog::accepted, this, [this, &dialog] { apply(dialog); });
        refresh();
    }

private:
    QSpinBox* portBox(const QString& name, int value) {
        auto* box = new QSpinBox(this);
        box->setObjectName(name);
        box->setRange(1, 65535);
        box->setValue(value);
        return box;
    }

    RemoteSettings chosen() const {
        RemoteSettings settings = m_chosen;
        settings.Osc = m_chkOsc->isChecked();
        settings.OscPort = m_oscPort->value();
        settings.Web = m_chkWeb->isChecked();
        settings.WebPort = m_webPort->value();
        settings.Lan = m_chkLan->isChecked();
        return settings;
    }

    void refresh() {
        // LAN access is never on without a token to ask for.
        if (m_chkLan->isChecked() && m_chosen.Token.size() < 22 && m_parts.newToken)
            m_chosen.Token = m_parts.newToken();
        m_token->setText(QString::fromStdString(m_chosen.Token));
        const RemoteSettings settings = chosen();
        const QString address = m_parts.address ? m_parts.address(settings) : QString();
        m_address->setText(settings.Web ? address : QString());
        const QImage code = settings.Web ? qrImage(address, 3) : QImage();
        m_qr->setPixmap(QPixmap::fromImage(code));
    }

    void apply(QDialog& dialog) {
        if (!m_parts.apply)
            return;
        const std::vector<std::string> problems = m_parts.apply(chosen());
        QString lines;
        for (const std::string& line : problems)
            lines += QString::fromStdString(line) + QLatin1Char('\n');
        if (!lines.isEmpty())
            QMessageBox::warning(dialog.parentWidget(),
                                 QCoreApplication::translate("RemotePanel", "リモート操作"),
                                 lines.trimmed());
    }

    RemotePageParts m_parts;
    RemoteSettings m_chosen;
    QCheckBox* m_chkOsc;
    QSpinBox* m_oscPort;
    QCheckBox* m_chkWeb;
    QSpinBox* m_webPort;
    QCheckBox* m_chkLan;
    QLineEdit* m_token;
    QLabel* m_address;
    QLabel* m_qr;
};

} // namespace

QImage qrImage(const QString& text, int scale) {
    const QByteArray bytes = text.toUtf8();
    std::unique_ptr<QRcode, decltype(&QRcode_free)> code(
        QRcode_encodeString8bit(bytes.constData(), 0, QR_ECLEVEL_M), &QRcode_free);
    if (!code)
        return {};
    const int modules = code->width + 2 * kQuietModules;
    QImage image(modules * scale, modules * scale, QImage::Format_Grayscale8);
    image.fill(Qt::white);
    for (int y = 0; y < code->width; ++y)
        for (int x = 0; x < code->width; ++x)
            if (code->data[y * code->width + x] & 1)
                for (int dy = 0; dy < scale; ++dy)
                    for (int dx = 0; dx < scale; ++dx)
                        image.setPixel((x + kQuietModules) * scale + dx,
                                       (y + kQuietModules) * scale + dy, qRgb(0, 0, 0));
    return image;
}

void addRemotePanel(QTabWidget& tabs, QDialog& dialog, const RemotePageParts& parts) {
    tabs.addTab(new RemotePanel(dialog, parts),
                QCoreApplication::translate("RemotePanel", "リモート操作"));
}

} // namespace tremlo::ui
